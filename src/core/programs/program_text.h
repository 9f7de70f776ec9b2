#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_service.h"

namespace wexal {

// A program for the view and the send, read from its file as it is needed
// instead of held in memory: the view shows the lines it has room for, the
// send streams, and a line index built in the background finds line i of a
// program of any size at the same cost.
//
// The text is the one the whole-file loader of old gave, byte for byte:
// - Whole: the file's bytes without its NULs (tape fill, wherever it stands);
// - LineByLine (a file that is empty or starts with NUL, after Yes to the
//   format question): the file read as text, a line at each LF, a CR before
//   the LF dropped, each line in pieces of at most 500 bytes, NULs left out,
//   the pieces that keep anything joined by LF.
// Lines of that text end at CR LF, LF or a lone CR; text after the last line
// end is one more line (LineAt's rule).

enum class ProgramReading : std::uint8_t { Whole, LineByLine };

inline constexpr std::size_t kLinePieceLimit = 500;

// The question before a file that is empty or starts with NUL is read line by line.
inline constexpr const char* kFormatQuestion =
    "ファイル形式が違います。\n"
    "そのまま読み込みは可能ですが、データの一部読み込めない可能性が有ります。\n"
    "読み込み開始は「はい(Y)」";

// The file, held open from the key press: what is read is the content that
// was opened, also when a new file is renamed over its name or the name is
// deleted. It is read with pread only (never mapped, so a truncation can
// never fault) and from several threads at once.
class HeldProgramFile {
public:
    // Opens path for reading; null, with the reason in problem, when it is
    // gone, unreadable or no regular file.
    static std::shared_ptr<HeldProgramFile> Open(const std::string& path, std::string& problem);
    // The same for a descriptor open for reading, which it takes over (closed
    // also on failure); path is the name it goes by.
    static std::shared_ptr<HeldProgramFile> Adopt(int fd, const std::string& path,
                                                  std::string& problem);
    ~HeldProgramFile();
    HeldProgramFile(const HeldProgramFile&) = delete;
    HeldProgramFile& operator=(const HeldProgramFile&) = delete;

    const std::string& path() const { return path_; }
    // The size at the open; reading stops there.
    std::int64_t size() const { return size_; }
    // Up to n bytes at offset; -1 with errno on failure.
    long ReadAt(std::int64_t offset, char* into, std::size_t n) const;
    // The file is as it was opened: same size and modification time (to the
    // nanosecond). A rewrite of the same size within one tick of the file
    // system's clock cannot be told.
    bool Unchanged() const;
    // No name leads to the file any more.
    bool Deleted() const;

private:
    HeldProgramFile(int fd, std::string path, std::int64_t size, std::int64_t modifiedNs);
    int fd_;
    std::string path_;
    std::int64_t size_;
    std::int64_t modifiedNs_;
};

// How an opened file is read, for the view, the send and the tools alike:
// by its first byte, and for a file that is empty or starts with NUL by the
// answer to kFormatQuestion (No: Declined). Unreadable: the first byte could
// not be read, errno says why.
enum class ReadingChoice : std::uint8_t { Whole, LineByLine, Declined, Unreadable };
ReadingChoice ChooseReading(const HeldProgramFile& file, MessageService& messages);

// Where the text's making stands, so that it can go on from there: the next
// byte of the file and, line by line, the piece in progress.
struct SourcePoint {
    std::int64_t raw = 0;
    std::int32_t pieceLeft = 0;  // bytes of the file left in the piece; 0: none begun
    bool pieceShown = false;     // the piece has given a byte (its joining LF is out)
    bool anyShown = false;       // a piece has been given before
};

// A stretch of the text taken from consecutive bytes of the file, or the LF
// that joins two pieces.
struct TextRun {
    const char* data = nullptr;
    std::size_t size = 0;
    SourcePoint start;  // the state before its first byte
    bool join = false;
};

// Why a read stopped short.
enum class ReadFailure : std::uint8_t { None, Changed, Unreadable };

// Makes the text from the file, run by run, in blocks of blockSize.
// watch: the file is looked at after every block read; a file changed since
// the open stops it with ReadFailure::Changed.
class ProgramTextSource {
public:
    ProgramTextSource(const HeldProgramFile& file, ProgramReading reading, SourcePoint from,
                      std::size_t blockSize, bool watch);
    // The next run; false at the end of the text or on a failure.
    bool Next(TextRun& run);
    ReadFailure failure() const { return failure_; }
    int error() const { return error_; }

private:
    bool NextWhole(TextRun& run);
    bool NextPiece(TextRun& run);
    // The block that holds state_.raw is loaded; false at the end or on a failure.
    bool Load();
    // The byte at raw, or -1 past the end.
    int ByteAt(std::int64_t raw);
    bool Fail(ReadFailure failure, int error);

