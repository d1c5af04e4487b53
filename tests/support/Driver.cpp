#include "Driver.h"

#include <iterator>

namespace driver {

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// Walks only the top-level windows of the class: cheap enough to poll.
HWND FindWindowOf(const char* className, const std::wstring& caption, DWORD process,
                  bool hiddenToo) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, className, nullptr))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (process && pid != process) continue;
        if (!hiddenToo && !IsWindowVisible(window)) continue;
        if (!caption.empty() && Text(window) != caption) continue;
        return window;
    }
    return nullptr;
}

}  // namespace

HWND FindVisibleWindow(const char* className, const std::wstring& caption, DWORD process) {
    return FindWindowOf(className, caption, process, false);
}

HWND FindAnyWindow(const char* className, DWORD process) {
    return FindWindowOf(className, L"", process, true);
}

HWND WaitForWindow(const char* className, const std::wstring& caption, DWORD process,
                   DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        if (HWND found = FindVisibleWindow(className, caption, process)) return found;
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

std::wstring Text(HWND window) {
    wchar_t buffer[2048] = {};
    // WM_GETTEXT, so that other processes' controls answer too.
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

std::wstring Widen(const std::string& ansi) {
    int n = MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, &Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<std::wstring> StaticTexts(HWND window) {
    std::vector<std::wstring> texts;
    for (HWND child : Children(window)) {
        if (_stricmp(ClassName(child).c_str(), "Static") != 0) continue;
        std::wstring text = Text(child);
        if (!text.empty()) texts.push_back(text);
    }
    return texts;
}

HWND ChildByText(HWND window, const char* className, const std::wstring& text) {
    for (HWND child : Children(window)) {
        if (_stricmp(ClassName(child).c_str(), className) == 0 && Text(child) == text) return child;
    }
    return nullptr;
}

RECT WindowRect(HWND window) {
    RECT rc{};
    GetWindowRect(window, &rc);
    return rc;
}

RECT RectInParent(HWND child) {
    RECT rc = WindowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool TypeKeys(HWND window, std::initializer_list<WORD> keys) {
    // Keyboard input goes to the foreground window's focus.
    for (ULONGLONG until = GetTickCount64() + 5000; GetForegroundWindow() != window; Sleep(20)) {
        if (GetTickCount64() >= until) return false;
        SetForegroundWindow(window);
    }
    std::vector<INPUT> input;
    for (WORD key : keys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        input.push_back(down);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT up{};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        input.push_back(up);
    }
    return SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) == input.size();
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void PressKey(HWND window, WORD virtualKey) {
    PostMessageW(window, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(window, WM_KEYUP, virtualKey, 0xC0000001);
}

Program::Program(const std::string& path) {
    std::string folder = path.substr(0, path.find_last_of('\\'));
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info)) {
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
}

Program::~Program() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool Program::WaitForExit(DWORD timeoutMs, DWORD& exitCode) const {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process_, &exitCode);
    return true;
}

DialogAnswerer::DialogAnswerer(size_t expected, const char* className)
    : expected_(expected), className_(className) {
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Thread, this, 0, nullptr);
}

DialogAnswerer::~DialogAnswerer() { Finish(0); }

std::vector<DialogAnswerer::Seen> DialogAnswerer::Finish(DWORD timeoutMs) {
    if (thread_) {
        if (WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) {
            SetEvent(stop_);
            WaitForSingleObject(thread_, INFINITE);
        }
        CloseHandle(thread_);
        CloseHandle(stop_);
        thread_ = stop_ = nullptr;
    }
    return seen_;
}

DialogSeen ReadDialog(HWND dialog) {
    DialogSeen seen{Text(dialog), StaticTexts(dialog), WindowRect(dialog), false};
    for (HWND child : Children(dialog)) {
        if (_stricmp(ClassName(child).c_str(), "Static") == 0 &&
            (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(child, STM_GETICON, 0, 0)) {
            seen.hasIcon = true;
        }
    }
    return seen;
}

bool AnswerDialog(const char* className, DWORD process, DWORD timeoutMs, DialogSeen& seen) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        HWND dialog = FindVisibleWindow(className, L"", process);
        HWND ok = dialog ? ChildByText(dialog, "Button", L"OK") : nullptr;
        if (ok) {
            seen = ReadDialog(dialog);
            Press(ok);
            WaitUntilGone(dialog, 10000);
            return true;
        }
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
}

DWORD WINAPI DialogAnswerer::Thread(void* param) {
    auto* self = static_cast<DialogAnswerer*>(param);
    while (self->seen_.size() < self->expected_ &&
           WaitForSingleObject(self->stop_, 0) == WAIT_TIMEOUT) {
        DialogSeen seen;
        if (AnswerDialog(self->className_, GetCurrentProcessId(), 50, seen))
            self->seen_.push_back(seen);
    }
    return 0;
}

}  // namespace driver
