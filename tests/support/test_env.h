#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "support/test_paths.h"

namespace wexal::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets (or, with nullptr, removes) an environment variable for the life of
// the object and restores the old state afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A pseudo-terminal pair; the slave stands in for a serial port.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return !slave_.empty(); }
    int master() const { return master_; }
    // Hangs the line up under whoever holds the slave open.
    void CloseMaster();
    const std::string& slave() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

// Runs body in a child process and returns the text it returned. A body
// still running after `seconds` (a hang guard, never a timing check) is
// killed: nullopt, as for one that crashed.
std::optional<std::string> ResultInChild(const std::function<std::string()>& body,
                                         unsigned seconds = 30);

// An absolute path on the OS the test runs on, from a POSIX one: "/srv/nc"
// stays as it is on POSIX and is "C:\\srv\\nc" on Windows.
std::string AbsolutePath(std::string_view posixPath);

// A second name for the file: a symbolic link, or on Windows, where a
// program may not make one, a hard link.
void MakeSecondName(const std::filesystem::path& target, const std::filesystem::path& name);

// Renames from over to, as editors save. Windows refuses while to is open,
// and the open file is then simply kept; on POSIX a failure throws.
void RenameOverOpenFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether this is the Windows build running under Wine, whose file system
// lacks a few things Windows has (a deleted file's pending deletion).
bool RunningUnderWine();

// Sets the file's modification time, since the epoch.
void SetModifiedTime(const std::filesystem::path& path, std::chrono::nanoseconds sinceEpoch);

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace wexal::test
