#include "platform/unfinished_file.h"

namespace wexal {

FileId UnfinishedFile::Id() const {
    if (!file_) return {};
    const std::optional<FileStatus> info = StatFile(file_.get());
    return info ? info->id : FileId{};
}

}  // namespace wexal
