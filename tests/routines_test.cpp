// The installation routines against the real system under Wine: real folders, the
// stand-in component, the real regsvr32 and registry, real dialogs where the text matters.
#include <gtest/gtest.h>

#include <string>

#include "ComponentIds.h"
#include "Driver.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "U_TAVRO.h"

using namespace testing_support;
using platform::Application;
using platform::Format;
using platform::TMsgDlgType;

namespace {

constexpr char kTool[] = "test_tool.exe";

std::string Confirmation(const std::string& path) {
    return Format(U_TAVRO::kConfirmationText, {path});
}

std::string Failure(const std::string& path, const std::string& reason) {
    return Format(U_TAVRO::kFailureText, {path}) + "\r" + reason;
}

std::string Regsvr32Path() { return ToolFolder() + "\\regsvr32.exe"; }

// Each test starts without a shared folder or registration, and leaves none behind.
class Routines : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(SharedRoot());
        RemoveRegistration();
    }
    void TearDown() override {
        Application.ResetTerminated();
        RemoveTree(SharedRoot());
        RemoveRegistration();
    }
};

// A folder holding the component as shipped: server and companion.
struct ComponentCopy {
    explicit ComponentCopy(const std::string& folderName = "componente", bool withCompanion = true)
        : folder(folderName), server(folder.CopyIn(U_TAVRO::kServerLibrary)) {
        if (withCompanion) folder.CopyIn(U_TAVRO::kCompanionLibrary);
    }
    TempFolder folder;
    std::string server;
};

// --- RunElevated ----------------------------------------------------------------------------

using RunElevatedTest = Routines;

TEST_F(RunElevatedTest, StartsHiddenThroughRunasOwnedByTheApplicationAndReportsTheExitCode) {
    ShellCapture shell;
    std::optional<DWORD> exitCode;
    const std::string tool = ProgramFolder() + kTool;
    for (DWORD code : {0ul, 7ul, 259ul /* the value that also means "still active" */}) {
        ASSERT_TRUE(U_TAVRO::RunElevated(tool, "--exit " + std::to_string(code), exitCode));
        ASSERT_TRUE(exitCode.has_value()) << "code " << code;
        EXPECT_EQ(*exitCode, code);
    }
    ASSERT_EQ(shell.starts().size(), 3u);
    const ShellStart& start = shell.starts()[0];
    EXPECT_EQ(start.verb, "Runas");
    EXPECT_EQ(start.file, tool);
    EXPECT_EQ(start.parameters, "--exit 0");
    EXPECT_EQ(start.show, SW_HIDE);
    EXPECT_EQ(start.mask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI))
        << "the process handle back, and no error box from the shell";
    EXPECT_EQ(start.owner, Application.Handle());
}

TEST_F(RunElevatedTest, KeepsMessagesFlowingWhileWaiting) {
    int ticks = 0;
    AfterDelay first(100, [&] { ++ticks; });
    AfterDelay second(400, [&] { ++ticks; });
    AfterDelay third(700, [&] { ++ticks; });
    std::optional<DWORD> exitCode;
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(U_TAVRO::RunElevated(ProgramFolder() + kTool, "--sleep 1500", exitCode));
    EXPECT_GE(SecondsSince(start), 1.4);
    EXPECT_EQ(ticks, 3) << "messages dispatched during the wait";
    EXPECT_EQ(exitCode, std::optional<DWORD>(0));
}

