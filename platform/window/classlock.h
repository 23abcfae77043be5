// Window classes seen across processes: a process with windows of a class holds a shared
// lock on a file named for the class; another process finds the class in use when it
// cannot take that lock exclusively. The lock goes with the process, however it ends.
// Between the window layer's common part and nothing else.
#pragma once

#include <string>

// The display a class is seen on (DISPLAY without its screen number, else the Wayland
// display), "" for none.
std::string PlatClassLockDisplay();
// The lock file of a class key (upper-cased class name) for the user and the display, in
// a directory.
std::string PlatClassLockPath(const std::string& directory, const std::string& classKey);
// The shared hold of a process that has windows of the class: a descriptor, or -1 when
// the file cannot be made (the class then stays private to the process).
int PlatClassLockHold(const std::string& path);
void PlatClassLockRelease(int descriptor);
// 1 when another process holds the class (this process's own holds count too).
int PlatClassLockHeldElsewhere(const std::string& path);
// Where the locks live unless a directory was set: the user's runtime directory, else
// the temporary directory.
std::string PlatClassLockDefaultDirectory();
