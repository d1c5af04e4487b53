#include "Forms.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "SysUtils.h"

namespace platform {

TApplication Application;

namespace {

constexpr char kApplicationClass[] = "TApplication";

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), length + 1)));
    return text;
}

COLORREF ColorFromName(const std::string& name) {
    static const std::map<std::string, int> system = {
        {"clBtnFace", COLOR_BTNFACE},
        {"clWindow", COLOR_WINDOW},
        {"clWindowText", COLOR_WINDOWTEXT},
        {"clBtnText", COLOR_BTNTEXT},
    };
    auto it = system.find(name);
    if (it == system.end()) throw Exception("Unknown colour " + name);
    return GetSysColor(it->second);
}

int ScreenPixelsPerInch() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

// --- TWindowOwner ---------------------------------------------------------------------------

TWindowOwner::~TWindowOwner() {
    if (handle_) DestroyWindow(handle_);
}

bool TWindowOwner::IsOwnWindow(HWND window) {
    return window &&
           reinterpret_cast<WNDPROC>(GetClassLongPtrA(window, GCLP_WNDPROC)) == &StaticWndProc;
}

void TWindowOwner::CreateHandle(const char* className, DWORD exStyle, DWORD style, int x, int y,
                                int width, int height, HWND parent) {
    static std::set<std::string> registered;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered.count(className)) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &StaticWndProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hIcon = LoadIconA(instance, "MAINICON");
        // Without an icon of its own the system provides its default one.
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = className;
        if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw Exception(
                Format("Window class %s could not be registered (error %d)",
                       {std::string(className), static_cast<long long>(GetLastError())}));
        }
        registered.insert(className);
    }
    if (!CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, nullptr,
                         instance, this)) {
        throw Exception(Format("Window %s could not be created (error %d)",
                               {std::string(className), static_cast<long long>(GetLastError())}));
    }
}

LRESULT TWindowOwner::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return Default(msg, wParam, lParam);
}

LRESULT TWindowOwner::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(handle_, msg, wParam, lParam);
}

LRESULT CALLBACK TWindowOwner::StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TWindowOwner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<TWindowOwner*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->handle_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return DefWindowProcA(window, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->handle_ = nullptr;
        return DefWindowProcA(window, msg, wParam, lParam);
    }
    try {
        return self->WndProc(msg, wParam, lParam);
    } catch (...) {
        Application.HandleException(std::current_exception());
        return 0;
    }
}

// --- TControl -------------------------------------------------------------------------------

std::string TControl::Caption() const { return WindowText(handle_.get()); }

// --- TForm ----------------------------------------------------------------------------------

TForm::TForm(const std::string& className, const Handlers& handlers) {
    ObjectDescription description = LoadObjectDescription(className);
    if (description.className != className) {
        throw Exception("Resource " + className + " describes " + description.className);
    }
    // Designed at PixelsPerInch: scale sizes and the font to the screen.
    const int designDpi = static_cast<int>(description.Integer("PixelsPerInch", 96));
    const int screenDpi = ScreenPixelsPerInch();
    auto scale = [&](long long v) { return MulDiv(static_cast<int>(v), screenDpi, designDpi); };

    brush_.reset(CreateSolidBrush(ColorFromName(description.Identifier("Color", "clBtnFace"))));
    fontColor_ = ColorFromName(description.Identifier("Font.Color", "clWindowText"));
    std::string fontName = description.String("Font.Name", "MS Sans Serif");
    LOGFONTA lf{};
    lf.lfHeight = scale(description.Integer("Font.Height", -11));
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, fontName.c_str(), LF_FACESIZE);
    font_.reset(CreateFontIndirectA(&lf));

    CreateHandle(description.className.c_str(), 0, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                 static_cast<int>(description.Integer("Left", CW_USEDEFAULT)),
                 static_cast<int>(description.Integer("Top", CW_USEDEFAULT)),
                 scale(description.Integer("Width", 320)),
                 scale(description.Integer("Height", 240)), nullptr);
    SetWindowTextA(Handle(), description.String("Caption", "").c_str());

    // Tab order decides the z-order, which is the order Tab walks through.
    std::vector<const ObjectDescription*> children;
    for (const auto& child : description.children) children.push_back(&child);
    std::stable_sort(children.begin(), children.end(), [](auto* a, auto* b) {
        return a->Integer("TabOrder", 1 << 30) < b->Integer("TabOrder", 1 << 30);
    });
    for (const auto* child : children) CreateControl(*child, handlers, screenDpi, designDpi);
}

TForm::~TForm() {
    controls_.clear();
    if (Handle()) DestroyWindow(Handle());
}

