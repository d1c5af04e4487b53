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
    "digo %s%s.";
const char kToolStartFailedText[] = "N\xE3o foi poss\xEDvel iniciar o regsvr32: %s";
const char kSystemErrorCodeText[] = "erro %d.";
const char kToolNotFoundText[] = "O regsvr32.exe n\xE3o foi encontrado em %s.";

const char kTargetFolderName[] = "\\Quorvel";
#ifdef _WIN64
const char kEditionFolderName[] = "\\x64";
#else
const char kEditionFolderName[] = "";
#endif
const char kServerLibrary[] = "ZIVOvavoDozad.DLL";
const char kCompanionLibrary[] = "dorove.dll";
const char kCompanionCopy[] = "dorove.DLL";
const char kToolName[] = "regsvr32.exe";

namespace {

constexpr char kSilentSwitch[] = "/s ";

// The exit codes the registration tool documents, and what each means to the user.
struct ToolExitMeaning {
    DWORD code;
    const char* meaning;
};
constexpr ToolExitMeaning kToolExitMeanings[] = {
    {1, "argumentos inv\xE1lidos"},
    {2, "n\xE3o foi poss\xEDvel iniciar o OLE"},
    {3, "n\xE3o foi poss\xEDvel carregar a DLL ou uma biblioteca de que ela depende"},
    {4, "a DLL n\xE3o exporta DllRegisterServer"},
    {5, "o DllRegisterServer da DLL falhou"},
};

// Why the shell could not start the tool: the system's own words where it has them.
std::string StartFailureReason(DWORD error, const std::string& tool) {
    std::string message = error ? SysErrorMessage(error) : std::string();  // 0: no reason given
    if (message.empty()) return Format(kSystemErrorCodeText, {static_cast<long long>(error)});
    // Messages such as "%1 is not a valid Win32 application." name the program started.
    const size_t insert = message.find("%1");
    if (insert != std::string::npos) message.replace(insert, 2, tool);
    return message;
}

}  // namespace

std::string ToolExitCodeText(DWORD exitCode) {
    // A code with the highest bit set is a fault status (0xC0000005): written as such.
    const std::string number = (exitCode & 0x80000000u)
                                   ? "0x" + IntToHex(exitCode, 8)
                                   : IntToStr(static_cast<long long>(exitCode));
    std::string meaning;
    for (const ToolExitMeaning& known : kToolExitMeanings) {
        if (known.code == exitCode) meaning = std::string(": ") + known.meaning;
    }
    return Format(kToolExitCodeText, {number, meaning});
}

bool RunElevated(const std::string& fileName, const std::string& parameters,
                 std::optional<DWORD>& exitCode) {
    exitCode.reset();
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    // Failures are ours to report, in the user's language: no error box from the shell.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
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
                if (!started) {
                    const DWORD error = GetLastError();
                    // The user's own refusal of the elevation needs no message.
                    if (error != ERROR_CANCELLED) {
                        throw Exception(
                            Format(kToolStartFailedText, {StartFailureReason(error, tool)}));
                    }
                }
                if (exitCode && *exitCode != 0) throw Exception(ToolExitCodeText(*exitCode));
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
    GetTargetDir(target);
    ForceDirectories(target);
    // Never replace copies already in place.
    CopyFileA((source + kServerLibrary).c_str(), (target + "\\" + kServerLibrary).c_str(), TRUE);
    CopyFileA((source + kCompanionLibrary).c_str(), (target + "\\" + kCompanionCopy).c_str(), TRUE);
    std::string tool;
    FindRegsvr32(tool);  // leaves the system directory current
    RegisterComServer(target + "\\" + kServerLibrary, confirm);
}

void GetTargetDir(std::string& dir) {
    GetCommonAppDataDir(dir);
    dir += kTargetFolderName;
    dir += kEditionFolderName;
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
