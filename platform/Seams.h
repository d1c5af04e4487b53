// Test seams: the few places where a test may watch or stand in for what only the
// real system decides (the user's answer to an elevation prompt, an unexpected failure).
// Empty functions mean the real behaviour.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>

#include "Dialogs.h"

namespace platform {

struct Seams {
    // Replaces ShellExecuteExA.
    std::function<BOOL(SHELLEXECUTEINFOA& info)> shellExecute;
    // Sees every message dialog before it is shown; a returned result answers it unseen.
    std::function<std::optional<int>(TMsgDlgType type, const std::string& text)> messageDlg;
};

Seams& TestSeams();

}  // namespace platform
