// ncpath run as the operator's scripts run it: the real binary, its output
// read back as text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/debian_samples.h"
#include "support/test_env.h"

extern char** environ;

namespace wexal {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Finished {
    bool timedOut = false;
    bool signalled = false;
    int code = -1;
    std::string out;
    std::string err;
    long maxRssKb = 0;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs argv with its output in files of dir, killed after limit.
Finished RunProgram(const std::vector<std::string>& args, const fs::path& dir,
                    std::chrono::seconds limit) {
    Finished done;
    const fs::path out = dir / "stdout.txt";
    const fs::path err = dir / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return done;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t got = wait4(pid, &status, WNOHANG, &usage);
        if (got == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            done.timedOut = true;
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    done.signalled = WIFSIGNALED(status);
    done.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    done.maxRssKb = usage.ru_maxrss;
    done.out = ReadAll(out);
    done.err = ReadAll(err);
    return done;
}

Finished Ncpath(const fs::path& file, const fs::path& dir, std::vector<std::string> more = {},
                std::chrono::seconds limit = 60s) {
    std::vector<std::string> args = {test::BinDir() + "/ncpath", file.string()};
    args.insert(args.end(), more.begin(), more.end());
    return RunProgram(args, dir, limit);
}

bool IsFixed(const char*& at) {
    if (*at == '-') ++at;
    const char* digits = at;
    while (*at >= '0' && *at <= '9') ++at;
    if (at == digits || *at != '.') return false;
    ++at;
    for (int i = 0; i < 4; ++i, ++at) {
        if (*at < '0' || *at > '9') return false;
    }
    return true;
}

bool Expect(const char*& at, const char* word) {
    const std::size_t n = std::strlen(word);
    if (std::strncmp(at, word, n) != 0) return false;
    at += n;
    return true;
}

// What the output says when it reads as its format: the moves counted, the
// summary lines; ok false at the first line that does not.
struct Parsed {
    bool ok = false;
    std::string bad;
    std::uint64_t moveLines = 0;
    std::uint64_t moves = 0;
    std::uint64_t notUnderstood = 0;
    std::vector<std::string> listed;
};

Parsed Parse(const std::string& out) {
    Parsed parsed;
    std::istringstream lines(out);
    std::string line;
    int summary = 0;  // summary lines seen, in their order
    static const char* const kSummary[] = {"# extents ", "# moves ", "# questionable ",
                                           "# units ", "# not understood "};
    while (std::getline(lines, line)) {
        const char* at = line.c_str();
        bool good = false;
        if (summary == 0 && *at == 'N') {
            ++at;
            const char* digits = at;
            while (*at >= '0' && *at <= '9') ++at;
            const bool arc = std::strncmp(at, " CW ", 4) == 0 || std::strncmp(at, " CCW ", 5) == 0;
            good = at != digits &&
                   (Expect(at, " RAPID") || Expect(at, " FEED") || Expect(at, " CW") ||
                    Expect(at, " CCW")) &&
                   Expect(at, " X") && IsFixed(at) && Expect(at, " Y") && IsFixed(at) &&
                   Expect(at, " Z") && IsFixed(at);
            if (good && arc) {
                good = Expect(at, " CX") && IsFixed(at) && Expect(at, " CY") && IsFixed(at) &&
                       Expect(at, " CZ") && IsFixed(at) &&
                       (Expect(at, " G17") || Expect(at, " G18") || Expect(at, " G19"));
            }
            good = good && *at == '\0';
            ++parsed.moveLines;
        } else if (summary < 5 && line.rfind(kSummary[summary], 0) == 0) {
            const std::string rest = line.substr(std::strlen(kSummary[summary]));
            if (summary == 1) parsed.moves = std::stoull(rest);
            if (summary == 4) parsed.notUnderstood = std::stoull(rest);
            ++summary;
            good = true;
        } else if (summary == 5 && line.rfind("# N", 0) == 0) {
            parsed.listed.push_back(line.substr(2));
            good = true;
        }
        if (!good) {
            parsed.bad = line.substr(0, 200);
            return parsed;
        }
    }
    parsed.ok = summary == 5 && parsed.moves == parsed.moveLines &&
                parsed.listed.size() == std::min<std::uint64_t>(parsed.notUnderstood, 1000);
    if (!parsed.ok) parsed.bad = "(summary or counts)";
    return parsed;
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(NcpathTest, PrintsEveryMoveAndTheSummary) {
    test::TempDir dir;
    Write(dir / "P.NC",
          "%\n"
          "O0001\n"
          "G21 G90 G00 X-0.00001 Y0 Z5.\n"
          "G01 Z-1. F100\n"
          "G02 X10. Y0 R5.\n"
          "G18 G03 X0 Z-1. I-5. K0\n"
          "G17 G01 X0\n"
          "M98 P10\n"
          "G99 G81 X20. Y0 Z-3. R1.\n"
          "%\n");
    const Finished run = Ncpath(dir / "P.NC", dir.path());
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              "N3 RAPID X0.0000 Y0.0000 Z5.0000\n"
              "N4 FEED X0.0000 Y0.0000 Z-1.0000\n"
              "N5 CW X10.0000 Y0.0000 Z-1.0000 CX5.0000 CY0.0000 CZ-1.0000 G17\n"
              "N6 CCW X0.0000 Y0.0000 Z-1.0000 CX5.0000 CY0.0000 CZ-1.0000 G18\n"
              "N7 FEED X0.0000 Y0.0000 Z-1.0000\n"
              "N9 RAPID X20.0000 Y0.0000 Z-1.0000\n"
              "N9 RAPID X20.0000 Y0.0000 Z1.0000\n"
              "N9 FEED X20.0000 Y0.0000 Z-3.0000\n"
              "N9 RAPID X20.0000 Y0.0000 Z1.0000\n"
              "# extents X0.0000 20.0000 Y0.0000 5.0000 Z-6.0000 5.0000\n"
              "# moves 9\n"
              "# questionable 1\n"
              "# units mm\n"
              "# not understood 1\n"
              "# N8 M98\n");
    const Parsed parsed = Parse(run.out);
    EXPECT_TRUE(parsed.ok) << parsed.bad;
}

TEST(NcpathTest, MissingFileExitsOneWithAMessage) {
    test::TempDir dir;
    const Finished run = Ncpath(dir / "NONE.NC", dir.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("ファイルを読み込めません"), std::string::npos) << run.err;
}

// Files that are no program end soon, with what they held counted and a
// bounded memory.
TEST(NcpathTest, BinaryAndLineEndlessFilesEndWithABoundedResult) {
    test::TempDir dir;
    std::string binary(4 << 20, '\0');
    std::uint32_t seed = 12345;
    for (char& c : binary) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    binary[0] = 'G';
    Write(dir / "BIN.NC", binary);
    Write(dir / "NUL.NC", std::string("\0G01 X1.\n", 9));
    {
        std::ofstream endless(dir / "ENDLESS.NC", std::ios::binary);
        const std::string block(1 << 20, 'X');
        for (int i = 0; i < 256; ++i) endless << block;
    }

    const Finished bin = Ncpath(dir / "BIN.NC", dir.path(), {}, 30s);
    EXPECT_FALSE(bin.timedOut);
    EXPECT_EQ(bin.code, 0) << bin.err;
    const Parsed parsedBin = Parse(bin.out);
    EXPECT_TRUE(parsedBin.ok) << parsedBin.bad;
    EXPECT_GT(parsedBin.notUnderstood, 0u);
    EXPECT_LE(parsedBin.listed.size(), 1000u);

    // A file that starts with NUL gets the safe answer: nothing read.
    const Finished nul = Ncpath(dir / "NUL.NC", dir.path(), {}, 30s);
    EXPECT_EQ(nul.code, 0) << nul.err;
    EXPECT_NE(nul.out.find("# extents none\n# moves 0\n"), std::string::npos) << nul.out;

    const Finished endless = Ncpath(dir / "ENDLESS.NC", dir.path(), {}, 60s);
    EXPECT_FALSE(endless.timedOut);
    EXPECT_EQ(endless.code, 0) << endless.err;
    EXPECT_EQ(endless.out,
              "# extents none\n# moves 0\n# questionable 0\n# units mm\n"
              "# not understood 1\n# N1 行が長すぎます\n");
    EXPECT_LT(endless.maxRssKb, 64 * 1024) << "a 256 MB line held in memory?";
}

// Debian's sample programs of a CNC controller, fetched as the test runs:
// every one is read to its end, without a crash, into output of the format.
TEST(NcpathTest, DebianSampleProgramsAllRead) {
    const test::SamplePrograms& debian = test::DebianSamplePrograms();
    if (!debian.skip.empty()) GTEST_SKIP() << debian.skip;
    ASSERT_EQ(debian.error, "");
    const std::vector<fs::path>& samples = debian.files;
    test::TempDir dir;
    ASSERT_GE(samples.size(), 100u) << "the package no longer ships its samples";
    std::uint64_t moves = 0;
    std::uint64_t notUnderstood = 0;
    for (const fs::path& sample : samples) {
        SCOPED_TRACE(sample.string());
        const Finished run = Ncpath(sample, dir.path(), {}, 20s);
        ASSERT_FALSE(run.timedOut);
        ASSERT_FALSE(run.signalled);
        ASSERT_EQ(run.code, 0) << run.err;
        const Parsed parsed = Parse(run.out);
        ASSERT_TRUE(parsed.ok) << parsed.bad;
        moves += parsed.moves;
        notUnderstood += parsed.notUnderstood;
    }
    RecordProperty("samples", static_cast<int>(samples.size()));
    std::printf("%zu samples of %s: %" PRIu64 " moves, %" PRIu64 " lines not understood\n",
                samples.size(), debian.package.c_str(), moves, notUnderstood);
    EXPECT_GT(moves, 0u);
}

}  // namespace
}  // namespace wexal
