#include "serial/received_data.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr std::string_view kReadOnly = "読み取り専用のファイルです。";
constexpr std::string_view kNotAFile = "通常のファイルではありません。";
// Copies of one program number, or fallback names of one second, tried
// before giving up.
constexpr int kMostCopies = 1000;

Status CreateFailure(const std::string& path, std::string_view reason) {
    return Status::Error("受信ファイルを作成できません。\n" + path + "\n" + std::string(reason));
}

Status CreateFailure(const std::string& path, int error) {
    return CreateFailure(path, SystemErrorText(error));
}

Status WriteFailure(const std::string& path, std::string_view reason) {
    return Status::Error("受信データを保存できません。\n" + path + "\n" + std::string(reason));
}

Status WriteFailure(const std::string& path, int error) {
    return WriteFailure(path, SystemErrorText(error));
}

// "*" and "?" in a name come from a mask such as "*.*"; such a file would
// never show in the list it was meant for.
Status CheckName(const std::string& path) {
    const std::string name = PathRules::FileName(path);
    if (name.find_first_of("*?") != std::string::npos || name.empty() || name == "." ||
        name == "..") {
        return CreateFailure(path, "この名前はファイル名に使えません。");
    }
    return Status::Ok();
}

// Why what stands under path must not be replaced by a received program, or
// nullopt: nothing there, a link (replaced itself, never followed), or a
// regular file the operator may write. The read-only attribute is honoured
// also for root, and a file this user may not write is not replaced by a
// rename either.
std::optional<std::string> WhyNotReplaceable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return SystemErrorText(errno);
    }
    if (S_ISLNK(info.st_mode)) return std::nullopt;
    if (S_ISDIR(info.st_mode)) return SystemErrorText(EISDIR);
    if (!S_ISREG(info.st_mode)) return std::string(kNotAFile);
    if ((info.st_mode & S_IWUSR) == 0) return std::string(kReadOnly);
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM)) {
        return SystemErrorText(errno);
    }
    return std::nullopt;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

// A file this receive saved already stands under path (by that name, or by
// another one that leads to the same file, as on a file system that ignores
// case).
bool SavedEarlier(const ReceivedData& data, const std::string& path) {
    if (std::find(data.completedFiles.begin(), data.completedFiles.end(), path) !=
        data.completedFiles.end()) {
        return true;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return false;
    const std::pair<dev_t, ino_t> id{info.st_dev, info.st_ino};
    return std::find(data.completedIds.begin(), data.completedIds.end(), id) !=
           data.completedIds.end();
}

// The folder a received program lands in must be a real one; a relative
// value would put it wherever the process happens to stand.
Status FolderFor(const Settings& settings, std::string& folder) {
    folder = settings.DirPath;
    if (!PathRules::IsAbsolute(folder)) {
        return CreateFailure(folder, "フォルダが正しくありません。");
    }
    return Status::Ok();
}

std::string FallbackName(const std::string& stamp, int n, const std::string& extension) {
    return (n == 1 ? stamp : stamp + "_" + std::to_string(n)) + extension;
}

Status CreateFallbackTarget(ReceivedData& data, const Settings& settings, std::time_t now) {
    std::string folder;
    if (Status ok = FolderFor(settings, folder); !ok) return ok;
    const std::string extension = MaskExtension(settings.Mask);
    const std::string stamp = FallbackFileName(now, "");
    // The name it will most likely have; taken for sure only at completion.
    std::string path;
    for (int n = 1; n <= kMostCopies; ++n) {
        path = PathRules::Join(folder, FallbackName(stamp, n, extension));
        if (!Exists(path) && !SavedEarlier(data, path)) break;
    }
    if (const int error = data.file.Create(folder); error != 0) return CreateFailure(path, error);
    data.target = path;
    data.fallbackTarget = path;
    data.fallbackStamp = stamp;
    data.fallbackExtension = extension;
    data.targetIsFallback = true;
    data.targetUnfinished = true;
    return Status::Ok();
}

// The fallback file never replaces a file: the name chosen at its start, or,
// when that has been taken since, the next free one. 0 or the errno.
int PlaceFallback(ReceivedData& data) {
    const std::string folder = PathRules::Parent(data.target);
    std::string name = PathRules::FileName(data.target);
    for (int n = 1; n <= kMostCopies; ++n) {
        if (n > 1) {
            name = FallbackName(data.fallbackStamp, n, data.fallbackExtension);
            if (name == PathRules::FileName(data.target)) continue;
        }
        const int error = data.file.Place(name, false);
        if (error == EEXIST) continue;
        if (error == 0) {
            data.target = PathRules::Join(folder, name);
            data.fallbackTarget = data.target;
        }
        return error;
    }
    return EEXIST;
}

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".Wexal-receive.tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// renameat2 with RENAME_NOREPLACE; where the file system cannot promise that,
// a hard link, which fails on an existing name just as well. 0 or the errno.
int RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) return errno;
    ::unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

}  // namespace

