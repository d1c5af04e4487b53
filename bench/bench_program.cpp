// Start-up and installation times of the real program, each against its yardstick,
// measured in the same run under the same Wine. A run that did not end as it should (no
// window, no confirmation, regsvr32 failing) is not a figure: the program then says what
// did not happen in an "error:" line and exits with 1.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Driver.h"
#include "Forms.h"
#include "Handles.h"
#include "Registration.h"
#include "SysUtils.h"
#include "U_TAVRO.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / frequency.QuadPart;
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// Timed runs of one kind, and what the first failed one did instead.
struct Runs {
    std::vector<double> seconds;  // successful runs only
    int failed = 0;
    std::string firstFailure;

    void Add(std::optional<double> run, const std::string& failure) {
        if (run) {
            seconds.push_back(*run);
        } else if (failed++ == 0) {
            firstFailure = failure;
        }
    }
};

// Seconds from starting the program to its first visible window; the program is then closed.
std::optional<double> TimeToWindow(const std::string& path, const char* windowClass) {
    const double start = Now();
    driver::Program program(path);
    if (!program.id()) return std::nullopt;
    HWND window = nullptr;
    while (!(window = driver::FindVisibleWindow(windowClass, L"", program.id()))) {
        if (Now() - start > 30) return std::nullopt;
        Sleep(1);  // fine polling: a few milliseconds decide the ratio
    }
    const double elapsed = Now() - start;
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code;
    program.WaitForExit(10000, code);
    return elapsed;
}

// Both timings watch in the same way, once a millisecond: a look for the installer's dialog
// and one at the tool's process. Watching takes the processor from what is watched, so
// the press and the yardstick must pay for it alike.
class Watcher {
public:
    explicit Watcher(DWORD installer)
        : installer_(installer), never_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Waits until the installer shows its dialog, or the process ends; false after 30 s.
    bool Until(HWND& dialog, HANDLE process) const {
        const double start = Now();
        for (;;) {
            dialog = driver::FindVisibleWindow(platform::kMessageDlgClass, L"", installer_);
            const bool ended =
                WaitForSingleObject(process ? process : never_.get(), 0) == WAIT_OBJECT_0;
            if ((dialog && !process) || ended) return true;
            if (Now() - start > 30) return false;
            Sleep(1);
        }
    }

private:
    DWORD installer_;
    platform::UniqueHandle never_;  // stands for the process while none is watched
};

// Seconds from a press of the button to the confirmation on the screen. Another dialog, or
// none, is a failure; failure then says what was seen.
std::optional<double> TimeToConfirmation(const Watcher& watcher, HWND button,
                                         const std::wstring& confirmation, std::string& failure) {
    const double start = Now();
    driver::Press(button);
    HWND dialog = nullptr;
    if (!watcher.Until(dialog, nullptr)) {
        failure = "no dialog within 30 s of the press";
        return std::nullopt;
    }
    const double elapsed = Now() - start;
    const driver::DialogSeen seen = driver::ReadDialog(dialog);
    driver::Press(driver::ChildByText(dialog, "Button", L"OK"));
    driver::WaitUntilGone(dialog, 10000);
    if (seen.texts.size() != 1 || seen.texts[0] != confirmation) {
        failure = "the dialog said \"" +
                  OneLine(driver::Utf8(seen.texts.empty() ? L"" : seen.texts[0])) + "\"";
        return std::nullopt;
    }
    return elapsed;
}

// Seconds for regsvr32 /s on the library, started the same way, elevated; only a run that
// ends with exit code 0 counts.
std::optional<double> TimeRegsvr32(const Watcher& watcher, const std::string& tool,
                                   const std::string& library, std::string& failure) {
    const std::string parameters = "/s \"" + library + "\"";
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "Runas";
    info.lpFile = tool.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const double start = Now();
    if (!ShellExecuteExA(&info) || !info.hProcess) {
        failure = "regsvr32 could not be started (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    HWND dialog = nullptr;
    const platform::UniqueHandle process(info.hProcess);
    if (!watcher.Until(dialog, process.get())) WaitForSingleObject(process.get(), INFINITE);
    const double elapsed = Now() - start;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (code != 0) {
        failure = "regsvr32 ended with exit code " + std::to_string(code);
        return std::nullopt;
    }
    return elapsed;
}

// Runs alternate, so each pair saw the same machine; the ratio is the median of the pairs'.
double Ratio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        ratios.push_back(ours[i] / theirs[i]);
    return Median(ratios);
}

