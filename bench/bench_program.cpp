// Start-up and installation times of the real program, each against its yardstick,
// measured in the same run under the same Wine.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Driver.h"
#include "SysUtils.h"
#include "Forms.h"
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

// Seconds from starting the program to its first visible window; the program is then closed.
double TimeToWindow(const std::string& path, const char* windowClass) {
    const double start = Now();
    driver::Program program(path);
    HWND window = nullptr;
    while (!(window = driver::FindVisibleWindow(windowClass, L"", program.id()))) {
        if (Now() - start > 30) return -1;
        Sleep(1);  // fine polling: a few milliseconds decide the ratio
    }
    const double elapsed = Now() - start;
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code;
    program.WaitForExit(10000, code);
    return elapsed;
}

// Seconds from a press of the button to the confirmation on the screen.
double TimeToConfirmation(const driver::Program& program, HWND button) {
    const double start = Now();
    driver::Press(button);
    HWND dialog = nullptr;
    while (!(dialog = driver::FindVisibleWindow(platform::kMessageDlgClass, L"", program.id()))) {
        if (Now() - start > 30) return -1;
        Sleep(5);
    }
    const double elapsed = Now() - start;
    driver::Press(driver::ChildByText(dialog, "Button", L"OK"));
    driver::WaitUntilGone(dialog, 10000);
    return elapsed;
}

// Seconds for regsvr32 /s on the library, started the same way, elevated.
double TimeRegsvr32(const std::string& tool, const std::string& library) {
    const std::string parameters = "/s \"" + library + "\"";
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "Runas";
    info.lpFile = tool.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const double start = Now();
    if (!ShellExecuteExA(&info) || !info.hProcess) return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    const double elapsed = Now() - start;
    CloseHandle(info.hProcess);
    return elapsed;
}

// Runs alternate, so each pair saw the same machine; the ratio is the median of the pairs'.
double Ratio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        ratios.push_back(ours[i] / theirs[i]);
    return Median(ratios);
}

void Report(const char* what, const std::vector<double>& ours, const char* yardstick,
            const std::vector<double>& theirs, double target) {
    std::printf("%s: median %.1f ms; %s: median %.1f ms; ratio %.3f (target <= %.2f)\n", what,
                Median(ours) * 1000, yardstick, Median(theirs) * 1000, Ratio(ours, theirs), target);
}

}  // namespace

int main(int argc, char** argv) {
    platform::Application.Initialize();  // the shell wants COM, as in the installer
    const int runs = argc > 1 ? std::atoi(argv[1]) : 31;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string bench = platform::ExtractFilePath(self);
    const std::string built = bench + "..\\bin\\";

    // Start-up, interleaved so that both see the same machine.
    std::vector<double> program, empty, setup;
    TimeToWindow(built + "Pelmora.exe", "TForm1");
    TimeToWindow(bench + "empty_window.exe", "EmptyWindow");
    TimeToWindow(bench + "empty_window_setup.exe", "EmptyWindow");
    for (int i = 0; i < runs; ++i) {
        program.push_back(TimeToWindow(built + "Pelmora.exe", "TForm1"));
        empty.push_back(TimeToWindow(bench + "empty_window.exe", "EmptyWindow"));
        setup.push_back(TimeToWindow(bench + "empty_window_setup.exe", "EmptyWindow"));
    }
    // The yardstick: the least a program does to show a window after the set-up this one
    // needs first (COM apartment, the Common Controls 6 manifest and their initialisation).
    Report("start-up to window", program, "empty window with manifest, COM, common controls", setup,
           1.05);
    std::printf("  for information, against a bare empty Win32 window: ratio %.3f\n",
                Ratio(program, empty));

    // Installation: the button against regsvr32 /s on the same copy.
    driver::Program installer(built + "Pelmora.exe");
    HWND form = driver::WaitForWindow("TForm1", L"", installer.id(), 30000);
    HWND button = form ? driver::ChildByText(form, "Button", L"Registrar") : nullptr;
    if (!button) {
        std::printf("the installer's window did not appear\n");
        return 1;
    }
    std::string tool;
    U_TAVRO::FindRegsvr32(tool);
    std::string copy;
    U_TAVRO::GetCommonAppDataDir(copy);
    copy += std::string(U_TAVRO::kTargetFolderName) + "\\" + U_TAVRO::kServerLibrary;
    std::vector<double> press, direct;
    TimeToConfirmation(installer, button);  // first press copies the files
    TimeRegsvr32(tool, copy);
    for (int i = 0; i < runs; ++i) {
        press.push_back(TimeToConfirmation(installer, button));
        direct.push_back(TimeRegsvr32(tool, copy));
    }
    Report("press to confirmation", press, "regsvr32 /s directly", direct, 1.25);
    PostMessageW(form, WM_CLOSE, 0, 0);
    DWORD code;
    installer.WaitForExit(10000, code);
    return 0;
}
