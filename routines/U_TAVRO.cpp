#include "U_TAVRO.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "Dialogs.h"
#include "Forms.h"
#include "Handles.h"
#include "Shell.h"
#include "SysUtils.h"

namespace U_TAVRO {

using namespace platform;

// Accented letters as Windows-1252 bytes, whatever the encoding of this file.
const char kConfirmationText[] = "DLL %s registrada com sucesso!";
const char kFailureText[] = "Aten\xE7\xE3o n\xE3o foi poss\xEDvel registrar a DLL %s";
const char kToolExitCodeText[] =
    "O regsvr32 terminou com o c\xF3"
    "digo %d.";
const char kToolNotFoundText[] = "O regsvr32.exe n\xE3o foi encontrado em %s.";

const char kTargetFolderName[] = "\\Quorvel";
const char kServerLibrary[] = "ZIVOvavoDozad.DLL";
const char kCompanionLibrary[] = "dorove.dll";
const char kCompanionCopy[] = "dorove.DLL";
const char kToolName[] = "regsvr32.exe";

namespace {

constexpr char kSilentSwitch[] = "/s ";

}  // namespace

bool RunElevated(const std::string& fileName, const std::string& parameters,
                 std::optional<DWORD>& exitCode) {
    exitCode.reset();
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = Application.Handle();
    info.lpVerb = "Runas";
    info.lpFile = fileName.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteInfo(info)) return false;

    // The shell may start the program without handing back a handle: nothing to wait on.
    UniqueHandle process(info.hProcess);
    if (!process) return true;

    HANDLE handle = process.get();
    for (;;) {
        Application.ProcessMessages();
        if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (GetExitCodeProcess(handle, &code)) exitCode = code;
            break;
        }
        if (Application.Terminated()) break;
        // The queue was just drained, so this wakes for new input or the process's end.
        MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    }
    return true;
}

void RegisterComServer(const std::string& libraryPath, bool confirm) {
    try {
        bool started = false;
        {
            UniqueModule library(LoadLibraryA(libraryPath.c_str()));
            if (!library) return;
            if (GetProcAddress(library.get(), "DllRegisterServer")) {
                std::string tool;
                FindRegsvr32(tool);
                if (tool.empty()) {
                    std::string folder;
                    GetRegsvr32Dir(folder);
                    throw Exception(Format(kToolNotFoundText, {folder}));
                }
                std::optional<DWORD> exitCode;
                started = RunElevated(tool, kSilentSwitch + ("\"" + libraryPath + "\""), exitCode);
                if (exitCode && *exitCode != 0) {
                    throw Exception(Format(kToolExitCodeText, {static_cast<long long>(*exitCode)}));
                }
            }
        }  // the library is released before anything is shown
        if (confirm && started) {
            MessageDlg(Format(kConfirmationText, {libraryPath}), TMsgDlgType::mtInformation, mbOK,
                       0);
        }
    } catch (...) {
        MessageDlg(
            Format(kFailureText, {libraryPath}) + "\r" + ExceptionMessage(std::current_exception()),
            TMsgDlgType::mtError, mbOK, 0);
    }
}

void InstallPdfComponent(bool confirm) {
    const std::string source = ExtractFilePath(Application.ExeName());
    std::string target;
    GetCommonAppDataDir(target);
    target += kTargetFolderName;
    ForceDirectories(target);
    // Never replace copies already in place.
    CopyFileA((source + kServerLibrary).c_str(), (target + "\\" + kServerLibrary).c_str(), TRUE);
    CopyFileA((source + kCompanionLibrary).c_str(), (target + "\\" + kCompanionCopy).c_str(), TRUE);
    std::string tool;
    FindRegsvr32(tool);  // leaves the system directory current
    RegisterComServer(target + "\\" + kServerLibrary, confirm);
}

void GetSystemDir(std::string& dir) {
    char buffer[MAX_PATH];
    UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    dir.assign(buffer, length < MAX_PATH ? length : 0);
}

void GetSpecialFolderPath(int csidl, std::string& path) {
    std::vector<char> buffer(MAX_PATH, '\0');
    if (SpecialFolderPath(nullptr, buffer.data(), csidl, FALSE)) {
        path = buffer.data();
    } else {
        path.clear();
    }
}

void GetCommonAppDataDir(std::string& dir) { GetSpecialFolderPath(CSIDL_COMMON_APPDATA, dir); }

void GetRegsvr32Dir(std::string& dir) {
#ifndef _WIN64
    // An elevated start is not redirected: name the 32-bit tool explicitly on 64-bit Windows.
    // The call fails on 32-bit Windows, where the system folder holds it.
    char buffer[MAX_PATH];
    UINT length = GetSystemWow64DirectoryA(buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        dir.assign(buffer, length);
        return;
    }
#endif
    GetSystemDir(dir);
}

void FindRegsvr32(std::string& path) {
    std::string systemDir;
    GetSystemDir(systemDir);
    SetCurrentDir(systemDir);
    std::string toolDir;
    GetRegsvr32Dir(toolDir);
    const std::string candidate = toolDir + "\\" + kToolName;
    TSearchRec found;
    path = FindFirst(candidate, faAnyFile, found) == 0 ? candidate : std::string();
}

}  // namespace U_TAVRO
