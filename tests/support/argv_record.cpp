#include "support/argv_record.h"

#include <cstdlib>
#include <thread>

namespace wexal::test {

ArgvRecord::ArgvRecord() : file_(dir_ / "argv") {
    recordEnv_ = std::make_unique<ScopedEnv>("WEXAL_ARGV_RECORD", file_.c_str());
    const char* path = std::getenv("PATH");
    const std::string searched =
        TestDataDir() + "/fake_bin:" + (path != nullptr ? path : "/usr/bin:/bin");
    pathEnv_ = std::make_unique<ScopedEnv>("PATH", searched.c_str());
}

std::string ArgvRecord::Helper() { return TestDataDir() + "/record_argv"; }

bool ArgvRecord::Written() const { return std::filesystem::exists(file_); }

std::optional<std::vector<std::string>> ArgvRecord::Wait(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!Written()) {
        if (std::chrono::steady_clock::now() > until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string bytes = ReadFileBytes(file_);
    std::filesystem::remove(file_);
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t nul = bytes.find('\0'); nul != std::string::npos;
         nul = bytes.find('\0', start)) {
        words.push_back(bytes.substr(start, nul - start));
        start = nul + 1;
    }
    return words;
}

}  // namespace wexal::test
