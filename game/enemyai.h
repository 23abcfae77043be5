// The enemies' thinking and its shared work area.
#pragma once

// Makes the path-search work area, once at start-up; FreePathWork frees it at shut-down.
void CreatePathWork();
void FreePathWork();
