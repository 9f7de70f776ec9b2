#include "files/history_list.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/atomic_file.h"
#include "platform/text_codec.h"
#include "platform/text_lines.h"

namespace wexal {

std::optional<std::vector<std::string>> ReadHistoryList(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    std::vector<std::string> entries;
    ForEachLine(bytes, [&](std::string_view line) {
        entries.push_back(Cp932ToUtf8Lossy(line));
        return true;
    });
    return entries;
}

Status WriteHistoryList(const std::filesystem::path& path, const std::vector<std::string>& entries) {
    std::string bytes;
    for (const std::string& entry : entries) {
        const std::optional<std::string> encoded = Utf8ToCp932(entry);
        if (!encoded) continue;
        bytes += *encoded;
        bytes += "\r\n";
    }
    return WriteFileAtomically(path, bytes);
}

void ConfirmHistoryEntry(std::vector<std::string>& entries, const std::string& entry) {
    entries.insert(entries.begin(), entry);
    const auto duplicate = std::find(entries.begin() + 1, entries.end(), entry);
    if (duplicate != entries.end()) entries.erase(duplicate);
    if (entries.size() > kHistoryLimit) entries.resize(kHistoryLimit);
}

}  // namespace wexal
