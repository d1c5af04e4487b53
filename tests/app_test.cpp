// The installer program driven as a user drives it: started from a folder of its own,
// its window found on the screen, its button pressed, its dialogs read and answered.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ComponentIds.h"
#include "Driver.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "U_Pelmora.h"
#include "U_TAVRO.h"
#include "Version.h"

using namespace testing_support;
using platform::Format;

namespace {

const std::wstring kCaption = L"Registro DLL - Boletos";
constexpr char kFormClass[] = "TForm1";
constexpr DWORD kStartTimeoutMs = 30000;

std::string SharedServer() { return SharedFolder() + "\\" + U_TAVRO::kServerLibrary; }

std::wstring ConfirmationOf(const std::string& path) {
    return Widen(Format(U_TAVRO::kConfirmationText, {path}));
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(SharedRoot());
        RemoveRegistration();
    }
    void TearDown() override {
        program_.reset();
        folder_.reset();
        RemoveTree(SharedRoot());
        RemoveRegistration();
    }

    // Starts the program from a fresh folder holding it and the chosen parts of the component,
    // and waits for its window. edition is the folder, relative to this test program's, that
    // holds what a build ships; by default this build's.
    HWND Launch(bool server = true, bool companion = true, const std::string& edition = "") {
        program_.reset();
        folder_ = std::make_unique<TempFolder>("Programa");
        folder_->CopyIn((edition.empty() ? "..\\bin\\" : edition) + "Pelmora.exe", "Pelmora.exe");
        if (server) folder_->CopyIn(edition + U_TAVRO::kServerLibrary, U_TAVRO::kServerLibrary);
        if (companion) {
            folder_->CopyIn(edition + U_TAVRO::kCompanionLibrary, U_TAVRO::kCompanionLibrary);
        }
        program_ = std::make_unique<driver::Program>(folder_->path() + "\\Pelmora.exe");
        if (!program_->id()) return nullptr;
        return driver::WaitForWindow(kFormClass, kCaption, program_->id(), kStartTimeoutMs);
    }

    HWND Button(HWND form) { return driver::ChildByText(form, "Button", L"Registrar"); }

    // Presses the button and answers the dialog it brings; false when none came.
    bool PressAndAnswer(HWND form, driver::DialogSeen& seen) {
        driver::Press(Button(form));
        return AnswerDialog(seen);
    }

    bool AnswerDialog(driver::DialogSeen& seen, DWORD timeoutMs = 20000) {
        return driver::AnswerDialog(platform::kMessageDlgClass, program_->id(), timeoutMs, seen);
    }

    // Closes the window as its close box does; the program's exit code.
    DWORD CloseAndWait(HWND form, DWORD timeoutMs = 20000) {
        PostMessageW(form, WM_CLOSE, 0, 0);
        DWORD code = 12345;
        EXPECT_TRUE(program_->WaitForExit(timeoutMs, code)) << "the program did not end";
        return code;
    }

    std::unique_ptr<TempFolder> folder_;
    std::unique_ptr<driver::Program> program_;
};

