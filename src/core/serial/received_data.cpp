#include "serial/received_data.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
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
    const std::optional<FileStatus> info = StatPath(Utf8Path(path), false);
    if (!info) {
        if (errno == ENOENT) return std::nullopt;
        return SystemErrorText(errno);
    }
    if (info->type == FileStatus::Type::Link) return std::nullopt;
    if (info->type == FileStatus::Type::Directory) return SystemErrorText(EISDIR);
    if (info->type != FileStatus::Type::Regular) return std::string(kNotAFile);
    if (!info->ownerWritable) return std::string(kReadOnly);
    if (const int error = WriteAccess(Utf8Path(path)); error != 0) return SystemErrorText(error);
    return std::nullopt;
}

bool Exists(const std::string& path) { return StatPath(Utf8Path(path), false) || errno != ENOENT; }

// A file this receive saved already stands under path (by that name, or by
// another one that leads to the same file, as on a file system that ignores
// case).
bool SavedEarlier(const ReceivedData& data, const std::string& path) {
    if (std::find(data.completedFiles.begin(), data.completedFiles.end(), path) !=
        data.completedFiles.end()) {
        return true;
    }
    const std::optional<FileStatus> info = StatPath(Utf8Path(path), false);
    if (!info) return false;
    return std::find(data.completedIds.begin(), data.completedIds.end(), info->id) !=
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
        const int error = data.file.Place(name);
        if (error == EEXIST) continue;
        if (error == 0) {
            data.target = PathRules::Join(folder, name);
            data.fallbackTarget = data.target;
        }
        return error;
    }
    return EEXIST;
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
    const std::tm local = LocalTime(when);
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
    const FileId id = data.file.Id();
    int error = 0;
    if (data.targetIsFallback) {
        error = PlaceFallback(data);
    } else {
        // It may have become read-only or a folder while the program arrived.
        if (std::optional<std::string> why = WhyNotReplaceable(data.target)) {
            return WriteFailure(data.target, *why);
        }
        const Replacement replaced =
            data.file.Replace(PathRules::FileName(data.target), data.revisions);
        if (!replaced.refused.empty()) {
            return WriteFailure(data.target, RevisionRefusalText(replaced.refused));
        }
        error = replaced.error;
        if (!replaced.revision.empty()) data.keptRevisions.push_back(replaced.revision);
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
        const int error = data.file.Place(stem + suffix);
        if (error == 0) return PathRules::Join(folder, stem + suffix);
        if (error != EEXIST) break;
    }
    // Better under the temporary name than gone.
    const std::string left = data.file.Abandon();
    return left.empty() ? std::string() : PathRules::Join(folder, left);
}

}  // namespace wexal
