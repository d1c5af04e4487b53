// The shell functions the installer needs. shell32 and everything it pulls in are loaded on
// first use rather than at start-up, so the window appears sooner.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace platform {

// ShellExecuteExA; a test seam may stand in for it.
BOOL ShellExecuteInfo(SHELLEXECUTEINFOA& info);

// SHGetSpecialFolderPathA.
BOOL SpecialFolderPath(HWND owner, char* path, int csidl, BOOL create);

}  // namespace platform
