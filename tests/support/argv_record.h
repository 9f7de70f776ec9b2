#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace wexal::test {

// The helper program tests/data/record_argv, which writes the name it was
// started under and its arguments into a file, and tests/data/fake_bin,
// whose xdg-open is that helper. The object points the helper at a file of
// its own and puts fake_bin first on PATH, for its life.
class ArgvRecord {
public:
    ArgvRecord();

    static std::string Helper();
    // What the helper wrote once it has run: its name, then each argument.
    // Read and removed, so the next start writes anew; nullopt when nothing
    // came within the limit.
    std::optional<std::vector<std::string>> Wait(
        std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Whether a start has written something by now.
    bool Written() const;

private:
    TempDir dir_;
    std::filesystem::path file_;
    std::unique_ptr<ScopedEnv> recordEnv_;
    std::unique_ptr<ScopedEnv> pathEnv_;
};

}  // namespace wexal::test
