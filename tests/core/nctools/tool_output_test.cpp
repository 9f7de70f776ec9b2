#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>

#include "nctools/axis_double.h"
#include "nctools/concatenate.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

// A link under the output's name, to a file outside the folder: the tool puts
// its output in the link's place and leaves the outside file as it was.
TEST(ToolOutputTest, ALinkUnderTheOutputNameIsReplacedNeverWrittenThrough) {
    test::ScriptedMessages messages;
    struct Case {
        const char* tool;
        const char* output;
        std::function<ToolResult(const fs::path& folder)> run;
        std::string bytes;
    };
    const Case cases[] = {
        {"H", "A_2.NC",
         [&](const fs::path& folder) {
             return DoubleAxisIntoFile('X', folder, "A.NC", "A_2.NC", messages);
         },
         "X2.0\r\nY2\r\n"},
        {"K", "ALL.NC",
         [&](const fs::path& folder) {
             return JoinFiles(folder, {"B.NC", "A.NC"}, "ALL.NC", messages);
         },
         "O2\r\nX1.\r\nY2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        test::TempDir folder;
        test::TempDir outside;
        test::WriteFileBytes(folder / "A.NC", "X1.\nY2\n");
        test::WriteFileBytes(folder / "B.NC", "O2\n");
        test::WriteFileBytes(outside / "victim", "outside\n");
        fs::create_symlink(outside / "victim", folder / c.output);

        const ToolResult result = c.run(folder.path());
        EXPECT_EQ(result.outcome, ToolOutcome::Done) << result.message;
        EXPECT_EQ(test::ReadFileBytes(outside / "victim"), "outside\n");
        EXPECT_EQ(fs::symlink_status(folder / c.output).type(), fs::file_type::regular);
        EXPECT_EQ(test::ReadFileBytes(folder / c.output), c.bytes);
        // Nothing else: no temporary file is left behind.
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 3);
    }
    EXPECT_TRUE(messages.shown().empty());
}

}  // namespace
}  // namespace wexal