TEST_F(RunElevatedTest, TerminatingEndsTheWaitWithoutAnExitCode) {
    ShellCapture shell;
    AfterDelay close(300, [] { Application.Terminate(); });
    std::optional<DWORD> exitCode;
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(U_TAVRO::RunElevated(ProgramFolder() + kTool, "--sleep 4000", exitCode));
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_TRUE(Application.Terminated());
    EXPECT_FALSE(exitCode.has_value());
    ASSERT_EQ(shell.starts().size(), 1u);
    EXPECT_EQ(WaitForSingleObject(shell.starts()[0].process, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the tool runs on";
}

TEST_F(RunElevatedTest, RefusedStartReturnsFalseAndAStartWithoutHandleCountsAsStarted) {
    struct Case {
        const char* what;
        BOOL result;
        bool expectStarted;
    };
    for (const Case& c :
         {Case{"elevation refused", FALSE, false}, Case{"no process handle", TRUE, true}}) {
        ShellCapture shell([&](SHELLEXECUTEINFOA& info) {
            info.hProcess = nullptr;
            SetLastError(ERROR_CANCELLED);
            return c.result;
        });
        std::optional<DWORD> exitCode = 5;
        EXPECT_EQ(U_TAVRO::RunElevated(ProgramFolder() + kTool, "", exitCode), c.expectStarted)
            << c.what;
        EXPECT_FALSE(exitCode.has_value()) << c.what;
    }
}

// --- RegisterComServer ----------------------------------------------------------------------

using RegisterComServerTest = Routines;

TEST_F(RegisterComServerTest, RegistersFromAFolderWithBlanksQuotingThePath) {
    ComponentCopy component("pasta com brancos");
    DialogCapture dialogs;
    ShellCapture shell;
    U_TAVRO::RegisterComServer(component.server, true);

    ASSERT_EQ(shell.starts().size(), 1u);
    EXPECT_EQ(shell.starts()[0].file, Regsvr32Path()) << "the tool is named by its full path";
    EXPECT_EQ(shell.starts()[0].parameters, "/s \"" + component.server + "\"");
    EXPECT_EQ(RegisteredServerPath(), component.server);
    EXPECT_FALSE(RegisteredServerPath(true).has_value()) << "registered by the tool of our bitness";
    EXPECT_EQ(RegisteredThreadingModel(), std::string("Apartment"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(dialogs.shown()[0].text, Confirmation(component.server));
    EXPECT_EQ(GetModuleHandleA(component.server.c_str()), nullptr) << "library released";
}

TEST_F(RegisterComServerTest, SuccessIsConfirmedOnlyOnRequestButFailureAlways) {
    struct Case {
        bool companion, confirm;
        size_t dialogs;
    };
    for (const Case& c :
         {Case{true, true, 1}, Case{true, false, 0}, Case{false, true, 1}, Case{false, false, 1}}) {
        SCOPED_TRACE(::testing::Message()
                     << "companion " << c.companion << ", confirm " << c.confirm);
        ComponentCopy component("componente", c.companion);
        DialogCapture dialogs;
        ShellCapture shell;
        U_TAVRO::RegisterComServer(component.server, c.confirm);
        const DWORD toolExit = shell.WaitForAll();
        ASSERT_EQ(shell.starts().size(), 1u);
        ASSERT_EQ(dialogs.shown().size(), c.dialogs);
        if (c.companion) {
            EXPECT_EQ(toolExit, 0u);
            EXPECT_EQ(RegisteredServerPath(), component.server);
        } else {
            EXPECT_NE(toolExit, 0u) << "registration must fail without the companion";
            EXPECT_FALSE(RegisteredServerPath().has_value());
            EXPECT_EQ(dialogs.shown()[0].type, TMsgDlgType::mtError);
            EXPECT_EQ(dialogs.shown()[0].text,
                      Failure(component.server, U_TAVRO::ToolExitCodeText(toolExit)));
        }
        RemoveRegistration();
    }
}

TEST_F(RegisterComServerTest, LibraryThatCannotRegisterStartsNothingAndShowsNothing) {
    TempFolder folder;
    struct Case {
        const char* what;
        std::string path;
    };
    const std::string notAProgram = folder.path() + "\\texto.DLL";
    WriteFile(notAProgram, "not a library");
    for (const Case& c :
         {Case{"missing", folder.path() + "\\ausente.DLL"}, Case{"not loadable", notAProgram},
          Case{"no DllRegisterServer", folder.CopyIn("no_register.dll")}}) {
        DialogCapture dialogs;
        ShellCapture shell;
        U_TAVRO::RegisterComServer(c.path, true);
        EXPECT_TRUE(shell.starts().empty()) << c.what;
        EXPECT_TRUE(dialogs.shown().empty()) << c.what;
        EXPECT_EQ(GetModuleHandleA(c.path.c_str()), nullptr) << c.what;
    }
}

TEST_F(RegisterComServerTest, AFailedStartIsReportedUnlessTheUserRefusedTheElevation) {
    ComponentCopy component;
    const std::string cannotStart = "N\xE3o foi poss\xEDvel iniciar o regsvr32: ";
    struct Case {
        DWORD error;
        std::optional<std::string> reason;  // nothing shown when empty
    };
    for (const Case& c : {
             Case{ERROR_CANCELLED, std::nullopt},
             Case{ERROR_ACCESS_DENIED,
                  cannotStart + platform::SysErrorMessage(ERROR_ACCESS_DENIED)},
             Case{0x20000001, cannotStart + "erro 536870913."},  // no system message for it
             Case{ERROR_SUCCESS, cannotStart + "erro 0."},       // a failure that gave no reason
         }) {
        SCOPED_TRACE(::testing::Message() << "error " << c.error);
        DialogCapture dialogs;
        ShellCapture shell([&](SHELLEXECUTEINFOA&) {
            SetLastError(c.error);
            return FALSE;
        });
        U_TAVRO::RegisterComServer(component.server, true);
        EXPECT_EQ(shell.starts().size(), 1u);
        EXPECT_EQ(GetModuleHandleA(component.server.c_str()), nullptr);
        if (!c.reason) {
            EXPECT_TRUE(dialogs.shown().empty());
            continue;
        }
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].type, TMsgDlgType::mtError);
        EXPECT_EQ(dialogs.shown()[0].text, Failure(component.server, *c.reason));
    }
}

TEST_F(RegisterComServerTest, AToolThatCannotStartIsReportedInOurDialogAlone) {
    ComponentCopy component;
    ShellCapture shell;
    driver::DialogAnswerer ours(1, platform::kMessageDlgClass);
    driver::DialogAnswerer others(1, "#32770");  // the system's message boxes
    {
        MovedAside realTool(Regsvr32Path());
        WriteFile(Regsvr32Path(), "not a program\r\n");
        U_TAVRO::RegisterComServer(component.server, true);
        DeleteFileA(Regsvr32Path().c_str());
    }
    const auto seen = ours.Finish(10000);
    EXPECT_TRUE(others.Finish(0).empty()) << "a window besides our dialog";
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Error");
    ASSERT_EQ(seen[0].texts.size(), 1u);
    const std::wstring expected =
        Widen(Failure(component.server, "")) + L"N\u00E3o foi poss\u00EDvel iniciar o regsvr32: ";
    const std::wstring& text = seen[0].texts[0];
    ASSERT_EQ(text.substr(0, expected.size()), expected);
    const std::wstring reason = text.substr(expected.size());
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find_first_of(L"\r\n"), std::wstring::npos) << "no line breaks after it";
    EXPECT_FALSE(RegisteredServerPath().has_value());
}

TEST_F(RegisterComServerTest, ExceptionInsideIsShownAsTheFailureAndGoesNoFurther) {
    ComponentCopy component;
    DialogCapture dialogs;
    ShellCapture shell(
        [](SHELLEXECUTEINFOA&) -> BOOL { throw platform::Exception("falha simulada"); });
    EXPECT_NO_THROW(U_TAVRO::RegisterComServer(component.server, true));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(dialogs.shown()[0].text, Failure(component.server, "falha simulada"));
    EXPECT_EQ(GetModuleHandleA(component.server.c_str()), nullptr) << "library released";
}

TEST_F(RegisterComServerTest, TerminatingDuringASlowRegistrationEndsTheWaitAndReleasesTheLibrary) {
    ComponentCopy component;
    ScopedEnvironment slow(component::kRegisterDelayVariable, "3000");
    ShellCapture shell;
    bool loadedDuringWait = false;
    AfterDelay close(300, [&] {
        loadedDuringWait = GetModuleHandleA(component.server.c_str()) != nullptr;
        Application.Terminate();
    });
    // The confirmation is shown for real: it must close by itself.
    const ULONGLONG start = GetTickCount64();
    U_TAVRO::RegisterComServer(component.server, true);
    EXPECT_LT(SecondsSince(start), 2.5);
    EXPECT_TRUE(loadedDuringWait);
    EXPECT_EQ(GetModuleHandleA(component.server.c_str()), nullptr) << "library released";
    EXPECT_EQ(driver::FindVisibleWindow(platform::kMessageDlgClass, L"", GetCurrentProcessId()),
              nullptr);
    EXPECT_EQ(shell.WaitForAll(), 0u) << "the tool runs on to its end";
    EXPECT_EQ(RegisteredServerPath(), component.server);
}

TEST_F(RegisterComServerTest, DialogsShowTheTextsInTheRightCharacters) {
    ComponentCopy component("componente", false);
    ShellCapture shell;
    driver::DialogAnswerer answerer(1, platform::kMessageDlgClass);
    U_TAVRO::RegisterComServer(component.server, true);
    const auto seen = answerer.Finish(10000);
    const DWORD code = shell.WaitForAll();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Error");
    EXPECT_TRUE(seen[0].hasIcon);
    ASSERT_EQ(seen[0].texts.size(), 1u);
    EXPECT_EQ(code, 5u) << "DllRegisterServer failed";
    const std::wstring expected =
        L"Aten\u00E7\u00E3o n\u00E3o foi poss\u00EDvel registrar a DLL " + Widen(component.server) +
        L"\rO regsvr32 terminou com o c\u00F3digo 5: o DllRegisterServer da DLL falhou.";
    EXPECT_EQ(seen[0].texts[0], expected);
}

TEST(ToolExitCodeText, ExplainsTheDocumentedCodesAndWritesFaultsInHexadecimal) {
    const std::wstring start = L"O regsvr32 terminou com o c\u00F3digo ";
    const struct {
        DWORD code;
        std::wstring rest;
    } cases[] = {
        {1, L"1: argumentos inv\u00E1lidos."},
        {2, L"2: n\u00E3o foi poss\u00EDvel iniciar o OLE."},
        {3, L"3: n\u00E3o foi poss\u00EDvel carregar a DLL ou uma biblioteca de que ela depende."},
        {4, L"4: a DLL n\u00E3o exporta DllRegisterServer."},
        {5, L"5: o DllRegisterServer da DLL falhou."},
        {6, L"6."},
        {0x7FFFFFFF, L"2147483647."},
        {0x80000000, L"0x80000000."},
        {0xC0000005, L"0xC0000005."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Widen(U_TAVRO::ToolExitCodeText(c.code)), start + c.rest) << c.code;
    }
}

TEST_F(RegisterComServerTest, MissingToolIsReportedWithTheFolderSearched) {
    ComponentCopy component;
    DialogCapture dialogs;
    ShellCapture shell;
    {
        MovedAside noTool(Regsvr32Path());
        U_TAVRO::RegisterComServer(component.server, true);
    }
    EXPECT_TRUE(shell.starts().empty());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text,
              Failure(component.server, Format(U_TAVRO::kToolNotFoundText, {ToolFolder()})));
    const std::wstring reason = L"O regsvr32.exe n\u00E3o foi encontrado em ";
    EXPECT_NE(Widen(dialogs.shown()[0].text).find(reason), std::wstring::npos);
}

