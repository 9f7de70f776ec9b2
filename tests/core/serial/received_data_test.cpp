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

TEST(ReceivedDataTest, SavedLinesEndInCrLf) {
    EXPECT_EQ(ReceivedLineBytes({"O1", "", "G0"}), "O1\r\n\r\nG0\r\n");
    EXPECT_EQ(ReceivedLineBytes({}), "");
}

TEST(ReceivedDataTest, CopiesOfANumberGetTheNextNumberWithinTheLongestName) {
    Settings settings;
    settings.Add_No = "N";
    EXPECT_EQ(ProgramFileName("O100", settings, 0, 2), "O100_2.NC");
    EXPECT_EQ(ProgramFileName("O100(A)", settings, 3, 12), "O100_12.NC");
    const std::string name = ProgramFileName("O" + std::string(400, '1'), settings, 0, 2);
    EXPECT_EQ(name.size(), kMaxFileNameBytes);
    EXPECT_TRUE(name.ends_with("1_2.NC")) << name;
    settings.Add_No = "Y";
    EXPECT_EQ(ProgramFileName("O100", settings, 0, 2), "O100_001_2.NC");
}

// The unfinished file is nowhere in the folder until it is placed; placed
// without replace it never takes a name in use.
TEST(ReceivedDataTest, AnUnfinishedFileHasNoNameUntilPlaced) {
    TempDir dir;
    test::WriteFileBytes(dir / "TAKEN.NC", "old");
    UnfinishedFile file;
    ASSERT_EQ(file.Create(dir.path().string()), 0);
    ASSERT_EQ(file.Append("O1\r\n"), 0);
#ifdef _WIN32
    // Windows has no unnamed files: a hidden temporary name is all there is.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(names[0].starts_with(".Wexal-receive.tmp") ||
                names[1].starts_with(".Wexal-receive.tmp"));
#else
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
#endif
    EXPECT_EQ(file.Place("TAKEN.NC"), EEXIST);
    EXPECT_EQ(test::ReadFileBytes(dir / "TAKEN.NC"), "old");
    EXPECT_EQ(file.Place("NEW.NC"), 0);
    EXPECT_EQ(test::ReadFileBytes(dir / "NEW.NC"), "O1\r\n");
    EXPECT_FALSE(file.IsOpen());

    ASSERT_EQ(file.Create(dir.path().string()), 0);
    ASSERT_EQ(file.Append("O2\r\n"), 0);
    EXPECT_EQ(file.Replace("TAKEN.NC", {}).error, 0);
    EXPECT_EQ(test::ReadFileBytes(dir / "TAKEN.NC"), "O2\r\n");

    ASSERT_EQ(file.Create(dir.path().string()), 0);
    ASSERT_EQ(file.Append("O3\r\n"), 0);
    file.Discard();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_NE(file.Create((dir / "missing").string()), 0);
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
        {"Add_No numbers the programs",
         "Y",
         "N",
         "%\nO100\nX1\nO200\nX2\n%\n",
         {{"O100_001.NC", "%\r\nO100\r\nX1\r\n%\r\n"},
          {"O200_002.NC", "%\r\nO200\r\nX2\r\n%\r\n"}}},
        {":100(ABC) keeps its line",
         "N",
         "Y",
         "%\n:100(ABC)\nX1\n%\n",
         {{"O100.NC", "%\r\n:100(ABC)\r\nX1\r\n%\r\n"}}},
        {"L20", "N", "N", "%\nL20\nX1\n%\n", {{"L20.NC", "%\r\nL20\r\nX1\r\n%\r\n"}}},
        {"O100 G90",
         "N",
         "N",
         "%\nO100G90\nX1\n%\n",
         {{"O100 G90.NC", "%\r\nO100 G90\r\nX1\r\n%\r\n"}}},
        {"the same number twice keeps both",
         "N",
         "N",
         "%\nO1\nX1\nO1\nX2\n%\n",
         {{"O1.NC", "%\r\nO1\r\nX1\r\n%\r\n"}, {"O1_2.NC", "%\r\nO1\r\nX2\r\n%\r\n"}}},
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
    for (const char c : std::string("/:,;*?<>|."))
        EXPECT_FALSE(IsCharPermitted(c, strict.forbidden)) << c;
    for (const char c : std::string("/:,;*?<>|"))
        EXPECT_FALSE(IsCharPermitted(c, loose.forbidden)) << c;
    EXPECT_TRUE(IsCharPermitted('.', loose.forbidden));
    EXPECT_TRUE(IsCharPermitted('A', strict.forbidden));
}

}  // namespace
}  // namespace wexal
