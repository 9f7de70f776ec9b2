#include "platform/unfinished_file.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32/windows_error.h"

// Windows has no unnamed files: the file has its hidden temporary name from
// the start, and a move gives it its own name, which without
// MOVEFILE_REPLACE_EXISTING never replaces anything.
namespace wexal {

int UnfinishedFile::Create(const std::string& folder) {
    Discard();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = UnfinishedFileName();
        file_.Reset(OpenFile(Utf8Path(folder) / Utf8Path(name), O_WRONLY | O_CREAT | O_EXCL));
        if (file_) {
            folderPath_ = folder;
            temporary_ = name;
            const std::filesystem::path path = Utf8Path(folder) / Utf8Path(name);
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
            return 0;
        }
        if (errno != EEXIST) break;
    }
    return errno;
}

namespace {

// Moves from to to, reopening from when that fails so that the file stays
// unfinished: 0 or the errno.
int MoveClosed(UniqueFd& file, const std::filesystem::path& from, const std::filesystem::path& to,
               DWORD flags) {
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH | flags)) return 0;
    const int error = LastErrorAsErrno();
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_HIDDEN);
    file.Reset(OpenFile(from, O_WRONLY | O_APPEND));
    return error;
}

}  // namespace

// Windows moves an open file only when every opener allowed it; the file is
// closed first, and a failed move opens it again.
int UnfinishedFile::Place(const std::string& name) {
    if (!file_) return EBADF;
    const std::filesystem::path folder = Utf8Path(folderPath_);
    if (const int error = file_.Close(); error != 0) return error;
    const int error = MoveClosed(file_, folder / Utf8Path(temporary_), folder / Utf8Path(name), 0);
    if (error == 0) Close();
    return error;
}

Replacement UnfinishedFile::Replace(const std::string& name, const RevisionPolicy& revisions) {
    Replacement replaced;
    if (!file_) replaced.error = EBADF;
    if (replaced.error == 0) replaced.error = file_.Close();
    if (replaced.error != 0) return replaced;
    const std::filesystem::path folder = Utf8Path(folderPath_);
    const std::filesystem::path from = folder / Utf8Path(temporary_);
    const std::filesystem::path to = folder / Utf8Path(name);
    replaced = ReplaceKeepingRevision(to, from, revisions, [&] {
        return MoveClosed(file_, from, to, MOVEFILE_REPLACE_EXISTING);
    });
    if (replaced.ok()) {
        Close();
    } else if (!file_) {
        file_.Reset(OpenFile(from, O_WRONLY | O_APPEND));
    }
    return replaced;
}

void UnfinishedFile::Close() {
    file_.Reset();
    temporary_.clear();
    folderPath_.clear();
}

void UnfinishedFile::Discard() {
    file_.Reset();
    if (!temporary_.empty()) DeleteFileW((Utf8Path(folderPath_) / Utf8Path(temporary_)).c_str());
    temporary_.clear();
    folderPath_.clear();
}

std::string UnfinishedFile::Abandon() {
    const std::string name = file_ ? temporary_ : std::string();
    if (!name.empty()) {
        SetFileAttributesW((Utf8Path(folderPath_) / Utf8Path(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    file_.Reset();
    temporary_.clear();
    folderPath_.clear();
    return name;
}

}  // namespace wexal