TEST_F(RegisterComServerTest, PlantedRegsvr32BesideTheProgramNeverRuns) {
    const std::string planted = ProgramFolder() + "regsvr32.exe";
    ASSERT_TRUE(CopyFileA((ProgramFolder() + kTool).c_str(), planted.c_str(), FALSE));
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            DeleteFileA(path.c_str());
            DeleteFileA((path + ".ran").c_str());
        }
    } cleanup{planted};
    ComponentCopy component;
    DialogCapture dialogs;
    ShellCapture shell;
    U_TAVRO::RegisterComServer(component.server, true);
    shell.WaitForAll();
    EXPECT_FALSE(FileExists(planted + ".ran")) << "the planted program ran";
    EXPECT_EQ(RegisteredServerPath(), component.server);
}

TEST_F(RegisterComServerTest, RepeatedRegistrationsLeaveNoHandlesBehind) {
    ComponentCopy component;
    DialogCapture dialogs;
    U_TAVRO::RegisterComServer(component.server, false);  // first use loads what stays loaded
    const size_t before = OpenHandleCount();
    for (int i = 0; i < 5; ++i) U_TAVRO::RegisterComServer(component.server, false);
    EXPECT_EQ(OpenHandleCount(), before);
    EXPECT_TRUE(dialogs.shown().empty());
}