TEST_F(Installer, ShowsItsWindowAsDescribed) {
    HWND form = Launch();
    ASSERT_NE(form, nullptr) << "no window";
    const RECT frame = driver::WindowRect(form);
    EXPECT_EQ(frame.left, 308);
    EXPECT_EQ(frame.top, 166);
    EXPECT_EQ(frame.right - frame.left, 321);
    EXPECT_EQ(frame.bottom - frame.top, 180);
    const LONG style = GetWindowLongW(form, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME) << "resizable";
    // On the taskbar as a program's window: no owner, not a tool window.
    EXPECT_EQ(GetWindow(form, GW_OWNER), nullptr);
    EXPECT_FALSE(GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    const std::wstring labelText = L"Clique em \"Registrarr\"";
    EXPECT_EQ(labelText.size(), 22u);
    HWND label = driver::ChildByText(form, "Static", labelText);
    ASSERT_NE(label, nullptr) << "no label";
    const RECT labelRect = driver::RectInParent(label);
    EXPECT_EQ(labelRect.left, 52);
    EXPECT_EQ(labelRect.top, 32);
    EXPECT_EQ(labelRect.right - labelRect.left, 104);
    EXPECT_EQ(labelRect.bottom - labelRect.top, 13);

    HWND button = Button(form);
    ASSERT_NE(button, nullptr) << "no button";
    const RECT buttonRect = driver::RectInParent(button);
    EXPECT_EQ(buttonRect.left, 50);
    EXPECT_EQ(buttonRect.top, 55);
    EXPECT_EQ(buttonRect.right - buttonRect.left, 75);
    EXPECT_EQ(buttonRect.bottom - buttonRect.top, 25);
    EXPECT_TRUE(GetWindowLongW(button, GWL_STYLE) & WS_TABSTOP);

    // The hidden application window comes right after the main window shows.
    HWND application = nullptr;
    for (ULONGLONG until = GetTickCount64() + 5000; !application && GetTickCount64() < until;
         Sleep(10)) {
        application = driver::FindAnyWindow("TApplication", program_->id());
    }
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(driver::Text(application), L"Drovanel");
    EXPECT_FALSE(IsWindowVisible(application));

    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST(Program, CarriesTheProjectVersionInItsVersionResourceAndManifest) {
    const std::string program = ProgramFolder() + "..\\bin\\Pelmora.exe";
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(program.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(
        GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    const std::string numeric = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numeric, DROVANEL_VERSION_TEXT);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    for (const char* name : {"FileVersion", "ProductVersion"}) {
        char* text = nullptr;
        const std::string query = std::string("\\StringFileInfo\\041604E4\\") + name;
        ASSERT_TRUE(
            VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &size))
            << name;
        EXPECT_STREQ(text, DROVANEL_VERSION_TEXT) << name;
    }
    // The manifest's assembly identity.
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                               SizeofResource(image, found));
    FreeLibrary(image);
    EXPECT_NE(manifest.find(std::string("name=\"Drovanel.Pelmora\" version=\"") +
                            DROVANEL_VERSION_TEXT + "\""),
              std::string::npos)
        << manifest;
}

// Wine takes the screen's pixels per inch from this value when a program starts.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
    }
    ~ScreenDpi() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "LogPixels"); }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    static constexpr char kKey[] = "Control Panel\\Desktop";
};

