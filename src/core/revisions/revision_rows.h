#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "revisions/revision_store.h"

// The rows of a file's revision history as the window lists them, and what
// its keys do on each row.
namespace wexal {

enum class RevisionRowKind {
    Current,     // the file as it stands now
    Revision,    // a kept revision that can be read
    Unreadable,  // a kept revision with a problem
    Note,        // no revisions, or why they could not be listed
};

struct RevisionRow {
    RevisionRowKind kind = RevisionRowKind::Note;
    std::string text;            // as drawn, and as assistive technology reads it
    std::filesystem::path path;  // the file or the revision; empty for a note
    std::string timeText;        // local time, "" when unknown
    std::string source;          // the revision's source; "" on the other rows
};

// The file itself for the first row: its modification time and size, or why
// it cannot be read.
struct CurrentFileState {
    std::int64_t timeMs = 0;  // UTC milliseconds since the epoch
    std::int64_t size = 0;
    std::string problem;
};
CurrentFileState ReadCurrentFile(const std::filesystem::path& file);

// "2026/12/08 12:04:05.678" in the local time of the process.
std::string RevisionLocalTimeText(std::int64_t timeMs);

inline constexpr const char* kCurrentFileSource = "現在のファイル";
inline constexpr const char* kNoRevisions = "版はありません。";

// The current file's row, then the revisions newest first, or one note. The
// columns line up: time, source (as wide as the widest, within limits), and
// the size right-aligned, or the problem where the size would stand.
std::vector<RevisionRow> MakeRevisionRows(const std::filesystem::path& file,
                                          const CurrentFileState& current,
                                          const RevisionList& list);
// The same for the file as it is on the disk now.
std::vector<RevisionRow> ReadRevisionRows(const std::filesystem::path& file);

enum class RevisionKey { Enter, Restore, Compare, Escape, Other };  // Restore is R, Compare W
enum class RevisionAction {
    Nothing,
    Show,        // close the history and show the row's file in the view
    AskRestore,  // ask RestoreQuestion, then RestoreRevision on Yes
    Compare,     // compare the revision (left) with the file (right)
    Close,
};
RevisionAction DecideRevisionKey(RevisionKey key, RevisionRowKind row);

// "<time>  <source>" ("現在のファイル" for the current file): which version
// a row stands for, in one short line.
std::string RevisionCaption(const RevisionRow& row);
// The same for a kept revision: "<time>  <source>".
std::string RevisionCaption(const Revision& revision);
// "この版に戻しますか？\n<caption>\n今のファイルは版として残ります。"
std::string RestoreQuestion(const RevisionRow& row);

}  // namespace wexal
