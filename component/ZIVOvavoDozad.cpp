// Minimal in-process COM server standing in for the PDF split/merge component.
// It registers one class whose InprocServer32 is this library's own path, and it
// only registers when its companion library sits in the same folder.
// Plain Win32 only: the C++ runtime's thread support would leave handles behind in
// every process that loads and unloads the library.
#include <windows.h>
#include <olectl.h>

#include <cstdlib>
#include <new>

#include "ComponentIds.h"

namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

// {5B0C1E3A-8F2D-4C71-9A6E-2D4F7B81C3E9}
const CLSID kClassId = {
    0x5b0c1e3a, 0x8f2d, 0x4c71, {0x9a, 0x6e, 0x2d, 0x4f, 0x7b, 0x81, 0xc3, 0xe9}};

// Folder of this library, with its trailing backslash, and the library's full path.
bool ModulePaths(char (&path)[MAX_PATH], char (&folder)[MAX_PATH]) {
    DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    lstrcpynA(folder, path, MAX_PATH);
    char* slash = folder;
    for (char* p = folder; *p; ++p) {
        if (*p == '\\') slash = p + 1;
    }
    *slash = '\0';
    return true;
}

bool CompanionPresent(const char* folder) {
    char companion[MAX_PATH];
    if (lstrlenA(folder) + lstrlenA(component::kCompanionName) >= MAX_PATH) return false;
    lstrcpyA(companion, folder);
    lstrcatA(companion, component::kCompanionName);
    HMODULE lib = LoadLibraryExA(companion, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!lib) return false;
    bool ok = GetProcAddress(lib, component::kCompanionExport) != nullptr;
    FreeLibrary(lib);
    return ok;
}

void DelayForTests() {
    char ms[16];
    DWORD n = GetEnvironmentVariableA(component::kRegisterDelayVariable, ms, sizeof ms);
    if (n > 0 && n < sizeof ms) Sleep(static_cast<DWORD>(std::strtoul(ms, nullptr, 10)));
}

// HKCR\CLSID\{...}[\sub], joined into buffer.
const char* ClassKey(char (&buffer)[128], const char* sub) {
    lstrcpyA(buffer, "CLSID\\");
    lstrcatA(buffer, component::kClsid);
    if (sub) {
        lstrcatA(buffer, "\\");
        lstrcatA(buffer, sub);
    }
    return buffer;
}

bool SetValue(const char* key, const char* name, const char* value) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(lstrlenA(value) + 1));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool SetValue(const char* key, const char* sub, const char* name, const char* value) {
    char path[128];
    lstrcpyA(path, key);
    lstrcatA(path, "\\");
    lstrcatA(path, sub);
    return SetValue(path, name, value);
}

class SplitMerge final : public IUnknown {
public:
    SplitMerge() { InterlockedIncrement(&g_objects); }
    ~SplitMerge() { InterlockedDecrement(&g_objects); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            this->~SplitMerge();
            HeapFree(GetProcessHeap(), 0, this);
        }
        return n;
    }

private:
    LONG refs_ = 1;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Static lifetime: references only keep the library loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&g_locks); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&g_locks); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(SplitMerge));
        if (!memory) return E_OUTOFMEMORY;
        auto* object = new (memory) SplitMerge();
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? InterlockedIncrement(&g_locks) : InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    DelayForTests();
    char path[MAX_PATH], folder[MAX_PATH], key[128];
    if (!ModulePaths(path, folder) || !CompanionPresent(folder)) return SELFREG_E_CLASS;
    ClassKey(key, nullptr);
    bool ok = SetValue(key, nullptr, component::kDescription) &&
              SetValue(key, "InprocServer32", nullptr, path) &&
              SetValue(key, "InprocServer32", "ThreadingModel", "Apartment") &&
              SetValue(key, "ProgID", nullptr, component::kProgId) &&
              SetValue(component::kProgId, nullptr, component::kDescription) &&
              SetValue(component::kProgId, "CLSID", nullptr, component::kClsid);
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    char key[128];
    LONG a = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(key, nullptr));
    LONG b = RegDeleteTreeA(HKEY_CLASSES_ROOT, component::kProgId);
    bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) &&
              (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}
