#include "programs/file_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/path_rules.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

void Refuse(MessageService& messages, const char* reason, const std::string& path) {
    messages.Tell(std::string(reason) + "\n" + path, DefaultCaption(MessageIcon::Error),
                  MessageIcon::Error);
}

// 0 when path is a folder afterwards, else the reason.
int EnsureFolder(const std::string& path) {
    const auto isFolder = [&] {
        const std::optional<FileStatus> info = StatPath(Utf8Path(path), true);
        return info && info->type == FileStatus::Type::Directory;
    };
    if (StatPath(Utf8Path(path), true)) return isFolder() ? 0 : ENOTDIR;
    const int failure = wexal::MakeFolder(Utf8Path(path));
    if (failure == EEXIST) return isFolder() ? 0 : ENOTDIR;
    return failure;
}

}  // namespace

ProgramLoad LoadProgram(const std::string& dirPath, const std::string& name,
                        MessageService& messages) {
    const std::string path = PathRules::Join(dirPath, name);
    ProgramLoad load;
    std::shared_ptr<HeldProgramFile> file = HeldProgramFile::Open(path, load.problem);
    if (!file) return load;
    load.size = file->size();
    ProgramReading reading = ProgramReading::Whole;
    switch (ChooseReading(*file, messages)) {
        case ReadingChoice::Unreadable:
            Refuse(messages, "ファイルを読み込めません。", path + "\n" + SystemErrorText(errno));
            return {};
        case ReadingChoice::Declined:
            return load;
        case ReadingChoice::LineByLine:
            reading = ProgramReading::LineByLine;
            break;
        case ReadingChoice::Whole:
            break;
    }
    auto program = std::make_shared<const ProgramText>(std::move(file), reading);
    if (!program->empty()) load.program = std::move(program);
    return load;
}

bool CreateFolderPath(const std::string& path, int* error) {
    if (error != nullptr) *error = 0;
    const std::string folder = PathRules::StripTrailingSeparator(path);
    if (!PathRules::IsCreatableFolder(folder)) return false;
    int first = 0;
    // Every level from the top down, so that each mkdir has its parent.
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != PathRules::kSeparator) continue;
        if (folder[at - 1] == PathRules::kSeparator) continue;
        const int failure = EnsureFolder(folder.substr(0, at));
        if (first == 0) first = failure;
    }
    if (error != nullptr) *error = first;
    return true;
}

Status CreateDestinationFolder(const std::string& folder) {
    int error = 0;
    const bool creatable = CreateFolderPath(folder, &error);
    const std::optional<FileStatus> info = StatPath(Utf8Path(folder), true);
    if (creatable && error == 0 && info && info->type == FileStatus::Type::Directory) {
        return Status::Ok();
    }
    return Status::Error("ディレクトリを作成できません。\n" + folder + "\n" +
                         (creatable ? SystemErrorText(error) : "フォルダが正しくありません。"));
}

}  // namespace wexal
