#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/os_file.h"
#include "support/test_env.h"

// The Windows side of replacing a file whole: what it refuses leaves the file
// as it was and says why, and no temporary file is left either way.
namespace wexal {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(PathText(entry.path().filename()));
    }
    return names;
}

TEST(FileLayerWindows, ReplacesWholeOrRefusesAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const fs::path japanese = dir.path() / Utf8Path("加工.NC");
    const fs::path readOnly = dir.path() / Utf8Path("読取専用.NC");
    const fs::path folder = dir / "FOLDER.NC";
    test::WriteFileBytes(japanese, "old");
    test::WriteFileBytes(readOnly, "kept");
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::remove);
    fs::create_directory(folder);

    const std::string binary("O1\0\r\n\xFF\x1A", 7);
    ASSERT_TRUE(WriteFileAtomically(japanese, binary)) << "a name in Japanese";
    EXPECT_EQ(test::ReadFileBytes(japanese), binary);
    EXPECT_EQ(ReadRegularFile(japanese, 1 << 20).bytes, binary);

    struct Refusal {
        fs::path path;
        const char* reason;
    };
    const Refusal refusals[] = {
        {readOnly, "読み取り専用のファイルです。"},
        {folder, "フォルダー"},
        {dir / "MISSING" / "X.NC", ""},
    };
    for (const Refusal& refusal : refusals) {
        const Status status = WriteFileAtomically(refusal.path, "new");
        EXPECT_FALSE(status) << PathText(refusal.path);
        EXPECT_NE(status.message.find("ファイルに書き込めません。\n" + PathText(refusal.path)),
                  std::string::npos)
            << status.message;
        EXPECT_NE(status.message.find(refusal.reason), std::string::npos) << status.message;
    }
    EXPECT_EQ(test::ReadFileBytes(readOnly), "kept");
    EXPECT_EQ(ReadRegularFile(folder, 1 << 20).kind, FileLookup::Kind::Refused);
    EXPECT_EQ(Names(dir.path()).size(), 3u) << "a temporary file was left";
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
}

// A temporary file of a writer that has ended is cleared away at the next
// write; the running program's own, and names that only look alike, stay.
TEST(FileLayerWindows, StaleTemporaryFilesOfEndedWritersAreCleared) {
    test::TempDir dir;
    const fs::path target = dir / "Wexal.INI";
    // No process has so high an id.
    const std::string ended = ".Wexal.INI.tmp2147483644_0";
    const std::string ours = ".Wexal.INI.tmp" + std::to_string(CurrentProcessId()) + "_7";
    const std::string alike = ".Wexal.INI.tmp2147483644_0.bak";
    for (const std::string& name : {ended, ours, alike}) test::WriteFileBytes(dir / name, "x");

    RemoveStaleTemporaryFiles(target);
    EXPECT_FALSE(fs::exists(dir / ended));
    EXPECT_TRUE(fs::exists(dir / ours));
    EXPECT_TRUE(fs::exists(dir / alike));

    // Ten minutes old is stale whoever wrote it.
    test::SetModifiedTime(dir / ours, std::chrono::seconds(std::time(nullptr) - 11 * 60));
    RemoveStaleTemporaryFiles(target);
    EXPECT_FALSE(fs::exists(dir / ours));
    EXPECT_TRUE(fs::exists(dir / alike));
}

}  // namespace
}  // namespace wexal
