#include "Dialogs.h"

#include <windows.h>

#include <vector>

#include "Forms.h"
#include "Seams.h"
#include "SysUtils.h"

namespace platform {

const char kMessageDlgClass[] = "TMessageForm";

const char* MessageDlgCaption(TMsgDlgType type) {
    return type == TMsgDlgType::mtError ? "Error" : "Information";
}

namespace {

// Other windows of this thread are disabled while a modal dialog runs, and enabled
// again however the dialog ends.
class DisabledTaskWindows {
public:
    explicit DisabledTaskWindows(HWND except) : except_(except) {
        EnumThreadWindows(GetCurrentThreadId(), &Disable, reinterpret_cast<LPARAM>(this));
    }
    DisabledTaskWindows(const DisabledTaskWindows&) = delete;
    DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;
    ~DisabledTaskWindows() {
        for (HWND window : windows_) EnableWindow(window, TRUE);
    }

private:
    static BOOL CALLBACK Disable(HWND window, LPARAM param) {
        auto* self = reinterpret_cast<DisabledTaskWindows*>(param);
        if (window == self->except_ || !IsWindowVisible(window) || !IsWindowEnabled(window)) {
            return TRUE;
        }
        try {
            self->windows_.push_back(window);  // may throw: not across the enumeration
        } catch (...) {
            return FALSE;
        }
        EnableWindow(window, FALSE);
        return TRUE;
    }

    HWND except_;
    std::vector<HWND> windows_;
};

class TMessageForm : public TWindowOwner {
public:
    TMessageForm(const std::string& text, TMsgDlgType type, HWND owner) {
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        font_.reset(CreateFontIndirectA(&metrics.lfMessageFont));

        // Measure in the message font; spacing follows dialog units of that font.
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_.get());
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        SIZE alphabet{};
        const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        GetTextExtentPoint32A(dc, letters, 52, &alphabet);
        const int charWidth = (alphabet.cx / 26 + 1) / 2;
        auto dluX = [&](int x) { return MulDiv(x, charWidth, 4); };
        auto dluY = [&](int y) { return MulDiv(y, tm.tmHeight, 8); };
        RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);

        const int margin = dluX(8);
        const int icon = GetSystemMetrics(SM_CXICON);
        const int gap = dluX(10);
        const int buttonWidth = dluX(50);
        const int buttonHeight = dluY(14);
        const int textWidth = textRect.right;
        const int textHeight = textRect.bottom;
        const int bodyHeight = textHeight > icon ? textHeight : icon;
        int clientWidth = margin + icon + gap + textWidth + margin;
        if (clientWidth < buttonWidth + 2 * margin) clientWidth = buttonWidth + 2 * margin;
        const int clientHeight = margin + bodyHeight + dluY(8) + buttonHeight + margin;

        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
        const DWORD exStyle = WS_EX_DLGMODALFRAME;
        RECT frame{0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        CreateHandle(kMessageDlgClass, exStyle, style,
                     work.left + (work.right - work.left - width) / 2,
                     work.top + (work.bottom - work.top - height) / 2, width, height, owner);
        SetWindowTextA(Handle(), MessageDlgCaption(type));

        HWND iconControl = Child("STATIC", "", SS_ICON, margin, margin, icon, icon, 0);
        LPCSTR iconId =
            reinterpret_cast<LPCSTR>(type == TMsgDlgType::mtError ? IDI_HAND : IDI_ASTERISK);
        SendMessageA(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconId)),
                     0);
        Child("STATIC", text.c_str(), SS_LEFT | SS_NOPREFIX, margin + icon + gap, margin, textWidth,
              textHeight, 0);
        button_ =
            Child("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, (clientWidth - buttonWidth) / 2,
                  margin + bodyHeight + dluY(8), buttonWidth, buttonHeight, IDOK);
    }

    int ShowModal() {
        DisabledTaskWindows disabled(Handle());
        ShowWindow(Handle(), SW_SHOWNORMAL);
        SetForegroundWindow(Handle());
        SetFocus(button_);
        while (result_ == mrNone) {
            if (Application.Terminated()) {
                result_ = mrCancel;
                break;
            }
            Application.HandleMessage();
        }
        return result_;
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
            case WM_COMMAND:
                // The only button both confirms and cancels.
                if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) result_ = mrOk;
                return 0;
            case WM_CLOSE:
                result_ = mrCancel;
                return 0;
        }
        return Default(msg, wParam, lParam);
    }

private:
    HWND Child(const char* windowClass, const char* text, DWORD style, int x, int y, int width,
               int height, int id) {
        HWND child = CreateWindowExA(
            0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, Handle(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
        if (!child) throw Exception("Message dialog could not be created");
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return child;
    }

    UniqueGdiObject font_;
    HWND button_ = nullptr;
    int result_ = mrNone;
};

}  // namespace

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    (void)helpContext;  // no help file
    if (buttons != mbOK) throw Exception("Message dialog buttons not supported");
    if (auto& hook = TestSeams().messageDlg) {
        if (std::optional<int> answer = hook(type, text)) return *answer;
    }
    TMessageForm dialog(text, type, Application.DialogOwner());
    return dialog.ShowModal();
}

}  // namespace platform
