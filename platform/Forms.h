// The application object, forms and the controls they hold.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FormDescription.h"
#include "Handles.h"

namespace platform {

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// Something that owns a window. Every message reaches WndProc through one static
// procedure that stops C++ exceptions at the Windows boundary.
class TWindowOwner : public TObject {
public:
    TWindowOwner() = default;
    TWindowOwner(const TWindowOwner&) = delete;
    TWindowOwner& operator=(const TWindowOwner&) = delete;
    ~TWindowOwner() override;

    HWND Handle() const noexcept { return handle_; }
    // True for the windows this framework created (their keyboard goes through IsDialogMessage).
    static bool IsOwnWindow(HWND window);

protected:
    // Registers the class on first use and creates the window with this object attached.
    void CreateHandle(const char* className, DWORD exStyle, DWORD style, int x, int y, int width,
                      int height, HWND parent);
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND handle_ = nullptr;
};

class TControl : public TObject {
public:
    std::string Name;
    HWND Handle() const noexcept { return handle_.get(); }
    std::string Caption() const;

protected:
    friend class TForm;
    UniqueWindow handle_;
};

class TLabel : public TControl {};

class TButton : public TControl {
public:
    TNotifyEvent OnClick;
};

// A top-level window built from the description stored under its class name.
class TForm : public TWindowOwner {
public:
    using Handlers = std::map<std::string, TNotifyEvent>;
    ~TForm() override;

    std::string Caption() const;
    void Show();
    void Close();

protected:
    // Builds the window and its controls; handlers maps event names used by the
    // description to the form's methods.
    TForm(const std::string& className, const Handlers& handlers);

    // The control the description created under name; raises Exception when there is none.
    template <typename T>
    T* Component(const std::string& name) const {
        for (const auto& control : controls_) {
            if (control->Name != name) continue;
            if (auto* typed = dynamic_cast<T*>(control.get())) return typed;
        }
        MissingComponent(name);
    }

    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControl(const ObjectDescription& description, const Handlers& handlers, int scaleNum,
                       int scaleDen);
    HWND FirstTabStop() const;
    TButton* ButtonOf(HWND window) const;  // nullptr unless one of this form's buttons
    void AutoSize(HWND label) const;
    [[noreturn]] static void MissingComponent(const std::string& name);

    std::vector<std::unique_ptr<TControl>> controls_;
    UniqueGdiObject font_;
    UniqueGdiObject brush_;
    COLORREF fontColor_ = 0;
    HWND focused_ = nullptr;
};

class TApplication : public TWindowOwner {
public:
    TApplication() = default;
    ~TApplication() override;

    // COM for the shell on this thread, and the hidden application window.
    void Initialize();

    const std::string& Title() const noexcept { return title_; }
    void SetTitle(const std::string& title);

    // The hidden owner window, created on first use.
    HWND Handle();
    std::string ExeName() const;

    bool Terminated() const noexcept { return terminated_; }
    // Asks the message loop to end (the flag is set when the quit message arrives).
    void Terminate();

    // Dispatches every queued message, then returns.
    void ProcessMessages();
    // Dispatches one message, or waits for one when none is queued.
    void HandleMessage();

    // Creates a form; the first one created becomes the main form.
    template <typename T>
    void CreateForm(T*& reference) {
        auto form = std::make_unique<T>();
        reference = form.get();
        if (!mainForm_) mainForm_ = form.get();
        forms_.push_back(std::move(form));
    }
    TForm* MainForm() const noexcept { return mainForm_; }

    // Shows the main form and runs the message loop until the application terminates.
    void Run();

    // Shows an exception that escaped an event handler; never throws.
    void HandleException(const std::exception_ptr& error) noexcept;

    // The window a modal dialog should belong to: the active form, else the application window.
    HWND DialogOwner();

    // Tests run many scenarios in one process: forget an earlier termination.
    void ResetTerminated() noexcept { terminated_ = false; }

private:
    bool ProcessMessage();
    void EnsureHandle();

    std::unique_ptr<ComApartment> com_;
    std::string title_;
    bool terminated_ = false;
    TForm* mainForm_ = nullptr;
    std::vector<std::unique_ptr<TForm>> forms_;
};

extern TApplication Application;

}  // namespace platform
