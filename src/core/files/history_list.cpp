#include "files/history_list.h"

#include <algorithm>

#include "config/ini_file.h"
#include "platform/atomic_file.h"
#include "platform/text_codec.h"
#include "platform/text_lines.h"

namespace wexal {

std::optional<std::vector<std::string>> ReadHistoryList(const std::filesystem::path& path) {
    const FileContent file = ReadRegularFile(path, kHistoryFileLimit, LinkMode::FollowOwned);
    if (file.kind != FileLookup::Kind::Regular) return std::nullopt;
    std::vector<std::string> entries;
    ForEachLine(file.bytes, [&](std::string_view line) {
        // Bytes that are neither cp932 nor a stored form are shown as they can be.
        entries.push_back(IniFile::DecodeCp932(line).value_or(Cp932ToUtf8Lossy(line)));
        return true;
    });
    return entries;
}

Status WriteHistoryList(const std::filesystem::path& path, const std::vector<std::string>& entries) {
    if (const FileContent old = ReadRegularFile(path, kHistoryFileLimit, LinkMode::FollowOwned);
        old.kind == FileLookup::Kind::Refused) {
        return Status::Error("ファイルに書き込めません。\n" + path.string() + "\n" + old.reason);
    }
    std::string bytes;
    for (const std::string& entry : entries) {
        bytes += IniFile::EncodeCp932(entry);
        bytes += "\r\n";
    }
    return WriteFileAtomically(path, bytes, LinkMode::FollowOwned);
}

void ConfirmHistoryEntry(std::vector<std::string>& entries, const std::string& entry) {
    entries.insert(entries.begin(), entry);
    const auto duplicate = std::find(entries.begin() + 1, entries.end(), entry);
    if (duplicate != entries.end()) entries.erase(duplicate);
    if (entries.size() > kHistoryLimit) entries.resize(kHistoryLimit);
}

}  // namespace wexal
