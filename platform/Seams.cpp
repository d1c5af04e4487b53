#include "Seams.h"

namespace platform {

Seams& TestSeams() {
    static Seams seams;
    return seams;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFOA& info) {
    auto& hook = TestSeams().shellExecute;
    return hook ? hook(info) : ShellExecuteExA(&info);
}

}  // namespace platform
