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

int UnfinishedFile::Place(const std::string& name, bool replace) {
    if (!file_) return EBADF;
    const std::filesystem::path folder = Utf8Path(folderPath_);
    const std::filesystem::path from = folder / Utf8Path(temporary_);
    const std::filesystem::path to = folder / Utf8Path(name);
    // Windows moves an open file only when every opener allowed it; closing
    // first is simpler, and a failed move opens it again to stay unfinished.
    if (const int error = file_.Close(); error != 0) return error;
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(from.c_str(), to.c_str(), flags)) {
        const int error = LastErrorAsErrno();
        SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_HIDDEN);
        file_.Reset(OpenFile(from, O_WRONLY | O_APPEND));
        return error;
    }
    temporary_.clear();
    folderPath_.clear();
    return 0;
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