// --- InstallPdfComponent --------------------------------------------------------------------

using InstallPdfComponentTest = Routines;

TEST_F(InstallPdfComponentTest, CopiesBothLibrariesIntoTheSharedFolderAndRegistersTheCopy) {
    DialogCapture dialogs;
    ShellCapture shell;
    SetCurrentDirectoryA(ProgramFolder().c_str());
    U_TAVRO::InstallPdfComponent(true);

    const std::string server = SharedFolder() + "\\ZIVOvavoDozad.DLL";
    EXPECT_EQ(StoredName(server), "ZIVOvavoDozad.DLL");
    EXPECT_EQ(StoredName(SharedFolder() + "\\dorove.dll"), "dorove.DLL");
    EXPECT_EQ(ReadFile(server), ReadFile(ProgramFolder() + "ZIVOvavoDozad.DLL"));
    EXPECT_EQ(ReadFile(SharedFolder() + "\\dorove.DLL"), ReadFile(ProgramFolder() + "dorove.dll"));
    EXPECT_EQ(RegisteredServerPath(), server);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, Confirmation(server));
    EXPECT_EQ(CurrentFolder(), SystemFolder());
}

TEST_F(InstallPdfComponentTest, ExistingCopiesAreNeverReplacedAndTheOlderOneIsRegistered) {
    ASSERT_TRUE(platform::ForceDirectories(SharedFolder()));
    const std::string server = SharedFolder() + "\\ZIVOvavoDozad.DLL";
    const std::string companion = SharedFolder() + "\\dorove.DLL";
    // "Older versions": the same libraries with bytes after the image, still loadable.
    const std::string olderServer = ReadFile(ProgramFolder() + "ZIVOvavoDozad.DLL") + "older";
    const std::string olderCompanion = ReadFile(ProgramFolder() + "dorove.dll") + "older";
    WriteFile(server, olderServer);
    WriteFile(companion, olderCompanion);
    DialogCapture dialogs;
    for (int run = 0; run < 2; ++run) U_TAVRO::InstallPdfComponent(true);
    EXPECT_EQ(ReadFile(server), olderServer);
    EXPECT_EQ(ReadFile(companion), olderCompanion);
    EXPECT_EQ(RegisteredServerPath(), server);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].text, Confirmation(server));
}

