// The framework's helpers, message pumping and message dialog.
#include <gtest/gtest.h>

#include <thread>

#include "Dialogs.h"
#include "Driver.h"
#include "FormDescription.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

TEST(Format, ReplacesTextsNumbersAndPercent) {
    EXPECT_EQ(Format("DLL %s ok", {std::string("C:\\a b\\x.DLL")}), "DLL C:\\a b\\x.DLL ok");
    EXPECT_EQ(Format("c\xF3"
                     "digo %d.",
                     {-5ll}),
              "c\xF3"
              "digo -5.");
    EXPECT_EQ(Format("100%% %s%s", {std::string("a"), std::string("b")}), "100% ab");
    EXPECT_THROW(Format("%s", {}), Exception);
    EXPECT_THROW(Format("%d", {std::string("x")}), Exception);
    EXPECT_THROW(Format("50%", {}), Exception);
}

TEST(SysErrorMessage, GivesTheSystemsWordsWithoutLineBreaksOrNothing) {
    char raw[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, raw, sizeof raw, nullptr);
    std::string expected = raw;
    ASSERT_FALSE(expected.empty());
    expected.erase(expected.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), expected);
    EXPECT_EQ(SysErrorMessage(0x20000001), "") << "a code the system has no message for";
}

TEST(IntToHex, WritesUpperCaseDigitsPaddedToTheWidth) {
    EXPECT_EQ(IntToHex(0xC0000005u, 8), "C0000005");
    EXPECT_EQ(IntToHex(0x1Fu, 8), "0000001F");
    EXPECT_EQ(IntToHex(0, 1), "0");
    EXPECT_EQ(IntToHex(0xFFFFFFFFFFFFFFFFull, 2), "FFFFFFFFFFFFFFFF");
}

TEST(ExtractFilePath, KeepsTheFolderWithItsLastBackslash) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Programas\\Pelmora.exe", "C:\\Programas\\"},
        {"C:\\x.exe", "C:\\"},
        {"C:x.exe", "C:"},
        {"x.exe", ""},
        {"\\\\servidor\\pasta\\x.exe", "\\\\servidor\\pasta\\"},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(ExtractFilePath(path), folder) << path;
}

TEST(ForceDirectories, CreatesMissingParentsAndLeavesExistingFoldersAlone) {
    TempFolder temp;
    const std::string deep = temp.path() + "\\a\\b c\\d";
    EXPECT_TRUE(ForceDirectories(deep + "\\"));
    EXPECT_TRUE(FileExists(deep));
    WriteFile(deep + "\\kept.txt", "kept");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_EQ(ReadFile(deep + "\\kept.txt"), "kept");
    WriteFile(temp.path() + "\\file", "");
    EXPECT_FALSE(ForceDirectories(temp.path() + "\\file\\sub"));
    EXPECT_THROW(ForceDirectories(""), Exception);
}

TEST(FindFirst, FindsEntriesWhoseAttributesAreAllowed) {
    TempFolder temp;
    WriteFile(temp.path() + "\\arquivo.txt", "x");
    CreateDirectoryA((temp.path() + "\\pasta").c_str(), nullptr);
    TSearchRec found;
    EXPECT_EQ(FindFirst(temp.path() + "\\arquivo.txt", faAnyFile, found), 0);
    EXPECT_EQ(found.Name, "arquivo.txt");
    EXPECT_TRUE(found.FindHandle);
    EXPECT_EQ(FindFirst(temp.path() + "\\pasta", faAnyFile, found), 0);
    EXPECT_NE(FindFirst(temp.path() + "\\pasta", faArchive, found), 0)
        << "folders need faDirectory";
    EXPECT_NE(FindFirst(temp.path() + "\\nada.txt", faAnyFile, found), 0);
}

