// Shared helpers for the tests: folders, files, registry, handle counts and the seams.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Driver.h"

namespace testing_support {

// Folder of the running test program: it holds the component and the fixtures.
std::string ProgramFolder();
std::string SystemFolder();
// Where the registration tool of this program's bitness lives: the WOW64 system folder for a
// 32-bit program on 64-bit Windows, else the system folder.
std::string ToolFolder();
// Where the installers of both bitnesses put the component: the 32-bit one in SharedRoot()
// itself, the 64-bit one in its x64 subfolder. SharedFolder() is this build's.
std::string SharedRoot();
std::string SharedFolder();
std::string CurrentFolder();

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The machine a Windows program or library is built for (IMAGE_FILE_MACHINE_I386 or
// IMAGE_FILE_MACHINE_AMD64), 0 when the file is not one.
WORD PeMachine(const std::string& path);
// The machine of the programs this test program's build makes.
WORD OwnMachine();
// The name as the file system stores it (its case).
std::string StoredName(const std::string& path);
void RemoveTree(const std::string& path);

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string& name = "teste");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    // Copies a file from the program folder into this folder; returns the copy's path.
    std::string CopyIn(const std::string& name, const std::string& as = "") const;

private:
    std::string path_;
};

// Moves a file out of the way and back.
class MovedAside {
public:
    explicit MovedAside(std::string path);
    ~MovedAside();
    MovedAside(const MovedAside&) = delete;
    MovedAside& operator=(const MovedAside&) = delete;

private:
    std::string path_;
};

// The component's registration as the registry holds it; otherView reads the registry view of
// the other bitness.
std::optional<std::string> RegisteredServerPath(bool otherView = false);
std::optional<std::string> RegisteredThreadingModel();
// Removes the component's registration from both registry views.
void RemoveRegistration();

// Handles this process holds, as the system counts them.
size_t OpenHandleCount();

struct ShownDialog {
    platform::TMsgDlgType type;
    std::string text;
};

// Captures the message dialogs and answers them with OK unseen.
class DialogCapture {
public:
    DialogCapture();
    ~DialogCapture();
    DialogCapture(const DialogCapture&) = delete;
    DialogCapture& operator=(const DialogCapture&) = delete;
    const std::vector<ShownDialog>& shown() const { return shown_; }

private:
    std::vector<ShownDialog> shown_;
};

struct ShellStart {
    std::string verb, file, parameters;
    HWND owner;
    int show;
    ULONG mask;
    bool started;
    HANDLE process;  // a duplicate the test owns, or nullptr
};

// Records each shell start. Without a stand-in the real shell starts the program and the
// test keeps its own handle to the process; a stand-in replaces the shell.
class ShellCapture {
public:
    using StandIn = std::function<BOOL(SHELLEXECUTEINFOA&)>;
    explicit ShellCapture(StandIn standIn = nullptr);
    ~ShellCapture();
    ShellCapture(const ShellCapture&) = delete;
    ShellCapture& operator=(const ShellCapture&) = delete;
    const std::vector<ShellStart>& starts() const { return starts_; }
    // Waits for every started process; the last one's exit code.
    DWORD WaitForAll() const;

private:
    std::vector<ShellStart> starts_;
};

// Calls action once, from the message loop, after delayMs.
class AfterDelay {
public:
    AfterDelay(UINT delayMs, std::function<void()> action);
    ~AfterDelay();
    AfterDelay(const AfterDelay&) = delete;
    AfterDelay& operator=(const AfterDelay&) = delete;
    bool fired() const { return fired_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    UINT_PTR id_;
    std::function<void()> action_;
    bool fired_ = false;
};

// Sets an environment variable for this process and its children, restored afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

using driver::Widen;

double SecondsSince(ULONGLONG startTick);

}  // namespace testing_support
