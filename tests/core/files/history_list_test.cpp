#include "files/history_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "serial/transfer_log.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using Entries = std::vector<std::string>;

Entries Numbered(int count) {
    Entries entries;
    for (int i = 1; i <= count; ++i) entries.push_back("E" + std::to_string(i));
    return entries;
}

TEST(HistoryListTest, ConfirmPutsInFrontDropsTheDuplicateAndKeepsTwenty) {
    struct Case {
        Entries before;
        std::string confirmed;
        Entries after;
    };
    Entries twentyNew = Numbered(19);
    twentyNew.insert(twentyNew.begin(), "NEW");
    Entries fifthFirst = Numbered(20);
    fifthFirst.erase(fifthFirst.begin() + 4);
    fifthFirst.insert(fifthFirst.begin(), "E5");
    const Case cases[] = {
        {{}, "/nc", {"/nc"}},
        {{"a", "b", "a"}, "a", {"a", "b", "a"}},  // only the first later duplicate goes
        {{"A"}, "a", {"a", "A"}},                 // case-sensitive
        {Numbered(20), "NEW", twentyNew},
        {Numbered(20), "E5", fifthFirst},
    };
    for (const Case& c : cases) {
        Entries entries = c.before;
        ConfirmHistoryEntry(entries, c.confirmed);
        EXPECT_EQ(entries, c.after) << c.confirmed;
    }
}

TEST(HistoryListTest, WritesCp932WithCrLfKeepsEveryEntryAndReadsAnyLineEnd) {
    test::TempDir dir;
    const auto path = dir / kNameHistoryFile;
    EXPECT_FALSE(ReadHistoryList(path).has_value());
    // What cp932 lacks is kept in the settings files' escaped form, never dropped.
    const Entries entries = {"ﾌﾟﾛｸﾞﾗﾑ", "/home/nc/加工", "/tmp/Müller", "\xF0\x9F\x98\x80"};
    ASSERT_TRUE(WriteHistoryList(path, entries));
    EXPECT_EQ(test::ReadFileBytes(path),
              "\xCC\xDF\xDB\xB8\xDE\xD7\xD1\r\n/home/nc/\x89\xC1\x8D\x48\r\n"
              "%u8%/tmp/M%C3%BCller\r\n%u8%%F0%9F%98%80\r\n");
    EXPECT_EQ(ReadHistoryList(path), entries);
    test::WriteFileBytes(path, "a\nb\rc\r\nd");
    EXPECT_EQ(ReadHistoryList(path), (Entries{"a", "b", "c", "d"}));
}

// What is no history list or log is never opened: the read and the write
// return at once (in a child, under a hang guard) and leave it as it was.
TEST(HistoryListTest, AFifoADeviceAFolderOrAHugeFileIsNeitherWaitedForNorReplaced) {
    namespace fs = std::filesystem;
    using Use = std::function<std::string(const fs::path&)>;  // what was read, then the failure
    const Use history = [](const fs::path& p) {
        return (ReadHistoryList(p) ? "read" : "") + WriteHistoryList(p, {"/nc"}).message;
    };
    const Use log = [](const fs::path& p) {
        const TransferLog file(p);
        return file.ReadForView() + file.Append("送信\n").message;
    };
    const struct {
        const char* name;
        Use use;
        std::string failure;
    } files[] = {{kPathHistoryFile, history, "ファイルに書き込めません。"},
                 {kNameHistoryFile, history, "ファイルに書き込めません。"},
                 {kFindHistoryFile, history, "ファイルに書き込めません。"},
                 {"Wexal.log", log, "通信ログに書き込めません。"}};
    const std::string huge(5u << 20, '\n');
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        fs::file_type type;
        const char* reason;
    } kinds[] = {
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); },
         fs::file_type::fifo, "通常のファイルではありません。"},
        {"a link to a device that never ends",
         [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, fs::file_type::symlink,
         "シンボリックリンクの先が通常のファイルではありません。"},
        {"a folder", [](const fs::path& p) { fs::create_directory(p); }, fs::file_type::directory,
         "フォルダーです。"},
        {"5 MB", [&](const fs::path& p) { test::WriteFileBytes(p, huge); }, fs::file_type::regular,
         "ファイルが大きすぎます。"},
    };
    for (const auto& file : files) {
        for (const auto& kind : kinds) {
            const bool oversized = kind.type == fs::file_type::regular;
            // The log is only ever appended to, whatever its size.
            if (oversized && file.name == std::string_view("Wexal.log")) continue;
            SCOPED_TRACE(std::string(file.name) + ", " + kind.what);
            test::TempDir dir;
            const fs::path path = dir / file.name;
            kind.make(path);
            // A FIFO held open at both ends: any byte written would wait in it.
            const bool fifo = kind.type == fs::file_type::fifo;
            const int held = fifo ? ::open(path.c_str(), O_RDWR | O_NONBLOCK) : -1;
            const auto result = test::ResultInChild([&] { return file.use(path); });
            ASSERT_TRUE(result.has_value()) << "hung or crashed";
            EXPECT_EQ(*result, file.failure + "\n" + path.string() + "\n" + kind.reason);
            EXPECT_EQ(fs::symlink_status(path).type(), kind.type);
            if (fifo) {
                char byte = 0;
                EXPECT_EQ(::read(held, &byte, 1), -1);
                ::close(held);
            }
            if (oversized) {
                EXPECT_EQ(test::ReadFileBytes(path), huge);
            }
        }
    }
}

}  // namespace
}  // namespace wexal
