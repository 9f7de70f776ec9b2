#include "platform/launch_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/error_text.h"
#include "platform/path_rules.h"

extern char** environ;

namespace wexal {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsFileNotFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    return IsFileNotFolder(path) && ::access(path.c_str(), X_OK) == 0;
}

// Frees the process table entry of a started program when it ends. Waiting
// for this one pid leaves every other child to whoever started it.
void ReapWhenDone(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the entry stays until this program ends,
        // which is better than failing a start that has happened.
    }
}

Status CannotStart(std::string_view program, int error) {
    return Status::Error(PathRules::FileName(program) + "を起動できません。\n" +
                         SystemErrorText(error));
}

// posix_spawn's attributes for a program of its own: a new session, an
// empty signal mask and every signal at its default.
class SpawnSetup {
public:
    SpawnSetup() {
        ok_ = ::posix_spawnattr_init(&attr_) == 0;
        if (!ok_) return;
        filesOk_ = ::posix_spawn_file_actions_init(&files_) == 0;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
        flags |= POSIX_SPAWN_SETSID;
#else
        flags |= POSIX_SPAWN_SETPGROUP;
#endif
        ::posix_spawnattr_setsigmask(&attr_, &none);
        ::posix_spawnattr_setsigdefault(&attr_, &all);
        ::posix_spawnattr_setflags(&attr_, flags);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // Descriptors opened without close-on-exec (by a library, say) would
        // keep a port or the instance lock held for as long as the child runs.
        if (filesOk_) ::posix_spawn_file_actions_addclosefrom_np(&files_, 3);
#endif
    }
    ~SpawnSetup() {
        if (filesOk_) ::posix_spawn_file_actions_destroy(&files_);
        if (ok_) ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool ok() const { return ok_; }
    const posix_spawnattr_t* attr() const { return &attr_; }
    const posix_spawn_file_actions_t* files() const { return filesOk_ ? &files_ : nullptr; }

private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t files_{};
    bool ok_ = false;
    bool filesOk_ = false;
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        std::string word;
        while (i < line.size() && !IsBlank(line[i])) {
            const char c = line[i++];
            if (c != '"' && c != '\'') {
                word += c;
                continue;
            }
            const std::size_t close = line.find(c, i);
            const std::size_t end = close == std::string_view::npos ? line.size() : close;
            word.append(line.substr(i, end - i));
            i = close == std::string_view::npos ? end : close + 1;
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<std::string> FindProgram(std::string_view program) {
    if (program.empty()) return std::nullopt;
    const std::string name(program);
    if (name.find('/') != std::string::npos) {
        if (IsFileNotFolder(name)) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    const std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = std::min(folders.find(':', start), folders.size());
        std::string folder(folders.substr(start, colon - start));
        if (folder.empty()) folder = ".";
        const std::string candidate = PathRules::Join(folder, name);
        if (IsExecutableFile(candidate)) return candidate;
        start = colon + 1;
    }
    return std::nullopt;
}

Status StartProgram(const std::vector<std::string>& argv, pid_t* started) {
    if (argv.empty() || argv.front().empty()) return CannotStart("", ENOENT);
    const std::optional<std::string> file = FindProgram(argv.front());
    if (!file) return CannotStart(argv.front(), ENOENT);

    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    pointers.reserve(words.size() + 1);
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.ok()) return CannotStart(argv.front(), ENOMEM);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, file->c_str(), setup.files(), setup.attr(), pointers.data(), environ);
    if (spawned != 0) return CannotStart(argv.front(), spawned);
    ReapWhenDone(pid);
    if (started != nullptr) *started = pid;
    return Status::Ok();
}

Status OpenWithAssociation(const std::string& path) {
    // A relative name that starts with a dash would read as an option.
    const std::string document = !path.empty() && path.front() == '-' ? "./" + path : path;
    return StartProgram({"xdg-open", document});
}

Status LaunchProgram(const std::string& program, const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return StartProgram(argv);
    }
    const std::optional<std::string> file = FindProgram(program);
    if (file && IsExecutableFile(*file)) return StartProgram({program});
    return OpenWithAssociation(file.value_or(program));
}

}  // namespace wexal
