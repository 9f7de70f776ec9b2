#include "files/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "files/file_names.h"
#include "platform/error_text.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr std::string_view kSizeLinePrefix = "サイズ :　　";
constexpr std::uint64_t kKilo = 1024;
constexpr std::uint64_t kMega = kKilo * kKilo;
constexpr std::uint64_t kGiga = kMega * kKilo;

// "#,###,###,###,##0": every digit of a 64-bit size, in threes.
std::string Grouped(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::optional<int> FieldValue(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

struct FieldRule {
    int low;
    int high;
    const char* message;
};

constexpr FieldRule kFieldRules[6] = {
    {1970, 9999, "年数は1970以降でお願いします。"}, {1, 12, "１から１２までしか入力出来ません"},
    {1, 31, "１から３１までしか入力出来ません"},    {0, 23, "０から２３までしか入力出来ません"},
    {0, 59, "０から５９までしか入力出来ません"},    {0, 59, "０から５９までしか入力出来ません"},
};

std::string Failure(const char* what, const std::string& path, int error) {
    return std::string(what) + "\n" + DisplayName(path) + "\n" + SystemErrorText(error);
}

}  // namespace

EntryInfo ReadEntryInfo(const std::string& path, std::string_view name) {
    EntryInfo info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return info;
    info.exists = true;
    info.isFolder = S_ISDIR(st.st_mode);
    info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    info.modified = st.st_mtime;
    info.readOnly = (st.st_mode & S_IWUSR) == 0;
    info.hidden = !name.empty() && name.front() == '.';
    return info;
}

std::string FileInfoSizeLine(std::uint64_t size) {
    std::string line(kSizeLinePrefix);
    if (size < kKilo) return line + std::to_string(size) + "ﾊﾞｲﾄ";
    double scaled = static_cast<double>(size) / static_cast<double>(kKilo);
    const char* unit = "KB (";
    if (size > kGiga) {
        scaled = static_cast<double>(size) / static_cast<double>(kGiga);
        unit = "GB (";
    } else if (size > kMega) {
        scaled = static_cast<double>(size) / static_cast<double>(kMega);
        unit = "MB (";
    }
    char number[48];
    std::snprintf(number, sizeof number, "%.3f", scaled);
    return line + number + unit + Grouped(size) + "ﾊﾞｲﾄ)";
}

const std::vector<std::string>& NcProgramExtensions() {
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> list;
        std::string_view rest = WEXAL_NC_PROGRAM_EXTENSIONS;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(','), rest.size());
            if (end > 0) list.emplace_back(rest.substr(0, end));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        return list;
    }();
    return extensions;
}

bool IsNcProgramName(std::string_view name) {
    std::string extension = PathRules::Extension(name);
    if (extension.size() < 2) return false;
    extension.erase(0, 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const std::vector<std::string>& known = NcProgramExtensions();
    return std::find(known.begin(), known.end(), extension) != known.end();
}

std::string FallbackTypeText(std::string_view name) {
    std::string extension = PathRules::Extension(name);
    if (extension.empty()) return "ﾌｧｲﾙ";
    extension.erase(0, 1);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return extension + " ﾌｧｲﾙ";
}

TimeFieldTexts TimeFieldsOf(std::time_t time) {
    std::tm tm{};
    if (::localtime_r(&time, &tm) == nullptr) return {};
    char text[8];
    TimeFieldTexts fields;
    const int values[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                           tm.tm_hour,        tm.tm_min,     tm.tm_sec};
    for (int i = 0; i < 6; ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%04d" : "%02d", values[i]);
        fields[static_cast<std::size_t>(i)] = text;
    }
    return fields;
}

std::optional<std::string> CheckTimeField(int tag, std::string_view text) {
    if (tag < 1 || tag > 6) return std::nullopt;
    const FieldRule& rule = kFieldRules[tag - 1];
    const std::optional<int> value = FieldValue(text);
    if (value && *value >= rule.low && *value <= rule.high) return std::nullopt;
    return std::string(rule.message);
}

std::optional<std::time_t> LocalTimeOfFields(const TimeFieldTexts& fields, int* badTag) {
    int values[6];
    for (int i = 0; i < 6; ++i) {
        const std::optional<int> value = FieldValue(fields[static_cast<std::size_t>(i)]);
        if (!value) {
            if (badTag != nullptr) *badTag = i + 1;
            return std::nullopt;
        }
        values[i] = *value;
    }
    std::tm tm{};
    tm.tm_year = values[0] - 1900;
    tm.tm_mon = values[1] - 1;
    tm.tm_mday = values[2];
    tm.tm_hour = values[3];
    tm.tm_min = values[4];
    tm.tm_sec = values[5];
    tm.tm_isdst = -1;
    const std::time_t time = std::mktime(&tm);
    // mktime moves a day or an hour that does not exist on to one that does;
    // what came back must be what was asked for.
    if (tm.tm_year != values[0] - 1900 || tm.tm_mon != values[1] - 1 || tm.tm_mday != values[2]) {
        if (badTag != nullptr) *badTag = 3;
        return std::nullopt;
    }
    if (tm.tm_hour != values[3] || tm.tm_min != values[4] || tm.tm_sec != values[5]) {
        if (badTag != nullptr) *badTag = 4;
        return std::nullopt;
    }
    return time;
}

std::string NoSuchTimeMessage(const TimeFieldTexts& f) {
    return "存在しない日時です。\n" + f[0] + "/" + f[1] + "/" + f[2] + " " + f[3] + ":" + f[4] +
           ":" + f[5];
}

Status ApplyEntryChange(const std::string& path, const EntryChange& change) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return Status::Ok();
    std::string failed;
    if (change.modified) {
        // The access time stays; the owner may set the time of a read-only
        // file, so the time goes first and needs no write permission.
        const timespec times[2] = {{0, UTIME_OMIT}, {*change.modified, 0}};
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            failed = Failure("更新日時を変更できません。", path, errno);
        }
    }
    if (change.readOnly && ::stat(path.c_str(), &st) == 0) {
        constexpr mode_t kWrite = S_IWUSR | S_IWGRP | S_IWOTH;
        const mode_t mode = *change.readOnly ? (st.st_mode & ~kWrite) : (st.st_mode | S_IWUSR);
        if ((mode & 07777) != (st.st_mode & 07777) && ::chmod(path.c_str(), mode & 07777) != 0) {
            if (!failed.empty()) failed += "\n\n";
            failed += Failure("属性を変更できません。", path, errno);
        }
    }
    return failed.empty() ? Status::Ok() : Status::Error(failed);
}

}  // namespace wexal