TEST_F(InstallPdfComponentTest, WithoutTheSourcesTheFolderIsCreatedAndNothingElseHappens) {
    DialogCapture dialogs;
    ShellCapture shell;
    SetCurrentDirectoryA(ProgramFolder().c_str());
    {
        MovedAside noServer(ProgramFolder() + "ZIVOvavoDozad.DLL");
        MovedAside noCompanion(ProgramFolder() + "dorove.dll");
        U_TAVRO::InstallPdfComponent(true);
    }
    EXPECT_TRUE(FileExists(SharedFolder()));
    EXPECT_FALSE(FileExists(SharedFolder() + "\\ZIVOvavoDozad.DLL"));
    EXPECT_FALSE(FileExists(SharedFolder() + "\\dorove.DLL"));
    EXPECT_TRUE(shell.starts().empty());
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(RegisteredServerPath().has_value());
    EXPECT_EQ(CurrentFolder(), SystemFolder());
}

TEST_F(InstallPdfComponentTest, ASecondInstallationDuringTheWaitRunsNestedAndBothFinish) {
    ScopedEnvironment slow(component::kRegisterDelayVariable, "1500");
    DialogCapture dialogs;
    ShellCapture shell;
    AfterDelay second(300, [] { U_TAVRO::InstallPdfComponent(true); });
    U_TAVRO::InstallPdfComponent(true);
    EXPECT_TRUE(second.fired());
    EXPECT_EQ(shell.starts().size(), 2u);
    const std::string server = SharedFolder() + "\\ZIVOvavoDozad.DLL";
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].text, Confirmation(server));
    EXPECT_EQ(dialogs.shown()[1].text, Confirmation(server));
    EXPECT_EQ(RegisteredServerPath(), server);
}

}  // namespace
