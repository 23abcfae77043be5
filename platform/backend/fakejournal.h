// One journal across the families' fakes: while it is on, every call that a fake sees is
// written as "family.operation" in the order the calls came, whatever the family. Tests
// read from it the order of calls that go to different families, such as the releases of
// a movie's stream objects (platform/media) and of its surfaces (platform/ddraw).
#pragma once

#include <string>
#include <vector>

// Clears the journal and turns it on or off (off at start).
void PlatFakeJournal(int on);
std::vector<std::string> PlatFakeJournalEntries();
// Adds one entry while the journal is on. Any thread.
void PlatFakeJournalAdd(const char* family, const char* operation);
