// The component's registration in this program's registry view, as the benchmarks check and
// clear it between runs.
#pragma once

#include <windows.h>

#include <string>

#include "ComponentIds.h"

namespace bench {

inline const std::string kServerKey =
    std::string("CLSID\\") + component::kClsid + "\\InprocServer32";

inline void ClearRegistration() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + component::kClsid).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, component::kProgId);
}

inline bool IsRegistered(const std::string& server) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CLASSES_ROOT, kServerKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                        value, &size) == ERROR_SUCCESS &&
           lstrcmpiA(value, server.c_str()) == 0;
}

}  // namespace bench