TEST_F(Installer, AtHigherDpiTheWindowScalesItsLayoutAndFont) {
    ScreenDpi dpi(144);  // 150%
    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    const RECT frame = driver::WindowRect(form);
    EXPECT_EQ(frame.left, 308) << "opens where it was placed";
    EXPECT_EQ(frame.right - frame.left, MulDiv(321, 144, 96));
    EXPECT_EQ(frame.bottom - frame.top, MulDiv(180, 144, 96));
    const RECT button = driver::RectInParent(Button(form));
    EXPECT_EQ(button.left, MulDiv(50, 144, 96));
    EXPECT_EQ(button.top, MulDiv(55, 144, 96));
    EXPECT_EQ(button.right - button.left, MulDiv(75, 144, 96));
    EXPECT_EQ(button.bottom - button.top, MulDiv(25, 144, 96));
    const RECT label =
        driver::RectInParent(driver::ChildByText(form, "Static", L"Clique em \"Registrarr\""));
    EXPECT_EQ(label.left, MulDiv(52, 144, 96));
    EXPECT_EQ(label.top, MulDiv(32, 144, 96));
    EXPECT_GE(label.bottom - label.top, 18) << "the font grew with the layout";
    RECT client{};
    GetClientRect(form, &client);
    EXPECT_LE(label.right, client.right) << "the text fits the window";
    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST_F(Installer, PressingInstallsRegistersAndConfirmsAndPressingAgainRegistersAgain) {
    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    driver::DialogSeen seen;
    ASSERT_TRUE(PressAndAnswer(form, seen)) << "no confirmation";
    EXPECT_EQ(seen.caption, L"Information");
    ASSERT_EQ(seen.texts.size(), 1u);
    EXPECT_EQ(seen.texts[0], ConfirmationOf(SharedServer()));
    EXPECT_EQ(RegisteredServerPath(), SharedServer());
    EXPECT_EQ(ReadFile(SharedServer()), ReadFile(folder_->path() + "\\ZIVOvavoDozad.DLL"));
    EXPECT_EQ(PeMachine(SharedServer()), OwnMachine()) << "the library of this build's bitness";
    EXPECT_EQ(StoredName(SharedFolder() + "\\dorove.dll"), "dorove.DLL");

    // Mark the copy: a second press must leave it alone and register it again.
    const std::string marked = ReadFile(SharedServer()) + "marca";
    WriteFile(SharedServer(), marked);
    RemoveRegistration();
    driver::Press(Button(form));
    ASSERT_TRUE(AnswerDialog(seen)) << "no second confirmation";
    EXPECT_EQ(seen.texts[0], ConfirmationOf(SharedServer()));
    EXPECT_EQ(ReadFile(SharedServer()), marked);
    EXPECT_EQ(RegisteredServerPath(), SharedServer());
    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST_F(Installer, APressDuringASlowRegistrationRunsASecondInstallationAndBothFinish) {
    ScopedEnvironment slow(component::kRegisterDelayVariable, "2000");
    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    driver::Press(Button(form));
    Sleep(500);
    driver::Press(Button(form));
    driver::DialogSeen inner, outer;
    ASSERT_TRUE(AnswerDialog(inner)) << "no confirmation of the nested installation";
    ASSERT_TRUE(AnswerDialog(outer)) << "no confirmation of the first installation";
    EXPECT_EQ(inner.texts.at(0), ConfirmationOf(SharedServer()));
    EXPECT_EQ(outer.texts.at(0), ConfirmationOf(SharedServer()));
    EXPECT_EQ(RegisteredServerPath(), SharedServer());
    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST_F(Installer, ClosingDuringASlowRegistrationEndsTheProgramWhileTheRegistrationCompletes) {
    ScopedEnvironment slow(component::kRegisterDelayVariable, "3000");
    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    driver::Press(Button(form));
    // The library is copied before the tool starts; give the tool a moment to be running.
    const ULONGLONG pressed = GetTickCount64();
    while (!FileExists(SharedFolder() + "\\dorove.DLL") && SecondsSince(pressed) < 10) Sleep(20);
    Sleep(300);
    EXPECT_EQ(CloseAndWait(form, 2500), 0u);
    EXPECT_LT(SecondsSince(pressed), 3.0) << "the program waited for the tool";
    EXPECT_FALSE(RegisteredServerPath().has_value()) << "the tool should still be running";
    while (!RegisteredServerPath() && SecondsSince(pressed) < 20) Sleep(50);
    EXPECT_EQ(RegisteredServerPath(), SharedServer()) << "the tool runs on to its end";
}

TEST_F(Installer, WithoutTheComponentNothingIsShown) {
    HWND form = Launch(false, false);
    ASSERT_NE(form, nullptr);
    driver::Press(Button(form));
    driver::DialogSeen seen;
    EXPECT_FALSE(AnswerDialog(seen, 2000)) << "a dialog was shown";
    EXPECT_TRUE(FileExists(SharedFolder())) << "the shared folder is created all the same";
    EXPECT_FALSE(RegisteredServerPath().has_value());
    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST_F(Installer, WithoutTheCompanionTheFailedRegistrationIsReported) {
    HWND form = Launch(true, false);
    ASSERT_NE(form, nullptr);
    driver::Press(Button(form));
    driver::DialogSeen seen;
    ASSERT_TRUE(AnswerDialog(seen));
    EXPECT_EQ(seen.caption, L"Error");
    EXPECT_TRUE(seen.hasIcon);
    ASSERT_EQ(seen.texts.size(), 1u);
    // The failure text, then the tool's exit code with what it means.
    EXPECT_EQ(seen.texts[0],
              Widen(Format(U_TAVRO::kFailureText, {SharedServer()})) +
                  L"\rO regsvr32 terminou com o c\u00F3digo 5: o DllRegisterServer da DLL falhou.");
    EXPECT_FALSE(RegisteredServerPath().has_value());
    EXPECT_EQ(CloseAndWait(form), 0u);
}

TEST_F(Installer, TheKeyboardAlonePressesTheButtonAndAnswersTheDialogs) {
    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    HWND button = Button(form);
    for (ULONGLONG until = GetTickCount64() + 5000;
         driver::FocusOf(form) != button && GetTickCount64() < until;) {
        Sleep(20);
    }
    ASSERT_EQ(driver::FocusOf(form), button) << "the button has the focus at start";
    struct Case {
        const char* what;
        WORD press, answer;
    };
    for (const Case& c : {Case{"Enter, then Enter", VK_RETURN, VK_RETURN},
                          Case{"Space, then Esc", VK_SPACE, VK_ESCAPE}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(driver::TypeKeys(form, {c.press}));
        HWND dialog = driver::WaitForWindow(platform::kMessageDlgClass, L"", program_->id(), 20000);
        ASSERT_NE(dialog, nullptr) << "the key did not press the button";
        EXPECT_EQ(driver::ReadDialog(dialog).texts.at(0), ConfirmationOf(SharedServer()));
        ASSERT_TRUE(driver::TypeKeys(dialog, {c.answer}));
        EXPECT_TRUE(driver::WaitUntilGone(dialog, 5000)) << "the key did not answer the dialog";
    }
    // Tab walks the tab stops: the button is the only one.
    ASSERT_TRUE(driver::TypeKeys(form, {VK_TAB}));
    Sleep(200);
    EXPECT_EQ(driver::FocusOf(form), button);
    ASSERT_TRUE(driver::TypeKeys(form, {VK_MENU, VK_F4}));
    DWORD code = 12345;
    EXPECT_TRUE(program_->WaitForExit(10000, code)) << "Alt+F4 did not close the window";
    EXPECT_EQ(code, 0u);
}

#ifdef WITH_EDITION32
// Both editions in one 64-bit Windows: the 32-bit build's shipped files are staged beside this
// test program, in edition32.
constexpr char kEdition32[] = "edition32\\";

std::string Copy32() { return SharedRoot() + "\\" + U_TAVRO::kServerLibrary; }
std::string Copy64() { return SharedRoot() + "\\x64\\" + U_TAVRO::kServerLibrary; }

// Whether this host runs 32-bit programs: scripts/test says so; run by hand, try one.
bool HostRuns32Bit() {
    char answer[8] = {};
    if (GetEnvironmentVariableA("DROVANEL_32BIT", answer, sizeof answer)) {
        return std::string(answer) == "yes";
    }
    driver::Program probe(ProgramFolder() + kEdition32 + "Pelmora.exe");
    return probe.id() != 0;
}

TEST_F(Installer, BothEditionsInstallSideBySideInEitherOrder) {
    if (!HostRuns32Bit()) GTEST_SKIP() << "this host cannot execute 32-bit programs";
    struct Edition {
        const char* name;
        std::string folder, copy;
    };
    const Edition x86{"32-bit", kEdition32, Copy32()};
    const Edition x64{"64-bit", "", Copy64()};
    for (const auto& order : {std::vector<Edition>{x86, x64}, std::vector<Edition>{x64, x86}}) {
        SCOPED_TRACE(std::string(order[0].name) + " first");
        RemoveTree(SharedRoot());
        RemoveRegistration();
        for (const Edition& edition : order) {
            SCOPED_TRACE(edition.name);
            HWND form = Launch(true, true, edition.folder);
            ASSERT_NE(form, nullptr);
            driver::DialogSeen seen;
            ASSERT_TRUE(PressAndAnswer(form, seen)) << "no confirmation";
            EXPECT_EQ(seen.texts.at(0), ConfirmationOf(edition.copy));
            EXPECT_EQ(CloseAndWait(form), 0u);
        }
        EXPECT_EQ(RegisteredServerPath(true), Copy32()) << "the 32-bit registry view";
        EXPECT_EQ(RegisteredServerPath(), Copy64()) << "the 64-bit registry view";
        EXPECT_EQ(PeMachine(Copy32()), IMAGE_FILE_MACHINE_I386);
        EXPECT_EQ(PeMachine(Copy64()), IMAGE_FILE_MACHINE_AMD64);
    }
}

TEST_F(Installer, A32BitCopyInTheSharedFolderDoesNotStopThe64BitInstallation) {
    ASSERT_TRUE(platform::ForceDirectories(SharedRoot()));
    const std::string companion32 = SharedRoot() + "\\" + U_TAVRO::kCompanionCopy;
    ASSERT_TRUE(CopyFileA((ProgramFolder() + kEdition32 + U_TAVRO::kServerLibrary).c_str(),
                          Copy32().c_str(), TRUE));
    ASSERT_TRUE(CopyFileA((ProgramFolder() + kEdition32 + U_TAVRO::kCompanionLibrary).c_str(),
                          companion32.c_str(), TRUE));
    const std::string before = ReadFile(Copy32());
    ASSERT_EQ(PeMachine(Copy32()), IMAGE_FILE_MACHINE_I386);

    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    driver::DialogSeen seen;
    ASSERT_TRUE(PressAndAnswer(form, seen)) << "no confirmation";
    EXPECT_EQ(seen.texts.at(0), ConfirmationOf(Copy64()));
    EXPECT_EQ(RegisteredServerPath(), Copy64());
    EXPECT_EQ(PeMachine(Copy64()), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(StoredName(SharedFolder() + "\\dorove.dll"), "dorove.DLL");
    EXPECT_EQ(ReadFile(Copy32()), before) << "the 32-bit copy is left alone";
    EXPECT_EQ(CloseAndWait(form), 0u);
}
#endif

// In this process: the form built from the program's own description, its handler
// replaced so that it throws once.
class MainWindow : public ::testing::Test {
protected:
    void TearDown() override {
        RemoveTree(SharedRoot());
        RemoveRegistration();
    }
};

TEST_F(MainWindow, UsesTheDescribedFontAndFocusesTheButton) {
    U_Pelmora::TForm1 form;
    form.Show();
    SetForegroundWindow(form.Handle());
    platform::Application.ProcessMessages();
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(form.Button1->Handle(), WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    ASSERT_TRUE(GetObjectA(font, sizeof lf, &lf));
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(lf.lfHeight, -11);
    EXPECT_EQ(GetFocus(), form.Button1->Handle());
    // The label fits its text on one line.
    HDC dc = GetDC(form.Label1->Handle());
    HGDIOBJ old = SelectObject(dc, font);
    SIZE text{};
    const std::string caption = form.Label1->Caption();
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    SelectObject(dc, old);
    ReleaseDC(form.Label1->Handle(), dc);
    const RECT label = driver::RectInParent(form.Label1->Handle());
    EXPECT_EQ(label.right - label.left, text.cx);
    EXPECT_EQ(label.bottom - label.top, text.cy);
}

TEST_F(MainWindow, AnExceptionFromTheClickIsShownAndTheButtonWorksAgain) {
    U_Pelmora::TForm1 form;
    form.Show();
    auto original = form.Button1->OnClick;
    std::atomic<int> clicks{0};
    std::atomic<bool> installed{false};
    form.Button1->OnClick = [&](platform::TObject* sender) {
        if (clicks++ == 0) throw platform::Exception("Falha no clique");
        original(sender);
        installed = true;
    };
    DialogCapture dialogs;
    const DWORD mainThread = GetCurrentThreadId();
    driver::DialogSeen box{};
    bool boxSeen = false;
    std::thread user([&] {
        driver::Press(form.Button1->Handle());
        boxSeen = driver::AnswerDialog("#32770", GetCurrentProcessId(), 10000, box);
        driver::Press(form.Button1->Handle());
        for (int i = 0; i < 500 && !installed; ++i) Sleep(20);
        installed = true;
        PostThreadMessageW(mainThread, WM_NULL, 0, 0);
    });
    while (!installed) platform::Application.HandleMessage();
    user.join();
    ASSERT_TRUE(boxSeen) << "the exception was not shown";
    EXPECT_EQ(box.caption, Widen(platform::Application.Title()));
    EXPECT_TRUE(box.hasIcon);
    ASSERT_EQ(box.texts.size(), 1u);
    EXPECT_EQ(box.texts[0], L"Falha no clique.");
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(dialogs.shown().size(), 1u) << "the second press installs";
    EXPECT_EQ(dialogs.shown()[0].text, Format(U_TAVRO::kConfirmationText, {SharedServer()}));
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

}  // namespace