TEST(ObjectDescription, ReadsNestedObjectsAndEveryKindOfValue) {
    const ObjectDescription d = ParseObjectDescription(
        "object Form1: TForm1\n"
        "  Left = -8\n"
        "  Caption = 'It''s '#65 + 'B'\n"
        "  Color = clBtnFace\n"
        "  Font.Style = [fsBold, fsItalic]\n"
        "  object Button1: TButton\n"
        "    OnClick = Button1Click\n"
        "  end\n"
        "end\n");
    EXPECT_EQ(d.name, "Form1");
    EXPECT_EQ(d.className, "TForm1");
    EXPECT_EQ(d.Integer("Left", 0), -8);
    EXPECT_EQ(d.String("Caption", ""), "It's AB");
    EXPECT_EQ(d.Identifier("Color", ""), "clBtnFace");
    EXPECT_EQ(d.properties.at("Font.Style").items,
              (std::vector<std::string>{"fsBold", "fsItalic"}));
    EXPECT_EQ(d.Integer("Top", 42), 42);
    EXPECT_THROW(d.Integer("Caption", 0), Exception);
    ASSERT_EQ(d.children.size(), 1u);
    EXPECT_EQ(d.children[0].Identifier("OnClick", ""), "Button1Click");
}

TEST(ObjectDescription, MalformedTextNamesTheLine) {
    try {
        ParseObjectDescription("object Form1: TForm1\n  Caption = 'open\nend\n");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ParseObjectDescription("object Form1 TForm1\nend"), Exception);
    EXPECT_THROW(ParseObjectDescription("object A: TA\nend\nend"), Exception);
}

class Messages : public ::testing::Test {
protected:
    void TearDown() override { Application.ResetTerminated(); }
};

TEST_F(Messages, ProcessMessagesDispatchesEverythingQueuedAndAQuitSetsTheFlag) {
    int calls = 0;
    AfterDelay a(1, [&] { ++calls; });
    AfterDelay b(1, [&] { ++calls; });
    Sleep(50);
    Application.ProcessMessages();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(Application.Terminated());
    Application.Terminate();
    EXPECT_FALSE(Application.Terminated()) << "the flag follows the quit message";
    Application.ProcessMessages();
    EXPECT_TRUE(Application.Terminated());
}

TEST_F(Messages, MessageDlgIsModalCentredAndClosedByOkOrEscape) {
    struct Case {
        TMsgDlgType type;
        const wchar_t* caption;
        bool escape;
    };
    for (const Case& c : {Case{TMsgDlgType::mtInformation, L"Information", false},
                          Case{TMsgDlgType::mtError, L"Error", true}}) {
        driver::DialogAnswerer::Seen seen{};
        // Read the real dialog from another thread, then close it by keyboard or button.
        std::thread user([&] {
            HWND dialog =
                driver::WaitForWindow(kMessageDlgClass, L"", GetCurrentProcessId(), 10000);
            if (!dialog) return;
            seen.caption = driver::Text(dialog);
            seen.texts = driver::StaticTexts(dialog);
            seen.rect = driver::WindowRect(dialog);
            HWND ok = driver::ChildByText(dialog, "Button", L"OK");
            if (c.escape) {
                driver::PressKey(ok, VK_ESCAPE);
            } else {
                driver::Press(ok);
            }
        });
        const int result = MessageDlg("Linha um\rLinha dois", c.type, mbOK, 0);
        user.join();
        EXPECT_EQ(result, mrOk);
        EXPECT_EQ(seen.caption, c.caption);
        ASSERT_EQ(seen.texts.size(), 1u);
        EXPECT_EQ(seen.texts[0], L"Linha um\rLinha dois");
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_NEAR((seen.rect.left + seen.rect.right) / 2, (work.left + work.right) / 2, 1);
        EXPECT_NEAR((seen.rect.top + seen.rect.bottom) / 2, (work.top + work.bottom) / 2, 1);
    }
}

TEST_F(Messages, MessageDlgClosesAtOnceWhileTheApplicationIsTerminating) {
    Application.Terminate();
    Application.ProcessMessages();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(MessageDlg("fechando", TMsgDlgType::mtInformation, mbOK, 0), mrCancel);
    EXPECT_LT(SecondsSince(start), 1.0);
}

}  // namespace
