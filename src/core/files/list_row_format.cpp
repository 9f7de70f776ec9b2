#include "files/list_row_format.h"

#include <cstdio>

#include "platform/path_rules.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr std::size_t kRowBlanks = 36;
constexpr std::size_t kFolderLineWidth = 67;

std::size_t CharWidth(std::string_view ch) { return ch.size() == 1 ? 1 : Cp932Width(ch); }

// The byte offset in text where `width` cp932 bytes of it end; never inside a
// character (a wide character across the limit is left out). *reached tells
// how much width the returned prefix has.
std::size_t OffsetOfWidth(std::string_view text, std::size_t width, std::size_t* reached) {
    std::size_t used = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t length = Utf8CharLength(text.substr(offset));
        const std::size_t charWidth = CharWidth(text.substr(offset, length));
        if (used + charWidth > width) break;
        used += charWidth;
        offset += length;
    }
    if (reached != nullptr) *reached = used;
    return offset;
}

// Inserts text at the 1-based byte position of row.
void InsertAt(std::string& row, std::size_t position, std::string_view text) {
    std::size_t reached = 0;
    const std::size_t offset = OffsetOfWidth(row, position - 1, &reached);
    if (offset == row.size() && reached < position - 1) row.append(position - 1 - reached, ' ');
    row.insert(offset < row.size() ? offset : row.size(), text);
}

std::string CutToWidth(std::string_view text, std::size_t width) {
    return std::string(text.substr(0, OffsetOfWidth(text, width, nullptr)));
}

std::string DateColumn(std::string_view dateText) {
    // Bytes 3 to 16 of "YYYY-MM-DD HH:NN:SS".
    if (dateText.size() <= 2) return {};
    return std::string(dateText.substr(2, 14));
}

}  // namespace

std::string FormatListRow(const RowLayout& layout, std::string_view name,
                          std::string_view shortBase, std::string_view sizeText,
                          std::string_view dateText) {
    if (layout.longNamesOnly) {
        if (layout.allFiles) return std::string(name);
        return std::string(name.substr(0, name.size() - PathRules::Extension(name).size()));
    }
    std::string row(kRowBlanks, ' ');
    InsertAt(row, 1, shortBase);
    if (layout.allFiles) InsertAt(row, 9, CutToWidth(PathRules::Extension(name), 4));
    if (layout.listColumn < 4) {
        const std::string_view size = sizeText.size() > 8 ? "********" : sizeText;
        InsertAt(row, 22 - size.size(), size);
    }
    if (layout.listColumn < 3) InsertAt(row, 23, DateColumn(dateText));
    return row;
}

std::string ParentRowText(int listColumn, bool dated, std::string_view parentDate) {
    if (listColumn >= 4) return " ..";
    std::string row = " ..              <DIR>";
    if (listColumn == 3 || !dated) return row;
    row += ' ';
    row += DateColumn(parentDate);
    return row;
}

std::string FolderRowText(const RowLayout& layout, std::string_view name,
                          std::string_view shortBase, std::string_view dateText) {
    if (layout.listColumn >= 4)
        return " <DIR>" + FormatListRow(layout, name, shortBase, "", dateText);
    return " " + FormatListRow(layout, name, shortBase, "<DIR>", dateText);
}

std::string FileRowText(const RowLayout& layout, bool marked, std::string_view name,
                        std::string_view shortBase, std::string_view sizeText,
                        std::string_view dateText) {
    return (marked ? "*" : " ") + FormatListRow(layout, name, shortBase, sizeText, dateText);
}

std::string FormatModified(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return {};
    const int year = local.tm_year + 1900;
    if (year < 0 || year > 9999) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string FormatFileSize(std::uint64_t bytes) {
    char text[64];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%lluﾊﾞｲﾄ", static_cast<unsigned long long>(bytes));
        return text;
    }
    const double kilo = static_cast<double>(bytes) / 1024.0;
    if (kilo < 1024.0) {
        std::snprintf(text, sizeof text, "%.3fKB", kilo);
    } else {
        std::snprintf(text, sizeof text, "%.3fMB", kilo / 1024.0);
    }
    return text;
}

std::string FormatFolderLine(std::string_view folder, std::string_view mask, bool allFiles,
                             std::optional<std::size_t> count) {
    std::string line =
        " Path=" + PathRules::Join(folder, allFiles ? std::string_view("*.*") : mask);
    std::size_t reached = 0;
    line.resize(OffsetOfWidth(line, kFolderLineWidth, &reached));
    line.append(kFolderLineWidth - reached, ' ');
    line += "     ﾌｧｲﾙ数 :";
    line += count ? std::to_string(*count) : std::string("????");
    return line;
}

std::string ParentRowDetails() { return "　  一つ上のﾌｫﾙﾀﾞに移動(Enter)"; }

std::string FolderRowDetails(std::string_view name, std::string_view modified) {
    std::string text = "　  ﾌｫﾙﾀﾞ詳細:<DIR>";
    text += name;
    text += "  日付 :";
    text += modified;
    return text;
}

std::string FileRowDetails(std::string_view name, std::uint64_t size, std::string_view modified) {
    std::string text = "　　ﾌｧｲﾙ詳細 :";
    text += name;
    text += "  ｻｲｽﾞ :";
    text += FormatFileSize(size);
    text += "  日付 :";
    text += modified;
    return text;
}

}  // namespace wexal
