#include "TestSupport.h"

#include <shlobj.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "ComponentIds.h"
#include "Seams.h"

namespace testing_support {

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

std::string ToolFolder() {
#ifndef _WIN64
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        char path[MAX_PATH] = {};
        GetSystemWow64DirectoryA(path, MAX_PATH);
        return path;
    }
#endif
    return SystemFolder();
}

std::string SharedRoot() {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path);
    return std::string(path) + "\\Quorvel";
}

std::string SharedFolder() {
#ifdef _WIN64
    return SharedRoot() + "\\x64";
#else
    return SharedRoot();
#endif
}

std::string CurrentFolder() {
    char path[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

WORD PeMachine(const std::string& path) {
    const std::string bytes = ReadFile(path);
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return 0;
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, bytes.data(), sizeof dos);
    const size_t at = static_cast<size_t>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || at + 4 + sizeof(IMAGE_FILE_HEADER) > bytes.size())
        return 0;
    DWORD signature;
    std::memcpy(&signature, bytes.data() + at, sizeof signature);
    if (signature != IMAGE_NT_SIGNATURE) return 0;
    IMAGE_FILE_HEADER header;
    std::memcpy(&header, bytes.data() + at + 4, sizeof header);
    return header.Machine;
}

WORD OwnMachine() {
#ifdef _WIN64
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

std::string StoredName(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "";
    FindClose(find);
    return data.cFileName;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

TempFolder::TempFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static unsigned counter = 0;
    std::ostringstream path;
    path << temp << "drovanel-" << GetCurrentProcessId() << "-" << ++counter << "\\" << name;
    path_ = path.str();
    RemoveTree(path_);
    SHCreateDirectoryExA(nullptr, path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_.substr(0, path_.find_last_of('\\'))); }

std::string TempFolder::CopyIn(const std::string& name, const std::string& as) const {
    std::string target = path_ + "\\" + (as.empty() ? name : as);
    if (!CopyFileA((ProgramFolder() + name).c_str(), target.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + name + " into " + path_);
    }
    return target;
}

MovedAside::MovedAside(std::string path) : path_(std::move(path)) {
    if (!MoveFileExA(path_.c_str(), (path_ + ".aside").c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw std::runtime_error("cannot move " + path_ + " aside");
    }
}

MovedAside::~MovedAside() {
    MoveFileExA((path_ + ".aside").c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

namespace {

const std::string kServerKey = std::string("CLSID\\") + component::kClsid + "\\InprocServer32";

// The registry view of the other bitness.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

// Deletes a key of HKCR with everything below it, in the given view.
void DeleteClassesKey(const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExA(HKEY_CLASSES_ROOT, path.c_str(), view, 0);
}

std::optional<std::string> ReadString(const std::string& key, const char* value,
                                      bool otherView = false) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0,
                      KEY_QUERY_VALUE | (otherView ? kOtherView : 0), &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(data);
}

}  // namespace

std::optional<std::string> RegisteredServerPath(bool otherView) {
    return ReadString(kServerKey, nullptr, otherView);
}

std::optional<std::string> RegisteredThreadingModel() {
    return ReadString(kServerKey, "ThreadingModel");
}

void RemoveRegistration() {
    // Both views: the other build's program, run in the same prefix, registers in its own.
    for (REGSAM view : {REGSAM{0}, kOtherView}) {
        DeleteClassesKey(std::string("CLSID\\") + component::kClsid, view);
        DeleteClassesKey(component::kProgId, view);
    }
}

size_t OpenHandleCount() {
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &needed) < 0) {
        buffer.resize(buffer.size() * 2);
        if (buffer.size() > (1u << 28)) throw std::runtime_error("handle list too large");
    }
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<Entry*>(buffer.data() + sizeof(ULONG_PTR));
    size_t mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].process == GetCurrentProcessId();
    return mine;
}

DialogCapture::DialogCapture() {
    platform::TestSeams().messageDlg = [this](platform::TMsgDlgType type, const std::string& text) {
        shown_.push_back({type, text});
        return std::optional<int>(platform::mrOk);
    };
}

DialogCapture::~DialogCapture() { platform::TestSeams().messageDlg = nullptr; }

ShellCapture::ShellCapture(StandIn standIn) {
    platform::TestSeams().shellExecute = [this, standIn](SHELLEXECUTEINFOA& info) {
        ShellStart start{info.lpVerb ? info.lpVerb : "",
                         info.lpFile ? info.lpFile : "",
                         info.lpParameters ? info.lpParameters : "",
                         info.hwnd,
                         info.nShow,
                         info.fMask,
                         false,
                         nullptr};
        BOOL ok = standIn ? standIn(info) : ShellExecuteExA(&info);
        DWORD error = GetLastError();
        start.started = ok != FALSE;
        if (ok && info.hProcess) {
            DuplicateHandle(GetCurrentProcess(), info.hProcess, GetCurrentProcess(), &start.process,
                            0, FALSE, DUPLICATE_SAME_ACCESS);
        }
        starts_.push_back(start);
        SetLastError(error);
        return ok;
    };
}

ShellCapture::~ShellCapture() {
    platform::TestSeams().shellExecute = nullptr;
    WaitForAll();
    for (auto& start : starts_) {
        if (start.process) CloseHandle(start.process);
    }
}

DWORD ShellCapture::WaitForAll() const {
    DWORD code = 0;
    for (const auto& start : starts_) {
        if (!start.process) continue;
        WaitForSingleObject(start.process, 60000);
        GetExitCodeProcess(start.process, &code);
    }
    return code;
}

namespace {
std::vector<AfterDelay*> g_timers;
}

AfterDelay::AfterDelay(UINT delayMs, std::function<void()> action)
    : id_(SetTimer(nullptr, 0, delayMs, &Tick)), action_(std::move(action)) {
    g_timers.push_back(this);
}

AfterDelay::~AfterDelay() {
    KillTimer(nullptr, id_);
    g_timers.erase(std::find(g_timers.begin(), g_timers.end(), this));
}

void CALLBACK AfterDelay::Tick(HWND, UINT, UINT_PTR id, DWORD) {
    for (AfterDelay* timer : g_timers) {
        if (timer->id_ != id) continue;
        KillTimer(nullptr, id);
        if (!timer->fired_) {
            timer->fired_ = true;
            try {
                timer->action_();
            } catch (...) {
                ADD_FAILURE_AT(__FILE__, __LINE__) << "the delayed action threw";
            }
        }
        return;
    }
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
    char buffer[4096];
    DWORD n = GetEnvironmentVariableA(name_.c_str(), buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) old_ = std::string(buffer, n);
    SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableA(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

double SecondsSince(ULONGLONG startTick) { return (GetTickCount64() - startTick) / 1000.0; }

}  // namespace testing_support
