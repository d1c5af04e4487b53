// Modal message dialogs.
#pragma once

#include <string>

namespace platform {

enum class TMsgDlgType { mtInformation, mtError };

enum TMsgDlgBtn : unsigned { mbOK = 1u << 0 };
using TMsgDlgButtons = unsigned;

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// Shows text in a modal dialog centred on the screen, with the kind's icon and caption.
// The single OK button also answers Escape. While the application is terminating the
// dialog closes again at once (result mrCancel).
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

// The caption a dialog of this kind carries.
const char* MessageDlgCaption(TMsgDlgType type);

// Window class of the message dialog, for finding it on the screen.
extern const char kMessageDlgClass[];

}  // namespace platform
