#include "support/test_env.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/os_file.h"

namespace wexal::test {

namespace {

// Windows does not delete a read-only file, which tests leave behind on
// purpose: such files are made writable first.
void RemoveTree(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec) return;
    // Read-only entries first get their write bit back; an entry that goes
    // meanwhile ends the walk instead of throwing.
    for (std::filesystem::recursive_directory_iterator it(path, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path, ec);
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("wexal-test-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++));
    RemoveTree(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() { RemoveTree(path_); }

namespace {

void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    // The C runtime's own copy, which getenv reads; "" removes the variable.
    ::_putenv_s(name, value ? value : "");
#else
    if (value) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
#endif
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_.c_str(), old_ ? old_->c_str() : nullptr); }

#ifndef _WIN32
PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
        if (const char* name = ::ptsname(master_)) slave_ = name;
    }
}

PseudoTerminal::~PseudoTerminal() {
    if (master_ >= 0) ::close(master_);
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

std::optional<std::string> ResultInChild(const std::function<std::string()>& body,
                                         unsigned seconds) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::alarm(seconds);  // SIGALRM's default action ends the child
        std::string result;
        try {
            result = body();
        } catch (...) {
            ::_exit(1);  // never back into the test runner
        }
        std::string_view rest = result;
        while (!rest.empty()) {
            const ssize_t n = ::write(pipeFds[1], rest.data(), rest.size());
            if (n <= 0) ::_exit(1);
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        result.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return result;
}

#endif

std::string AbsolutePath(std::string_view posixPath) {
#ifdef _WIN32
    std::string path = "C:" + std::string(posixPath);
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
#else
    return std::string(posixPath);
#endif
}

void MakeSecondName(const std::filesystem::path& target, const std::filesystem::path& name) {
#ifdef _WIN32
    std::filesystem::create_hard_link(name.parent_path() / target, name);
#else
    std::filesystem::create_symlink(target, name);
#endif
}

void RenameOverOpenFile(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    std::error_code refused;
    std::filesystem::rename(from, to, refused);
#else
    std::filesystem::rename(from, to);
#endif
}

bool RunningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

void SetModifiedTime(const std::filesystem::path& path, std::chrono::nanoseconds sinceEpoch) {
    std::filesystem::last_write_time(
        path, std::chrono::file_clock::from_sys(
                  std::chrono::sys_time<std::chrono::nanoseconds>(sinceEpoch)));
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace wexal::test
