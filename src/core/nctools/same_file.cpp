#include "nctools/same_file.h"

#include "platform/os_file.h"

namespace wexal {

bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::optional<FileStatus> first = StatPath(a, true);
    const std::optional<FileStatus> second = StatPath(b, true);
    return first && second && first->id == second->id;
}

}  // namespace wexal