    const HeldProgramFile& file_;
    ProgramReading reading_;
    SourcePoint state_;
    std::vector<char> block_;
    std::int64_t blockStart_ = 0;
    std::size_t blockLength_ = 0;
    bool watch_;
    ReadFailure failure_ = ReadFailure::None;
    int error_ = 0;
};

// Walks the lines of the text from a point where a line starts.
class LineScanner {
public:
    LineScanner(const HeldProgramFile& file, ProgramReading reading, SourcePoint from,
                std::size_t blockSize, bool watch);

    enum class Result { Line, More, End, Failed };
    // Reads on in the line at hand, adding its bytes (without the line end)
    // to content when it is given. Line: the line ended (or the text did);
    // More: stopAfter bytes of it went by without an end, call again to go on;
    // End: no text is left, there is no further line; Failed: see failure().
    Result Next(std::string* content,
                std::size_t stopAfter = std::numeric_limits<std::size_t>::max());

    // Of the line read last: where it starts, its end (2 CR LF, 1 LF or CR,
    // 0 none) and its bytes with the end.
    const SourcePoint& lineStart() const { return lineStart_; }
    int endLength() const { return endLength_; }
    std::uint64_t lineBytes() const { return lineBytes_; }
    // There is text after the line read last (false at the end or on a failure).
    bool MoreText();
    ReadFailure failure() const { return source_.failure(); }
    int error() const { return source_.error(); }

private:
    bool Fetch();
    SourcePoint PointAt(std::size_t pos) const;

    ProgramReading reading_;
    ProgramTextSource source_;
    TextRun run_;
    std::size_t pos_ = 0;
    bool inLine_ = false;
    SourcePoint lineStart_;
    int endLength_ = 0;
    std::uint64_t lineBytes_ = 0;
};

// The text of one file with its line index. The index keeps the start of
// every 256th line (and of the line after any 64 KB without one), never a
// record per line, so a program of 30 million lines needs about 4 MB; it is
// built by a thread of its own from the moment the text is made, and line i
// is then found by reading at most about 64 KB from the start before it.
class ProgramText {
public:
    ProgramText(std::shared_ptr<HeldProgramFile> file, ProgramReading reading);
    ~ProgramText();
    ProgramText(const ProgramText&) = delete;
    ProgramText& operator=(const ProgramText&) = delete;

    const HeldProgramFile& file() const { return *file_; }
    ProgramReading reading() const { return reading_; }
    // The text has no byte at all.
    bool empty() const { return empty_; }

    // Lines indexed so far; every line once Indexed().
    std::size_t LinesIndexed() const { return lines_.load(std::memory_order_acquire); }
    bool Indexed() const { return done_.load(std::memory_order_acquire); }
    // Blocks until the index is complete; the line count.
    std::size_t WaitIndexed() const;
    // What stopped the index short ("" when nothing did): an unreadable file.
    std::string IndexFailure() const;
    std::size_t CheckpointCount() const;

    struct Line {
        std::string text;  // at most cap bytes of it
        int end = 0;       // 2 CR LF, 1 LF or a lone CR, 0 none
        bool cut = false;  // the line is longer than text
    };
    // The lines from first on, at most count of them and of each at most cap
    // bytes; fewer at the end of the text or of what the index has reached.
    std::vector<Line> Lines(std::size_t first, std::size_t count, std::size_t cap) const;

    // Where line `line` starts, when the index holds it or one before it.
    struct Checkpoint {
        std::uint64_t line = 0;
        SourcePoint start;
    };

private:
    void Index();
    bool CheckpointBefore(std::uint64_t line, Checkpoint& found) const;
    bool CheckpointAt(std::uint64_t line, Checkpoint& found) const;
    // Passes the rest of the line the scanner is in; false when the text ended.
    bool SkipLongLine(LineScanner& scanner, std::uint64_t line,
                      std::unique_ptr<LineScanner>& fresh) const;

    std::shared_ptr<HeldProgramFile> file_;
    ProgramReading reading_;
    bool empty_ = true;

    mutable std::mutex mutex_;
    mutable std::condition_variable indexed_;
    std::vector<Checkpoint> checkpoints_;
    std::string failure_;
    std::atomic<std::size_t> lines_{0};
    std::atomic<bool> done_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace wexal
