#include "serial/received_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "files/input_line.h"
#include "serial/receive_choice.h"
#include "serial/receive_engine.h"
#include "support/fake_receive_panel.h"
#include "support/link_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::ScriptedMessages;
using test::TempDir;
namespace fs = std::filesystem;

TEST(ReceivedDataTest, ProgramLinesNameTheirFiles) {
    struct Row {
        const char* line;
        const char* addNo;
        const char* mask;
        int programCount;
        const char* name;
    };
    const Row rows[] = {
        {"O100", "Y", "*.NC", 0, "O100_001.NC"},
        {"O200", "Y", "*.NC", 1, "O200_002.NC"},
        {"O7", "Y", "*.NC", 11, "O7_012.NC"},
        {"O7", "Y", "*.NC", 1233, "O7_1234.NC"},
        {":100(ABC)", "N", "*.NC", 0, "O100.NC"},
        {"O100(ABC)", "N", "*.TXT", 0, "O100.TXT"},
        {"L20", "N", "*.NC", 0, "L20.NC"},
        {"O100 G90", "N", "*.NC", 0, "O100 G90.NC"},
        {"O100", "N", "*", 0, "O100"},
        {"O../../X", "N", "*.NC", 0, "O..%2F..%2FX.NC"},
        {"O1/2", "N", "*.NC", 0, "O1%2F2.NC"},
        {":A*B", "N", "*.NC", 0, "OA%2AB.NC"},
        {"O1%2F2", "N", "*.NC", 0, "O1%252F2.NC"},
        {"O\"<>?:", "N", "*.NC", 0, "O%22%3C%3E%3F%3A.NC"},
    };
    for (const Row& row : rows) {
        Settings settings;
        settings.Add_No = row.addNo;
        settings.Mask = row.mask;
        EXPECT_EQ(ProgramFileName(row.line, settings, row.programCount), row.name) << row.line;
    }
    Settings settings;
    settings.Add_No = "Y";
    EXPECT_EQ(ProgramFileName("O" + std::string(400, '1'), settings, 0).size(), kMaxFileNameBytes);
}

TEST(ReceivedDataTest, AppendedLinesEndInCrLfAndFollowWhatIsThere) {
    TempDir dir;
    const std::string file = (dir / "A.NC").string();
    test::WriteFileBytes(file, "%\r\n");
    ASSERT_TRUE(AppendReceivedLines(file, {"O1", "", "G0"}));
    EXPECT_EQ(test::ReadFileBytes(file), "%\r\nO1\r\n\r\nG0\r\n");
    const Status missing = AppendReceivedLines((dir / "B.NC").string(), {"O1"});
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message.find((dir / "B.NC").string()), std::string::npos);
}

