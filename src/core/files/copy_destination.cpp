#include "files/copy_destination.h"

#include <sys/stat.h>

#include <filesystem>

#include "programs/program_names.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Normal(const std::string& path) {
    return DestinationFolder(std::filesystem::path(path).lexically_normal().string());
}

}  // namespace

std::string DestinationFolder(std::string_view typed) {
    while (typed.size() > 1 && typed.back() == PathRules::kSeparator) typed.remove_suffix(1);
    return std::string(typed);
}

bool NeedsCreateQuestion(const std::string& folder) {
    return !PathRules::IsDriveRoot(folder) && !IsFolder(folder);
}

bool IsSameFolder(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    return Normal(a) == Normal(b);
}

std::string SameFolderWarning(const std::string& dirPath) {
    return dirPath + "のﾌｫﾙﾀﾞｰにはｺﾋﾟｰは出来ません。";
}

std::string CopyNameDestination(const Settings& settings, const std::string& typed) {
    std::string name = typed;
    if (settings.AllFiles != "Y") name += MaskExtension(settings.Mask);
    return PathRules::Join(settings.DirPath, name);
}

std::string CopyNamePrompt(const std::string& fileName) {
    return "コピー元 " + fileName + " -->>>コピー後 ";
}

std::optional<std::string> DragTarget(const std::string& dirPath, RowKind row,
                                      const std::string& folderName) {
    switch (row) {
        case RowKind::Parent: {
            std::string parent = PathRules::Parent(dirPath);
            if (parent.empty()) return std::nullopt;
            return parent;
        }
        case RowKind::Folder:
            if (folderName.empty()) return std::nullopt;
            return PathRules::Join(dirPath, folderName);
        case RowKind::File:
        case RowKind::None:
            break;
    }
    return std::nullopt;
}

std::string DragTargetLine(const std::string& target) { return " ﾄﾞﾗｯｸﾞ先のﾃﾞｨﾚｸﾄﾘ " + target; }

}  // namespace wexal
