// The real Wexal sends to ncsim on a pseudo-terminal at 19200 baud: the
// machine sees the bytes at the line's rate, its XOFF level holds within the
// ten bytes Wexal may write after it, and the report's time is the line's.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "support/ncsim_process.h"
#include "support/test_env.h"
#include "support/wexal_process.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::map<std::string, long long> Numbers(const std::filesystem::path& report) {
    std::map<std::string, long long> values;
    std::ifstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        try {
            values[line.substr(0, eq)] = std::stoll(line.substr(eq + 1));
        } catch (const std::exception&) {
        }
    }
    return values;
}

TEST(SendLinePaceTest, TheMachineSeesTheLineRateAndItsXoffLevelHolds) {
    struct Row {
        const char* name;
        const char* drain;  // the machine's own rate, or none: the line's
        double takenPerSecond;
        bool held;  // the machine has to hold the line with XOFF
    };
    const Row rows[] = {{"machine at the line rate", nullptr, 1920, false},
                        {"machine at half the line rate", "960", 960, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir program, runtime, nc;
        std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
        test::WriteFileBytes(program / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\n"
                             "StartChar=N\nEndChar=Y\nEndChar_Type=1\n");
        std::string text = "%\nO4000\n";
        std::string decoded = "\nO4000\n";
        for (int n = 1; text.size() < 4000; ++n) {
            const std::string line = "N" + std::to_string(n) + "G01X" + std::to_string(n) + ".5F300";
            text += line + "\n";
            decoded += line + "\n";
        }
        text += "M30\n%\n";
        decoded += "M30\n\n%";
        const auto file = nc / "O4000.NC";
        test::WriteFileBytes(file, text);

        std::vector<std::string> args = {"receive", "--line", "19200,8,N,1", "--code", "iso",
                                         "--dc1", "--xoff-at", "200", "--xon-at", "50", "--text",
                                         (nc / "got.nc").string(), "--report",
                                         (nc / "report.txt").string()};
        if (row.drain) args.insert(args.end(), {"--drain", row.drain});
        test::NcsimProcess sim;
        ASSERT_TRUE(sim.Start(args));
        test::WexalProcess wexal(program.path(), runtime.path());
        const auto start = Clock::now();
        ASSERT_TRUE(wexal.Start(sim.slave(), {"S=" + file.string(), "END"}));
        EXPECT_EQ(wexal.WaitExit(60s), std::optional<int>(0)) << wexal.Stderr();
        const double wexalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_EQ(sim.WaitExit(30s), std::optional<int>(0));

        EXPECT_EQ(test::ReadFileBytes(nc / "got.nc"), decoded);
        std::map<std::string, long long> report = Numbers(nc / "report.txt");
        const long long bytes = report["bytes_received"];
        // Every byte took its ten bits on the line; nothing reached the
        // machine faster than that, or faster than it takes bytes in.
        const double expected = static_cast<double>(bytes) / row.takenPerSecond;
        const double took = static_cast<double>(report["duration_ms"]) / 1000.0;
        EXPECT_GE(took, expected * 0.98) << "bytes " << bytes;
        EXPECT_LE(took, expected * 1.08) << "bytes " << bytes;
        // Wexal cannot be done before the line has carried its program.
        EXPECT_GE(wexalSeconds, static_cast<double>(bytes) / 1920 * 0.95);
        if (row.held) {
            EXPECT_GE(report["xoff_sent"], 1);
            EXPECT_GE(report["max_buffer_fill"], 200);
            EXPECT_LE(report["max_buffer_fill"], 200 + 12);
            EXPECT_LE(report["bytes_after_xoff"], 12);
        } else {
            EXPECT_EQ(report["xoff_sent"], 0);
            EXPECT_LE(report["max_buffer_fill"], 12);
        }
    }
}

}  // namespace
}  // namespace wexal
