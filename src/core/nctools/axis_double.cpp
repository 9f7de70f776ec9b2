#include "nctools/axis_double.h"

#include <algorithm>

#include "programs/program_stream.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

constexpr std::string_view kNumberChars = "0123456789.- ";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> DoubleNumberText(std::string_view numberText, int decimals) {
    std::string_view text = numberText;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!std::all_of(whole.begin(), whole.end(), IsDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), IsDigit)) {
        return std::nullopt;
    }

    // Never fewer decimals than the source wrote, so nothing is rounded.
    const std::size_t shown = std::max<std::size_t>(
        decimals < 0 ? 0 : static_cast<std::size_t>(std::max(decimals, 1)), fraction.size());
    // The digits as one number scaled by 10^shown.
    std::string digits(whole);
    digits += fraction;
    digits.append(shown - fraction.size(), '0');
    std::string doubled(digits.size() + 1, '0');
    int carry = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        const int value = (digits[i] - '0') * 2 + carry;
        doubled[i + 1] = static_cast<char>('0' + value % 10);
        carry = value / 10;
    }
    doubled[0] = static_cast<char>('0' + carry);
    // At least one digit before the point.
    const std::size_t keep = shown + 1;
    const std::size_t lead = doubled.find_first_not_of('0');
    const std::size_t start =
        lead == std::string::npos ? doubled.size() - keep : std::min(lead, doubled.size() - keep);
    std::string result = doubled.substr(start);
    if (shown > 0) result.insert(result.size() - shown, ".");
    const bool zero = lead == std::string::npos;
    if (negative && !zero) result.insert(0, "-");
    return result;
}

bool DoubleAxisInLine(std::string_view line, char axis, std::string& out, std::string* badNumber) {
    const std::size_t letter = line.find(axis);
    if (letter == std::string_view::npos) {
        out += line;
        return true;
    }
    const std::size_t begin = letter + 1;
    std::size_t end = line.find_first_not_of(kNumberChars, begin);
    if (end == std::string_view::npos) end = line.size();
    const std::string_view number = line.substr(begin, end - begin);
    if (number.empty() || number == "-") {
        out += line;
        return true;
    }
    std::size_t replaced = number.size();
    if (number.back() == ' ') --replaced;
    const std::size_t trimmed = number.find_last_not_of(' ') + 1;  // npos + 1 == 0 for blanks only
    const std::size_t point = number.find('.');
    int decimals = static_cast<int>(trimmed) - (point == std::string_view::npos
                                                    ? 0
                                                    : static_cast<int>(point) + 1);
    if (point == std::string_view::npos && number.back() != ' ') decimals = -1;
    const std::optional<std::string> value = DoubleNumberText(number, decimals);
    if (!value) {
        if (badNumber != nullptr) *badNumber = std::string(number);
        return false;
    }
    out += line.substr(0, begin);
    out += *value;
    out += line.substr(begin + replaced);
    return true;
}

namespace {

// One line doubled, with CR LF, appended to out; failed, naming the number
// and the line (from 1), when the number cannot be read.
bool DoubleLine(std::string_view line, std::size_t index, char axis, std::string& out,
                ToolResult& result) {
    std::string bad;
    if (!DoubleAxisInLine(line, axis, out, &bad)) {
        result = {ToolOutcome::Failed,
                  "'" + bad + "' は数値に変換できません。(" + std::to_string(index) + "行目)", 0};
        return false;
    }
    out += "\r\n";
    return true;
}

}  // namespace

ToolResult DoubleAxis(std::string_view text, char axis, std::string& out, ToolProgress* progress) {
    const std::size_t lineCount = progress != nullptr ? CountLines(text) : 0;
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    ToolResult result;
    std::size_t index = 0;
    ForEachLine(text, [&](std::string_view line) {
        ++index;
        if (!DoubleLine(line, index, axis, out, result)) return false;
        if (!ReportProgress(progress, index, lineCount)) {
            result.outcome = ToolOutcome::Cancelled;
            return false;
        }
        return true;
    });
    if (result.outcome != ToolOutcome::Done) out.clear();
    return result;
}

ToolResult DoubleAxisIntoFile(char axis, const std::filesystem::path& folder,
                              const std::string& sourceName, const std::string& outputName,
                              MessageService& messages, ToolProgress* progress,
                              const RevisionPolicy& revisions) {
    const std::filesystem::path output = folder / outputName;
    const std::filesystem::path source = folder / sourceName;
    if (outputName == sourceName || IsSameFile(output, source)) {
        return {ToolOutcome::Refused,
                "変換後のﾌｧｲﾙ名が変換前と同じになるため保存できません。\n" + outputName, 0};
    }
    ProgramStream stream(source, messages);
    if (!stream.problem().empty()) {
        return {ToolOutcome::Failed,
                "ファイルを読み込めません。\n" + source.string() + "\n" + stream.problem(), 0};
    }
    // Nothing shows under the output's name unless the whole source converted.
    AtomicFileWriter writer;
    writer.KeepRevisions(revisions);
    if (Status opened = writer.Open(output, LinkMode::Replace); !opened) {
        return {ToolOutcome::Failed, opened.message, 0};
    }
    ToolResult result;
    std::size_t index = 0;
    std::string converted;
    const auto line = [&](std::string_view text) {
        ++index;
        converted.clear();
        if (!DoubleLine(text, index, axis, converted, result)) return false;
        if (Status written = writer.Write(converted); !written) {
            result = {ToolOutcome::Failed, written.message, 0};
            return false;
        }
        if (progress != nullptr && index % kProgressEvery == 0 && !progress->Step(index)) {
            result.outcome = ToolOutcome::Cancelled;
            return false;
        }
        return true;
    };
    LineCutter lines;
    const Status read = stream.ReadText([&](std::string_view chunk) {
        if (progress != nullptr) progress->Reached(stream.done(), stream.size());
        return lines.Feed(chunk, line);
    });
    if (!read) return {ToolOutcome::Failed, read.message, 0};
    if (result.outcome != ToolOutcome::Done || !lines.Finish(line)) return result;
    if (progress != nullptr && index % kProgressEvery != 0 && !progress->Step(index)) {
        return {ToolOutcome::Cancelled, {}, 0};
    }
    if (Status committed = writer.Commit(); !committed) {
        return {ToolOutcome::Failed, committed.message, 0};
    }
    return result;
}

}  // namespace wexal
