// Drives windows as a user would: find them, read their texts, press their buttons.
// Works on this process's windows from another thread, and on other processes' windows.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace driver {

// A visible top-level window of the given class (and caption, unless empty) belonging to
// process (0: any); nullptr when none appears within timeoutMs.
HWND WaitForWindow(const char* className, const std::wstring& caption, DWORD process,
                   DWORD timeoutMs);
HWND FindVisibleWindow(const char* className, const std::wstring& caption, DWORD process);
// A top-level window of the class in process, shown or hidden.
HWND FindAnyWindow(const char* className, DWORD process);
bool WaitUntilGone(HWND window, DWORD timeoutMs);

std::wstring Text(HWND window);
// Windows-1252 text, the program's own, as UTF-16 to compare with what a window shows.
std::wstring Widen(const std::string& ansi);
// What a window shows, as UTF-8 for a terminal.
std::string Utf8(const std::wstring& text);
std::string ClassName(HWND window);
std::vector<HWND> Children(HWND window);
// The texts of the static controls that carry text, in creation order.
std::vector<std::wstring> StaticTexts(HWND window);
HWND ChildByText(HWND window, const char* className, const std::wstring& text);
// Window rectangle, and client-relative rectangle of a child.
RECT WindowRect(HWND window);
RECT RectInParent(HWND child);

// Presses a button the way a click does, without waiting for what it starts.
void Press(HWND button);
// Sends a key press to a window's thread, as the keyboard would.
void PressKey(HWND window, WORD virtualKey);
// Makes window the foreground window and types on the keyboard (SendInput): the keys are
// pressed in order and released in reverse, so {VK_MENU, VK_F4} is Alt+F4. False when the
// window did not come to the foreground or the input was refused.
bool TypeKeys(HWND window, std::initializer_list<WORD> keys);
// The window that has the keyboard focus in window's thread.
HWND FocusOf(HWND window);

// A program started as the user would start it, ended with its tree if it outlives the test.
class Program {
public:
    // Starts path with its own folder as the current directory.
    explicit Program(const std::string& path);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }
    // True when it ended within timeoutMs; exitCode then holds its exit code.
    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode) const;

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// What a user sees of a dialog.
struct DialogSeen {
    std::wstring caption;
    std::vector<std::wstring> texts;
    RECT rect;
    bool hasIcon;
};
DialogSeen ReadDialog(HWND dialog);

// Waits for a dialog of the class in process, reads it, presses its OK button and waits
// for it to close. False when none appeared within timeoutMs.
bool AnswerDialog(const char* className, DWORD process, DWORD timeoutMs, DialogSeen& seen);

// Runs in the background: answers the message dialogs this process shows, reading
// each one before pressing its OK button.
class DialogAnswerer {
public:
    using Seen = DialogSeen;
    explicit DialogAnswerer(size_t expected, const char* className);
    ~DialogAnswerer();
    // Waits for the background thread; the dialogs it answered.
    std::vector<Seen> Finish(DWORD timeoutMs);

private:
    static DWORD WINAPI Thread(void* self);
    size_t expected_;
    const char* className_;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    std::vector<Seen> seen_;
};

}  // namespace driver