TEST(ReceivedDataTest, AMaskWithoutAnExtensionNamesNoFile) {
    TempDir dir;
    Settings settings;
    settings.DirPath = dir.path().string();
    settings.Mask = "*.*";
    ReceivedData data;
    ReceivedView view;
    const Status started = StartProgramFile(data, view, "O1", settings, 0);
    EXPECT_FALSE(started);
    EXPECT_NE(started.message.find("O1_001.*"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// The receive with automatic naming through the engine, as the saving rules ask.
TEST(ReceivedDataTest, AutomaticNamingSavesEveryProgramAsItsOwnFile) {
    struct Row {
        const char* name;
        const char* addNo;
        const char* colonChange;
        std::string input;
        std::map<std::string, std::string> files;
    };
    const Row rows[] = {
        {"Add_No numbers the programs", "Y", "N", "%\nO100\nX1\nO200\nX2\n%\n",
         {{"O100_001.NC", "%\r\nO100\r\nX1\r\n%\r\n"}, {"O200_002.NC", "%\r\nO200\r\nX2\r\n%\r\n"}}},
        {":100(ABC) keeps its line", "N", "Y", "%\n:100(ABC)\nX1\n%\n",
         {{"O100.NC", "%\r\n:100(ABC)\r\nX1\r\n%\r\n"}}},
        {"L20", "N", "N", "%\nL20\nX1\n%\n", {{"L20.NC", "%\r\nL20\r\nX1\r\n%\r\n"}}},
        {"O100 G90", "N", "N", "%\nO100G90\nX1\n%\n", {{"O100 G90.NC", "%\r\nO100 G90\r\nX1\r\n%\r\n"}}},
        {"the same number twice replaces", "N", "N", "%\nO1\nX1\nO1\nX2\n%\n",
         {{"O1.NC", "%\r\nO1\r\nX2\r\n%\r\n"}}},
    };
    for (const Row& row : rows) {
        ScriptedMessages messages;
        test::LinkRig rig(messages);
        TempDir dir;
        test::FakeReceivePanel panel;
        rig.settings.DirPath = dir.path().string();
        rig.settings.Signal = "N";
        rig.settings.R_Code = 3;
        rig.settings.StartChar = "Y";
        rig.settings.EndChar = "Y";
        rig.settings.Add_No = row.addNo;
        rig.settings.OColonChange = row.colonChange;
        rig.port.ScriptInput(1ms, row.input);
        ReceiveEnvironment env;
        env.link = &rig.link;
        env.panel = &panel;
        ASSERT_EQ(ReceiveFile(ReceiveRequest{}, env).end, ReceiveEnd::Completed) << row.name;
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            files[entry.path().filename().string()] = test::ReadFileBytes(entry.path());
        }
        EXPECT_EQ(files, row.files) << row.name;
    }
}

TEST(ReceiveChoiceTest, KeysAndLabelRowsChooseHowToSave) {
    EXPECT_EQ(SaveChoiceForKey('Y'), SaveChoice::Named);
    EXPECT_EQ(SaveChoiceForKey('N'), SaveChoice::Automatic);
    EXPECT_EQ(SaveChoiceForKey(0x1B), SaveChoice::Cancel);
    EXPECT_EQ(SaveChoiceForKey('X'), SaveChoice::None);
    const std::pair<int, SaveChoice> rows[] = {
        {0, SaveChoice::Named},      {18, SaveChoice::Named},   {19, SaveChoice::Automatic},
        {36, SaveChoice::Automatic}, {37, SaveChoice::Cancel},  {54, SaveChoice::Cancel},
        {55, SaveChoice::None},      {-1, SaveChoice::None},
    };
    for (const auto& [y, choice] : rows) EXPECT_EQ(SaveChoiceForLabelRow(y), choice) << y;
    EXPECT_EQ(SaveChoiceForLabelRow(20, 20), SaveChoice::Named);
}

TEST(ReceiveChoiceTest, TheNameEntryFormsTheTargetAndAsksBeforeReplacing) {
    using Kind = NameEntryOutcome::Kind;
    struct Row {
        const char* name;
        const char* allFiles;
        bool exists;
        bool answer;
        Kind kind;
        const char* file;  // in the folder, when started
        const char* told;  // a refusal shown, or ""
    };
    const Row rows[] = {
        {"TEST", "N", false, false, Kind::Start, "TEST.NC", ""},
        {"TEST.NC", "Y", false, false, Kind::Start, "TEST.NC", ""},
        {"TE.ST", "N", false, false, Kind::Nothing, "", "この文字はファイル名に使えません。\n/:,;*?<>|."},
        {"A/B", "Y", false, false, Kind::Nothing, "", "この文字はファイル名に使えません。\n/:,;*?<>|"},
        {"..", "Y", false, false, Kind::Nothing, "", "この文字はファイル名に使えません。\n/:,;*?<>|"},
        {"", "N", false, false, Kind::Nothing, "", ""},
        {"OLD", "N", true, false, Kind::KeepOpen, "", ""},
        {"OLD", "N", true, true, Kind::Start, "OLD.NC", ""},
    };
    for (const Row& row : rows) {
        TempDir dir;
        ScriptedMessages messages;
        Settings settings;
        settings.DirPath = dir.path().string();
        settings.AllFiles = row.allFiles;
        if (row.exists) test::WriteFileBytes(dir / "OLD.NC", "x");
        if (row.exists) messages.Answer(row.answer);
        const NameEntryOutcome outcome = ConfirmReceiveName(row.name, settings, messages);
        EXPECT_EQ(outcome.kind, row.kind) << row.name;
        if (row.kind == Kind::Start) {
            EXPECT_TRUE(outcome.request.named);
            EXPECT_EQ(outcome.request.target, (dir / row.file).string()) << row.name;
            EXPECT_EQ(outcome.request.displayName, row.file) << row.name;
        }
        if (row.exists) {
            ASSERT_EQ(messages.shown().size(), 1u) << row.name;
            EXPECT_EQ(messages.shown()[0].text,
                      "すでに" + (dir / "OLD.NC").string() + "が有ります。\n上書きしますか？");
            EXPECT_EQ(messages.shown()[0].icon, MessageIcon::Warning);
        } else if (*row.told) {
            ASSERT_EQ(messages.shown().size(), 1u) << row.name;
            EXPECT_EQ(messages.shown()[0].text, row.told) << row.name;
            EXPECT_EQ(messages.shown()[0].caption, "確認") << row.name;
        } else {
            EXPECT_TRUE(messages.shown().empty()) << row.name;
        }
        EXPECT_FALSE(messages.unanswered()) << row.name;
    }
}

TEST(ReceiveChoiceTest, TypedCharactersFollowTheFileNameRule) {
    const CharRule strict = FileNameCharRule("N");
    const CharRule loose = FileNameCharRule("Y");
    for (const char c : std::string("/:,;*?<>|.")) EXPECT_FALSE(IsCharPermitted(c, strict.forbidden)) << c;
    for (const char c : std::string("/:,;*?<>|")) EXPECT_FALSE(IsCharPermitted(c, loose.forbidden)) << c;
    EXPECT_TRUE(IsCharPermitted('.', loose.forbidden));
    EXPECT_TRUE(IsCharPermitted('A', strict.forbidden));
}

}  // namespace
}  // namespace wexal