void TForm::CreateControl(const ObjectDescription& d, const Handlers& handlers, int scaleNum,
                          int scaleDen) {
    auto scale = [&](long long v) { return MulDiv(static_cast<int>(v), scaleNum, scaleDen); };
    std::unique_ptr<TControl> control;
    const char* windowClass = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (d.className == "TLabel") {
        control = std::make_unique<TLabel>();
        windowClass = "STATIC";
        style |= SS_LEFTNOWORDWRAP;  // labels keep to one line
    } else if (d.className == "TButton") {
        auto button = std::make_unique<TButton>();
        std::string onClick = d.Identifier("OnClick", "");
        if (!onClick.empty()) {
            auto handler = handlers.find(onClick);
            if (handler == handlers.end())
                throw Exception("Event handler " + onClick + " not found");
            button->OnClick = handler->second;
        }
        control = std::move(button);
        windowClass = "BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
    } else {
        throw Exception("Class " + d.className + " not found");
    }
    control->Name = d.name;
    control->handle_.reset(CreateWindowExA(
        0, windowClass, d.String("Caption", "").c_str(), style, scale(d.Integer("Left", 0)),
        scale(d.Integer("Top", 0)), scale(d.Integer("Width", 75)), scale(d.Integer("Height", 25)),
        Handle(), nullptr, GetModuleHandleA(nullptr), nullptr));
    if (!control->handle_) throw Exception("Control " + d.name + " could not be created");
    SendMessageA(control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (d.className == "TLabel") AutoSize(control->Handle());
    controls_.push_back(std::move(control));
}

// A label is as large as its text in the form's font, so no letter is ever cut off.
void TForm::AutoSize(HWND label) const {
    std::string text = WindowText(label);
    // A memory DC: measuring needs no window's visible region.
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;  // the designed size then stands
    HGDIOBJ old = SelectObject(dc, font_.get());
    RECT extent{};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &extent,
              DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    DeleteDC(dc);
    SetWindowPos(label, nullptr, 0, 0, extent.right, extent.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TButton* TForm::ButtonOf(HWND window) const {
    if (!window) return nullptr;
    for (const auto& control : controls_) {
        auto* button = dynamic_cast<TButton*>(control.get());
        if (button && button->Handle() == window) return button;
    }
    return nullptr;
}

HWND TForm::FirstTabStop() const {
    for (const auto& control : controls_) {
        if (GetWindowLongA(control->Handle(), GWL_STYLE) & WS_TABSTOP) return control->Handle();
    }
    return nullptr;
}

void TForm::MissingComponent(const std::string& name) {
    throw Exception("Component " + name + " not found");
}

std::string TForm::Caption() const { return WindowText(Handle()); }

void TForm::Show() {
    ShowWindow(Handle(), SW_SHOWNORMAL);
    UpdateWindow(Handle());
}

void TForm::Close() { SendMessageA(Handle(), WM_CLOSE, 0, 0); }

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam) {
                if (TButton* button = ButtonOf(reinterpret_cast<HWND>(lParam))) {
                    if (button->OnClick) button->OnClick(button);
                    return 0;
                }
            }
            // Enter: with no default button the dialog manager asks for IDOK. As in a dialog,
            // the focused button is the one pressed.
            if (wParam == IDOK && !lParam) {
                if (TButton* button = ButtonOf(GetFocus())) {
                    if (button->OnClick) button->OnClick(button);
                    return 0;
                }
            }
            break;
        case WM_ERASEBKGND: {
            RECT rc;
            GetClientRect(Handle(), &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(brush_.get()));
            return 1;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, fontColor_);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(brush_.get());
        }
        case WM_ACTIVATE:
            // Remember the focused control when leaving, restore it when coming back.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(Handle(), focus)) focused_ = focus;
            } else {
                HWND target = focused_ && IsWindow(focused_) ? focused_ : FirstTabStop();
                if (target) SetFocus(target);
                return 0;
            }
            break;
        case WM_CLOSE:
            // The main form only ends the loop: a handler may still be running on this form.
            if (Application.MainForm() == this) {
                ShowWindow(Handle(), SW_HIDE);
                Application.Terminate();
            } else {
                ShowWindow(Handle(), SW_HIDE);
            }
            return 0;
    }
    return Default(msg, wParam, lParam);
}

// --- TApplication ---------------------------------------------------------------------------

TApplication::~TApplication() {
    forms_.clear();
    com_.reset();
}

void TApplication::Initialize() {
    // The shell expects an apartment-threaded caller without OLE1 DDE.
    if (!com_)
        com_ = std::make_unique<ComApartment>(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // Loads the common controls the manifest asks for, so buttons get visual styles.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The hidden application window is made on first need or once the main window shows:
    // a window fewer before the first one the user sees.
}

void TApplication::EnsureHandle() {
    if (TWindowOwner::Handle()) return;
    // Never shown: it owns the dialogs when no form is active.
    CreateHandle(kApplicationClass, WS_EX_TOOLWINDOW, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0,
                 0, nullptr);
    SetWindowTextA(TWindowOwner::Handle(), title_.c_str());
}

HWND TApplication::Handle() {
    EnsureHandle();
    return TWindowOwner::Handle();
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (TWindowOwner::Handle()) SetWindowTextA(TWindowOwner::Handle(), title_.c_str());
}

std::string TApplication::ExeName() const {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    // Tab, Enter, Escape and Space work in our windows as in a dialog.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsOwnWindow(root) && IsDialogMessageA(root, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void TApplication::HandleMessage() {
    if (!ProcessMessage()) WaitMessage();
}

void TApplication::Run() {
    if (mainForm_) mainForm_->Show();
    EnsureHandle();
    // The flag is checked after every message: a nested loop may have consumed the quit.
    while (!terminated_) HandleMessage();
}

HWND TApplication::DialogOwner() {
    HWND active = GetActiveWindow();
    if (active && IsWindowVisible(active) && IsOwnWindow(active)) return active;
    return Handle();
}

void TApplication::HandleException(const std::exception_ptr& error) noexcept {
    try {
        std::string message = ExceptionMessage(error);
        if (!message.empty() && message.back() != '.') message += '.';
        MessageBoxA(DialogOwner(), message.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        // Nothing more can be shown; the program runs on.
    }
}

}  // namespace platform

// A GUI program has nowhere to print the demangled name of an uncaught exception: keep the
// runtime's demangler out of the program and just end it.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
