#include "Shell.h"

#include "Handles.h"
#include "Seams.h"

namespace platform {

namespace {

// The library stays loaded for the rest of the process, as an import would.
FARPROC ShellFunction(const char* name) {
    static UniqueModule shell(LoadLibraryA("shell32.dll"));
    return shell ? GetProcAddress(shell.get(), name) : nullptr;
}

template <typename Function>
Function Bind(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(ShellFunction(name)));
}

}  // namespace

BOOL ShellExecuteInfo(SHELLEXECUTEINFOA& info) {
    if (auto& hook = TestSeams().shellExecute) return hook(info);
    static auto execute = Bind<BOOL(WINAPI*)(SHELLEXECUTEINFOA*)>("ShellExecuteExA");
    if (!execute) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return execute(&info);
}

BOOL SpecialFolderPath(HWND owner, char* path, int csidl, BOOL create) {
    static auto get = Bind<BOOL(WINAPI*)(HWND, char*, int, BOOL)>("SHGetSpecialFolderPathA");
    if (!get) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return get(owner, path, csidl, create);
}

}  // namespace platform
