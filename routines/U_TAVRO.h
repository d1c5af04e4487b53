// Installation routines: copy the PDF component into the shared folder and register it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace U_TAVRO {

// Texts shown to the user (Windows-1252). %s is the library's full path.
extern const char kConfirmationText[];
extern const char kFailureText[];
// The registration tool's exit code: %s is the code as written, the second %s what it means.
extern const char kToolExitCodeText[];
// %s is why the registration tool could not be started.
extern const char kToolStartFailedText[];
// %d is a Windows error code the system has no message for.
extern const char kSystemErrorCodeText[];
// %s is the folder that was searched.
extern const char kToolNotFoundText[];

extern const char kTargetFolderName[];  // under the common application-data folder
// Appended to it by the 64-bit build, whose libraries cannot share a folder with the 32-bit
// ones; empty in the 32-bit build.
extern const char kEditionFolderName[];
extern const char kServerLibrary[];
extern const char kCompanionLibrary[];
extern const char kCompanionCopy[];
extern const char kToolName[];

// Starts fileName with parameters through the "Runas" verb, hidden, and waits while the
// application's messages keep flowing, until the process ends or the application is
// terminating. True when the shell started it; when it did not, GetLastError tells why
// (ERROR_CANCELLED: the user refused the elevation) and the shell has shown nothing.
// exitCode receives the process's exit code when it ended during the wait; it stays empty
// otherwise.
bool RunElevated(const std::string& fileName, const std::string& parameters,
                 std::optional<DWORD>& exitCode);

// The line that explains an exit code of the registration tool to the user.
std::string ToolExitCodeText(DWORD exitCode);

// Registers the library with the registration tool, started elevated. With confirm a
// successful registration is confirmed in a dialog; failures are always shown.
void RegisterComServer(const std::string& libraryPath, bool confirm);

// Copies the component next to this program into the shared folder and registers the copy.
void InstallPdfComponent(bool confirm);

// The shared folder this build installs into: the common application-data folder, then
// kTargetFolderName and kEditionFolderName.
void GetTargetDir(std::string& dir);

void GetSystemDir(std::string& dir);
void GetSpecialFolderPath(int csidl, std::string& path);
void GetCommonAppDataDir(std::string& dir);
// Folder holding the registration tool of this program's bitness: for a 32-bit program on
// 64-bit Windows the WOW64 system folder, otherwise the system folder.
void GetRegsvr32Dir(std::string& dir);
// Makes the system directory current and yields the registration tool's full path, or "".
void FindRegsvr32(std::string& path);

}  // namespace U_TAVRO
