#include "serial/received_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/error_text.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {


Status CreateFailure(const std::string& path, int error) {
    return Status::Error("受信ファイルを作成できません。\n" + path + "\n" + SystemErrorText(error));
}

Status WriteFailure(const std::string& path, int error) {
    return Status::Error("受信データを保存できません。\n" + path + "\n" + SystemErrorText(error));
}

// "*" and "?" in a name come from a mask such as "*.*"; such a file would
// never show in the list it was meant for.
Status CheckName(const std::string& path) {
    const std::string name = PathRules::FileName(path);
    if (name.find_first_of("*?") != std::string::npos || name.empty() || name == "." ||
        name == "..") {
        return Status::Error("受信ファイルを作成できません。\n" + path + "\n" +
                             "この名前はファイル名に使えません。");
    }
    return Status::Ok();
}

// error receives the errno of a failed creation, 0 otherwise.
Status CreateEmpty(const std::string& path, int flags, int* error = nullptr) {
    if (error) *error = 0;
    if (Status named = CheckName(path); !named) return named;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    const int failure = fd < 0 ? errno : (::close(fd) != 0 ? errno : 0);
    if (failure == 0) return Status::Ok();
    if (error) *error = failure;
    return CreateFailure(path, failure);
}

// The folder a received program lands in must be a real one; a relative
// value would put it wherever the process happens to stand.
Status FolderFor(const Settings& settings, std::string& folder) {
    folder = settings.DirPath;
    if (!PathRules::IsAbsolute(folder)) {
        return Status::Error("受信ファイルを作成できません。\n" + folder + "\n" +
                             "フォルダが正しくありません。");
    }
    return Status::Ok();
}

Status CreateFallbackTarget(ReceivedData& data, const Settings& settings, std::time_t now) {
    std::string folder;
    if (Status ok = FolderFor(settings, folder); !ok) return ok;
    const std::string extension = MaskExtension(settings.Mask);
    const std::string base = FallbackFileName(now, "");
    for (int n = 1;; ++n) {
        const std::string name = (n == 1 ? base : base + "_" + std::to_string(n)) + extension;
        const std::string path = PathRules::Join(folder, name);
        int error = 0;
        const Status created = CreateEmpty(path, O_EXCL | O_NOFOLLOW, &error);
        if (created) {
            data.target = path;
            data.fallbackTarget = path;
            data.targetUnfinished = true;
            return created;
        }
        // Only a name already taken is worth another try.
        if (error != EEXIST || n >= 1000) return created;
    }
}

}  // namespace

void ReceivedView::Add(std::string line) {
    if (panel_) panel_->AddViewLine(line);
    lines_.push_back(std::move(line));
}

void ReceivedView::Clear() {
    lines_.clear();
    if (panel_) panel_->ClearView();
}

std::string ProgramFileName(std::string_view programLine, const Settings& settings,
                            int programCount) {
    std::string stem = ProgramNumberOf(programLine);
    std::string serial;
    if (settings.Add_No == "Y") {
        char digits[16];
        std::snprintf(digits, sizeof digits, "_%03d", programCount + 1);
        serial = digits;
    }
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
    // The operator chose this name and agreed to replace the file.
    const Status created = CreateEmpty(target, O_TRUNC);
    data.targetUnfinished = created.ok;
    return created;
}

Status StartProgramFile(ReceivedData& data, ReceivedView& view, std::string_view programLine,
                        const Settings& settings, int programCount) {
    // Before the first program the target, if any, is the fallback file.
    const bool afterFile = programCount > 0 || !data.target.empty();
    if (afterFile) {
        if (programCount > 0 && settings.EndChar == "Y") view.Add("%");
        if (Status written = AppendReceivedLines(data.target, view.lines()); !written) {
            return written;
        }
        view.Clear();
        FinishTarget(data);
    }
    data.programNumber.clear();
    data.target.clear();

    std::string folder;
    if (Status ok = FolderFor(settings, folder); !ok) return ok;
    data.programNumber = ProgramNumberOf(programLine);
    const std::string path =
        PathRules::Join(folder, ProgramFileName(programLine, settings, programCount));
    // A link of that name is replaced, never followed out of the folder.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && ::unlink(path.c_str()) != 0) {
        return CreateFailure(path, errno);
    }
    if (Status created = CreateEmpty(path, O_TRUNC | O_NOFOLLOW); !created) return created;
    data.target = path;
    data.targetUnfinished = true;
    // The first program's leading "%" is the one the receive start put in.
    if (settings.StartChar == "Y" && afterFile) view.Add("%");
    return Status::Ok();
}

Status AppendReceivedLines(const std::string& target, const std::vector<std::string>& lines) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return WriteFailure(target, errno);
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return WriteFailure(target, error);
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    // A full disk may only show here; a program reported saved must be on the disk.
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        return WriteFailure(target, error);
    }
    if (::close(fd) != 0) return WriteFailure(target, errno);
    return Status::Ok();
}

Status WriteReceivedView(ReceivedData& data, const ReceivedView& view, const Settings& settings,
                         std::time_t now) {
    if (data.target.empty() && !data.named) {
        if (Status created = CreateFallbackTarget(data, settings, now); !created) return created;
    }
    return AppendReceivedLines(data.target, view.lines());
}

void FinishTarget(ReceivedData& data) {
    if (data.targetUnfinished) data.completedFiles.push_back(data.target);
    data.targetUnfinished = false;
}

Status DeleteUnfinishedTarget(ReceivedData& data) {
    if (!data.targetUnfinished) return Status::Ok();
    data.targetUnfinished = false;
    if (::unlink(data.target.c_str()) != 0 && errno != ENOENT) {
        return Status::Error("受信ファイルを削除できません。\n" + data.target + "\n" +
                             SystemErrorText(errno));
    }
    return Status::Ok();
}

std::string SetAsideUnfinishedTarget(ReceivedData& data) {
    if (!data.targetUnfinished) return {};
    data.targetUnfinished = false;
    const std::string aside = data.target + kUnfinishedSuffix;
    if (::rename(data.target.c_str(), aside.c_str()) != 0) return data.target;
    return aside;
}

}  // namespace wexal
