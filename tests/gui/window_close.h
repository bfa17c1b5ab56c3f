// Closing another process's window as a user does, through the window system.
#pragma once

#include <sys/types.h>

// Asks every shown top-level window of process `pid` on this display to close, as a window
// manager's close button does (the WM_DELETE_WINDOW message). Returns how many were asked.
int ask_windows_to_close(pid_t pid);