// Prints the figure when every run of both kinds succeeded; otherwise how many did, and
// false.
bool Report(const char* what, const Runs& ours, const char* yardstick, const Runs& theirs,
            double target) {
    if (ours.failed || theirs.failed) {
        std::printf("%s: %zu of %zu runs succeeded; %s: %zu of %zu runs succeeded; no figure\n",
                    what, ours.seconds.size(), ours.seconds.size() + ours.failed, yardstick,
                    theirs.seconds.size(), theirs.seconds.size() + theirs.failed);
        const Runs& bad = ours.failed ? ours : theirs;
        std::printf("error: %s: %d of its runs failed; the first: %s\n",
                    ours.failed ? what : yardstick, bad.failed, bad.firstFailure.c_str());
        return false;
    }
    std::printf("%s: median %.1f ms; %s: median %.1f ms; ratio %.3f (target <= %.2f)\n", what,
                Median(ours.seconds) * 1000, yardstick, Median(theirs.seconds) * 1000,
                Ratio(ours.seconds, theirs.seconds), target);
    return true;
}

// The measurement starts where a first installation does: no copies in this build's shared
// folder, no registration in this build's registry view.
void ClearInstallation(const std::string& folder) {
    DeleteFileA((folder + "\\" + U_TAVRO::kServerLibrary).c_str());
    DeleteFileA((folder + "\\" + U_TAVRO::kCompanionCopy).c_str());
    RemoveDirectoryA(folder.c_str());
    bench::ClearRegistration();
}

}  // namespace

int main(int argc, char** argv) {
    platform::Application.Initialize();  // the shell wants COM, as in the installer
    const int runs = argc > 1 ? std::atoi(argv[1]) : 31;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string bench = platform::ExtractFilePath(self);
    const std::string built = bench + "..\\bin\\";
    bool ok = true;

    // Start-up, interleaved so that both see the same machine.
    Runs program, empty, setup;
    TimeToWindow(built + "Pelmora.exe", "TForm1");
    TimeToWindow(bench + "empty_window.exe", "EmptyWindow");
    TimeToWindow(bench + "empty_window_setup.exe", "EmptyWindow");
    const std::string noWindow = "no window within 30 s of the start";
    for (int i = 0; i < runs; ++i) {
        program.Add(TimeToWindow(built + "Pelmora.exe", "TForm1"), noWindow);
        empty.Add(TimeToWindow(bench + "empty_window.exe", "EmptyWindow"), noWindow);
        setup.Add(TimeToWindow(bench + "empty_window_setup.exe", "EmptyWindow"), noWindow);
    }
    // The yardstick: the least a program does to show a window after the set-up this one
    // needs first (COM apartment, the Common Controls 6 manifest and their initialisation).
    ok &= Report("start-up to window", program, "empty window with manifest, COM, common controls",
                 setup, 1.05);
    if (!program.failed && !empty.failed) {
        std::printf("  for information, against a bare empty Win32 window: ratio %.3f\n",
                    Ratio(program.seconds, empty.seconds));
    }

    // Installation: the button against regsvr32 /s on the same copy.
    std::string folder;
    U_TAVRO::GetTargetDir(folder);
    ClearInstallation(folder);
    const std::string copy = folder + "\\" + U_TAVRO::kServerLibrary;
    driver::Program installer(built + "Pelmora.exe");
    HWND form = driver::WaitForWindow("TForm1", L"", installer.id(), 30000);
    HWND button = form ? driver::ChildByText(form, "Button", L"Registrar") : nullptr;
    if (!button) {
        std::printf("error: the installer's window did not appear\n");
        return 1;
    }
    std::string tool;
    U_TAVRO::FindRegsvr32(tool);
    const std::wstring confirmation =
        driver::Widen(platform::Format(U_TAVRO::kConfirmationText, {copy}));
    Runs press, direct;
    std::string failure;
    const Watcher watcher(installer.id());
    // The first press copies the files: it is the installation, not a figure.
    press.Add(TimeToConfirmation(watcher, button, confirmation, failure), failure);
    direct.Add(TimeRegsvr32(watcher, tool, copy, failure), failure);
    if (press.failed || direct.failed) {
        Report("press to confirmation", press, "regsvr32 /s directly", direct, 1.10);
        return 1;
    }
    press.seconds.clear();
    direct.seconds.clear();
    for (int i = 0; i < runs; ++i) {
        press.Add(TimeToConfirmation(watcher, button, confirmation, failure), failure);
        direct.Add(TimeRegsvr32(watcher, tool, copy, failure), failure);
    }
    ok &= Report("press to confirmation", press, "regsvr32 /s directly", direct, 1.10);
    PostMessageW(form, WM_CLOSE, 0, 0);
    DWORD code;
    installer.WaitForExit(10000, code);
    return ok ? 0 : 1;
}
