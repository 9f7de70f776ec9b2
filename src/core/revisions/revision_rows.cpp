#include "revisions/revision_rows.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/error_text.h"
#include "platform/fit_text.h"
#include "platform/os_file.h"
#include "platform/text_codec.h"

namespace wexal {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTimeColumns = 23;  // YYYY/MM/DD HH:MM:SS.mmm
// A machine's section name longer than this loses its middle, so that one
// long name does not push every size out of the dialog.
constexpr std::size_t kMostSourceColumns = 20;
constexpr const char* kGap = "  ";
constexpr const char* kNotRegular = "通常のファイルではありません。";

std::int64_t FloorDiv(std::int64_t value, std::int64_t by) {
    const std::int64_t quotient = value / by;
    return quotient * by > value ? quotient - 1 : quotient;
}

std::string PadRight(std::string text, std::size_t columns) {
    const std::size_t width = Cp932Width(text);
    if (width < columns) text.append(columns - width, ' ');
    return text;
}

std::string PadLeft(const std::string& text, std::size_t columns) {
    return text.size() < columns ? std::string(columns - text.size(), ' ') + text : text;
}

struct Cells {
    std::string time;
    std::string source;
    std::string size;  // digits, or "" when there is a problem
    std::string problem;
};

}  // namespace

CurrentFileState ReadCurrentFile(const fs::path& file) {
    CurrentFileState current;
    const std::optional<FileStatus> status = StatPath(file, true);
    if (!status) {
        current.problem = SystemErrorText(errno);
        return current;
    }
    current.timeMs = FloorDiv(status->modifiedNs, 1'000'000);
    if (status->type != FileStatus::Type::Regular) {
        current.problem = kNotRegular;
    } else {
        current.size = status->size;
    }
    return current;
}

std::string RevisionLocalTimeText(std::int64_t timeMs) {
    const std::int64_t seconds = FloorDiv(timeMs, 1000);
    const std::tm local = LocalTime(static_cast<std::time_t>(seconds));
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(timeMs - seconds * 1000));
    return text;
}

std::vector<RevisionRow> MakeRevisionRows(const fs::path& file, const CurrentFileState& current,
                                          const RevisionList& list) {
    std::vector<RevisionRow> rows;
    std::vector<Cells> cells;

    RevisionRow first;
    first.kind = RevisionRowKind::Current;
    first.path = file;
    // A file that cannot be looked at has no time worth showing.
    if (current.problem.empty() || current.timeMs != 0) {
        first.timeText = RevisionLocalTimeText(current.timeMs);
    }
    cells.push_back({first.timeText, kCurrentFileSource,
                     current.problem.empty() ? std::to_string(current.size) : std::string(),
                     current.problem});
    rows.push_back(std::move(first));

    for (const Revision& revision : list.revisions) {
        RevisionRow row;
        row.kind =
            revision.problem.empty() ? RevisionRowKind::Revision : RevisionRowKind::Unreadable;
        row.path = revision.path;
        row.timeText = RevisionLocalTimeText(revision.timeMs);
        row.source = revision.source;
        cells.push_back({row.timeText, revision.source,
                         revision.problem.empty() ? std::to_string(revision.size) : std::string(),
                         revision.problem});
        rows.push_back(std::move(row));
    }

    std::size_t sourceColumns = 0;
    std::size_t sizeColumns = 0;
    for (Cells& cell : cells) {
        cell.source = FitMiddle(cell.source, kMostSourceColumns);
        sourceColumns = std::max(sourceColumns, Cp932Width(cell.source));
        sizeColumns = std::max(sizeColumns, cell.size.size());
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Cells& cell = cells[i];
        rows[i].text = PadRight(cell.time, kTimeColumns) + kGap +
                       PadRight(cell.source, sourceColumns) + kGap +
                       (cell.problem.empty() ? PadLeft(cell.size, sizeColumns) : cell.problem);
    }

    if (!list.error.empty() || list.revisions.empty()) {
        RevisionRow note;
        note.text = list.error.empty() ? kNoRevisions : list.error;
        rows.push_back(std::move(note));
    }
    return rows;
}

std::vector<RevisionRow> ReadRevisionRows(const fs::path& file) {
    return MakeRevisionRows(file, ReadCurrentFile(file), ListRevisions(file));
}

RevisionAction DecideRevisionKey(RevisionKey key, RevisionRowKind row) {
    switch (key) {
        case RevisionKey::Escape:
            return RevisionAction::Close;
        case RevisionKey::Enter:
            // A revision that cannot be read has nothing to show; its row
            // already says why.
            return row == RevisionRowKind::Current || row == RevisionRowKind::Revision
                       ? RevisionAction::Show
                       : RevisionAction::Nothing;
        case RevisionKey::Restore:
            return row == RevisionRowKind::Revision ? RevisionAction::AskRestore
                                                    : RevisionAction::Nothing;
        case RevisionKey::Compare:
            return row == RevisionRowKind::Revision ? RevisionAction::Compare
                                                    : RevisionAction::Nothing;
        case RevisionKey::Other:
            break;
    }
    return RevisionAction::Nothing;
}

std::string RevisionCaption(const RevisionRow& row) {
    return row.timeText + kGap +
           (row.kind == RevisionRowKind::Current ? kCurrentFileSource : row.source);
}

std::string RevisionCaption(const Revision& revision) {
    return RevisionLocalTimeText(revision.timeMs) + kGap + revision.source;
}

std::string RestoreQuestion(const RevisionRow& row) {
    return "この版に戻しますか？\n" + RevisionCaption(row) + "\n今のファイルは版として残ります。";
}

}  // namespace wexal