int UnfinishedFile::Create(const std::string& folder) {
    Discard();
    folder_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_) return errno;
    file_.Reset(::openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file_) return 0;
    // A file system without unnamed files: a hidden name of our own.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        file_.Reset(::openat(folder_.get(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file_) {
            temporary_ = name;
            return 0;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    folder_.Reset();
    return error;
}

int UnfinishedFile::Append(std::string_view bytes) {
    if (!file_) return EBADF;
    if (!WriteAll(file_.get(), bytes)) return errno;
    // A full disk may only show here; a program reported saved must be on the disk.
    if (::fdatasync(file_.get()) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

int UnfinishedFile::NameTemporary() {
    if (!temporary_.empty()) return 0;
    const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST &&
             ::linkat(file_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0)) {
            temporary_ = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

bool UnfinishedFile::TemporaryIsOurs() const {
    struct stat named {};
    struct stat opened {};
    return ::fstatat(folder_.get(), temporary_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(file_.get(), &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

int UnfinishedFile::Place(const std::string& name, bool replace) {
    if (!file_) return EBADF;
    if (!replace && temporary_.empty()) {
        // An unnamed file is linked straight to its name, which never replaces anything.
        const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
        if (::linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST &&
             ::linkat(file_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0)) {
            file_.Reset();
            ::fsync(folder_.get());
            folder_.Reset();
            return 0;
        }
        if (errno == EEXIST) return EEXIST;
    }
    if (const int error = NameTemporary(); error != 0) return error;
    // Someone else's file under our temporary name is never put in place.
    if (!TemporaryIsOurs()) return ESTALE;
    if (replace) {
        // The program takes the place of the old file, with its permissions.
        struct stat old {};
        if (::fstatat(folder_.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(old.st_mode)) {
            (void)::fchmod(file_.get(), old.st_mode & 07777);
        }
        if (::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name.c_str()) != 0) {
            return errno;
        }
    } else if (const int error = RenameNoReplace(folder_.get(), temporary_, name); error != 0) {
        return error;
    }
    temporary_.clear();
    file_.Reset();
    // Make the rename itself durable; the content is on the disk already.
    ::fsync(folder_.get());
    folder_.Reset();
    return 0;
}

void UnfinishedFile::Discard() {
    if (!temporary_.empty() && file_ && TemporaryIsOurs()) {
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
}

std::string UnfinishedFile::Abandon() {
    std::string name;
    if (file_ && NameTemporary() == 0) name = temporary_;
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
    return name;
}

std::pair<dev_t, ino_t> UnfinishedFile::Id() const {
    struct stat info {};
    if (!file_ || ::fstat(file_.get(), &info) != 0) return {0, 0};
    return {info.st_dev, info.st_ino};
}

void ReceivedView::Add(std::string line) {
    if (panel_) panel_->AddViewLine(line);
    lines_.push_back(std::move(line));
}

void ReceivedView::Clear() {
    lines_.clear();
    if (panel_) panel_->ClearView();
}

std::string ProgramFileName(std::string_view programLine, const Settings& settings,
                            int programCount, int copy) {
    std::string stem = ProgramNumberOf(programLine);
    std::string serial;
    if (settings.Add_No == "Y") {
        char digits[16];
        std::snprintf(digits, sizeof digits, "_%03d", programCount + 1);
        serial = digits;
    }
    if (copy > 1) serial += "_" + std::to_string(copy);
    const std::string extension = MaskExtension(settings.Mask);
    const std::size_t fixed = serial.size() + extension.size();
    if (stem.size() + fixed > kMaxFileNameBytes) {
        stem.resize(fixed < kMaxFileNameBytes ? kMaxFileNameBytes - fixed : 1);
    }
    return stem + serial + extension;
}

std::string FallbackFileName(std::time_t when, std::string_view extension) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    return std::string(stamp) + std::string(extension);
}

Status CreateNamedTarget(ReceivedData& data, const std::string& target) {
    data.named = true;
    data.target = target;
    data.targetIsFallback = false;
    if (Status named = CheckName(target); !named) return named;
    // The operator chose this name and agreed to replace the file, but only
    // with a complete program.
    if (std::optional<std::string> why = WhyNotReplaceable(target)) {
        return CreateFailure(target, *why);
    }
    if (const int error = data.file.Create(PathRules::Parent(target)); error != 0) {
        return CreateFailure(target, error);
    }
    data.targetUnfinished = true;
    return Status::Ok();
}

Status FinishProgramFile(ReceivedData& data, ReceivedView& view, const Settings& settings,
                         int programCount) {
    // Before the first program the target, if any, is the fallback file. A
    // program after a request (which has no file) has nothing to finish.
    if (data.target.empty()) return Status::Ok();
    if (programCount > 0 && settings.EndChar == "Y") view.Add("%");
    if (const int error = data.file.Append(ReceivedLineBytes(view.lines())); error != 0) {
        return WriteFailure(data.target, error);
    }
    view.Clear();
    if (Status finished = FinishTarget(data); !finished) return finished;
    data.target.clear();
    return Status::Ok();
}

Status StartProgramFile(ReceivedData& data, ReceivedView& view, std::string_view programLine,
                        const Settings& settings, int programCount) {
    const bool afterFile = programCount > 0 || !data.target.empty();
    if (Status finished = FinishProgramFile(data, view, settings, programCount); !finished) {
        return finished;
    }
    data.programNumber.clear();
    data.target.clear();
    data.targetIsFallback = false;

    std::string folder;
    if (Status ok = FolderFor(settings, folder); !ok) return ok;
    data.programNumber = ProgramNumberOf(programLine);
    // A file this receive saved is never replaced: the same number again, or
    // another one cut to the same name, takes the next free name.
    std::string path;
    int copy = 1;
    for (;; ++copy) {
        path = PathRules::Join(folder, ProgramFileName(programLine, settings, programCount, copy));
        if (copy > kMostCopies) return CreateFailure(path, EEXIST);
        if (SavedEarlier(data, path) || (copy > 1 && Exists(path))) continue;
        break;
    }
    if (Status named = CheckName(path); !named) return named;
    if (std::optional<std::string> why = WhyNotReplaceable(path)) return CreateFailure(path, *why);
    if (const int error = data.file.Create(folder); error != 0) return CreateFailure(path, error);
    data.target = path;
    data.targetUnfinished = true;
    if (copy > 1) data.renamedFiles.push_back(path);
    // The first program's leading "%" is the one the receive start put in.
    if (settings.StartChar == "Y" && afterFile) view.Add("%");
    return Status::Ok();
}

std::string ReceivedLineBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

Status WriteReceivedView(ReceivedData& data, const ReceivedView& view, const Settings& settings,
                         std::time_t now) {
    if (data.target.empty() && !data.named) {
        if (Status created = CreateFallbackTarget(data, settings, now); !created) return created;
    }
    if (const int error = data.file.Append(ReceivedLineBytes(view.lines())); error != 0) {
        return WriteFailure(data.target, error);
    }
    return Status::Ok();
}

Status FinishTarget(ReceivedData& data) {
    if (!data.targetUnfinished) return Status::Ok();
    const std::pair<dev_t, ino_t> id = data.file.Id();
    int error = 0;
    if (data.targetIsFallback) {
        error = PlaceFallback(data);
    } else {
        // It may have become read-only or a folder while the program arrived.
        if (std::optional<std::string> why = WhyNotReplaceable(data.target)) {
            return WriteFailure(data.target, *why);
        }
        error = data.file.Place(PathRules::FileName(data.target), true);
    }
    if (error != 0) return WriteFailure(data.target, error);
    data.targetUnfinished = false;
    data.completedFiles.push_back(data.target);
    data.completedIds.push_back(id);
    return Status::Ok();
}

void DiscardUnfinishedTarget(ReceivedData& data) {
    data.targetUnfinished = false;
    data.file.Discard();
}

std::string SetAsideUnfinishedTarget(ReceivedData& data) {
    if (!data.targetUnfinished) return {};
    data.targetUnfinished = false;
    const std::string folder = PathRules::Parent(data.target);
    const std::string name = PathRules::FileName(data.target);
    for (int n = 1; n <= kMostCopies; ++n) {
        const std::string suffix =
            (n == 1 ? std::string() : "_" + std::to_string(n)) + kUnfinishedSuffix;
        std::string stem = name;
        if (stem.size() + suffix.size() > kMaxFileNameBytes) {
            stem.resize(kMaxFileNameBytes - suffix.size());
        }
        const int error = data.file.Place(stem + suffix, false);
        if (error == 0) return PathRules::Join(folder, stem + suffix);
        if (error != EEXIST) break;
    }
    // Better under the temporary name than gone.
    const std::string left = data.file.Abandon();
    return left.empty() ? std::string() : PathRules::Join(folder, left);
}

}  // namespace wexal
