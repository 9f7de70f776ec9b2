// The split, the doubling and the join read their source as they go; their
// output must be byte for byte what the tools give for the whole text the
// transfer view loads from the same file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "programs/file_loader.h"
#include "nctools/axis_double.h"
#include "nctools/concatenate.h"
#include "nctools/split_programs.h"
#include "support/whole_file_loader.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

class Answering : public MessageService {
public:
    explicit Answering(bool yes) : yes_(yes) {}
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override {
        ++questions;
        return yes_;
    }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return yes_; }
    void Tell(const std::string& text, const std::string&, MessageIcon) override {
        told.push_back(text);
    }
    int questions = 0;
    std::vector<std::string> told;

private:
    bool yes_;
};

// A program of about `size` bytes whose lines end as `end` says, with the
// X words the doubling takes.
std::string Programs(std::size_t size, const std::string& end) {
    std::string text;
    for (int line = 0; text.size() < size; ++line) {
        if (line % 4000 == 0) text += "O" + std::to_string(1000 + line / 4000) + "(P)" + end;
        text += "G01X" + std::to_string(line % 97) + "." + std::to_string(line % 7) + "Y2." + end;
    }
    return text;
}

// A CR LF pair, and a CR alone, across the edge of each read block.
std::string AcrossTheBlockEdge() {
    std::string text = "O1\r\n";
    text += "X" + std::string(256 * 1024 - text.size() - 2, '1') + "\r\nX2\r";
    text += "X3" + std::string(256 * 1024, '5') + "\rX4\n";
    return text;
}

struct StreamCase {
    const char* title;
    std::string bytes;
    bool yes = true;  // the answer to the question for a file that is not text
};

std::vector<StreamCase> Cases() {
    std::string nuls = Programs(2'000'000, "\r\n");
    for (std::size_t at = 7; at < nuls.size(); at += 40'009) nuls[at] = '\0';
    std::string nulFirst = std::string(1, '\0') + "O1\r\n" + std::string(1200, '7') +
                           "\r\nX1.5\r\r\nX\r\0\nX2" + std::string(499, 'A') + "\r\n\0\0\nX3\r";
    nulFirst += Programs(600'000, "\n");
    return {
        {"CR LF", Programs(100'000, "\r\n")},
        {"LF", Programs(100'000, "\n")},
        {"lone CR", Programs(100'000, "\r")},
        {"mixed ends", "O1\rX1.\n\nX2\r\n\r\rO2\n\rX3"},
        {"last line without its end", "O1\nX1.25\nX-2."},
        {"NULs inside", "O1\0\nX1\0.5\r\0\nX\0\0" "2\n"},
        {"NULs across several MB", nuls},
        {"starts with NUL, Yes", nulFirst, true},
        {"starts with NUL, No", nulFirst, false},
        {"starts with NUL, ends with CR", std::string("\0O1\r\nX1.\r", 10), true},
        {"empty, Yes", "", true},
        {"empty, No", "", false},
        {"lines longer than a block", AcrossTheBlockEdge()},
        {"several MB", Programs(5'000'000, "\r\n")},
    };
}

struct Outputs {
    ToolResult split, doubled, joined;
    std::map<std::string, std::string> files;  // split files by name
    std::string doubledBytes, joinedBytes;
    int questions = 0;
};

// What the tools give for the text the view loads, written here as the
// earlier whole-text code wrote it.
Outputs FromTheView(const fs::path& folder, bool yes) {
    Outputs out;
    Answering messages(yes);
    const SplitOptions options{true, true, true};
    const std::string text = LoadFileIntoView(folder.string(), "SRC.NC", messages).text;
    out.split = SplitPrograms(text, options, ".NC", [&](const std::string& name, std::string_view b) {
        out.files[name] = std::string(b);
        return Status::Ok();
    });
    out.doubled = DoubleAxis(text, 'X', out.doubledBytes);
    const std::string tail = LoadFileIntoView(folder.string(), "TAIL.NC", messages).text;
    AppendLines(out.joinedBytes, text);
    AppendLines(out.joinedBytes, tail);
    out.questions = messages.questions;
    return out;
}

Outputs Streamed(const fs::path& folder, bool yes) {
    Outputs out;
    Answering messages(yes);
    const fs::path dest = folder / "split";
    fs::create_directory(dest);
    out.split = SplitIntoFolder(folder / "SRC.NC", {true, true, true}, ".NC", dest, messages);
    for (const auto& entry : fs::directory_iterator(dest)) {
        out.files[entry.path().filename().string()] = test::ReadFileBytes(entry.path());
    }
    out.doubled = DoubleAxisIntoFile('X', folder, "SRC.NC", "SRC_2.NC", messages);
    if (fs::exists(folder / "SRC_2.NC")) out.doubledBytes = test::ReadFileBytes(folder / "SRC_2.NC");
    out.joined = JoinFiles(folder, {"SRC.NC", "TAIL.NC"}, "ALL.NC", messages);
    out.joinedBytes = test::ReadFileBytes(folder / "ALL.NC");
    out.questions = messages.questions;
    return out;
}

TEST(StreamedToolsTest, GiveTheBytesOfTheWholeText) {
    for (const StreamCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        test::TempDir folder;
        test::WriteFileBytes(folder / "SRC.NC", c.bytes);
        test::WriteFileBytes(folder / "TAIL.NC", "O9\nX1.\n");
        const Outputs expected = FromTheView(folder.path(), c.yes);
        const Outputs got = Streamed(folder.path(), c.yes);

        EXPECT_EQ(got.split.outcome, expected.split.outcome) << got.split.message;
        EXPECT_EQ(got.split.count, expected.split.count);
        EXPECT_EQ(got.files.size(), expected.files.size());
        EXPECT_TRUE(got.files == expected.files);
        EXPECT_EQ(got.doubled.outcome, expected.doubled.outcome) << got.doubled.message;
        EXPECT_EQ(got.doubled.message, expected.doubled.message);
        EXPECT_TRUE(got.doubledBytes == expected.doubledBytes);
        EXPECT_EQ(got.joined.outcome, ToolOutcome::Done) << got.joined.message;
        EXPECT_EQ(got.joinedBytes.size(), expected.joinedBytes.size());
        EXPECT_TRUE(got.joinedBytes == expected.joinedBytes);
        // Each of the three tools asks about the source once, as a load does.
        EXPECT_EQ(got.questions, expected.questions * 3);
    }
}

}  // namespace
}  // namespace wexal
