#include "programs/program_text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error_text.h"
#include "platform/os_file.h"

namespace wexal {

namespace {

constexpr std::size_t kIndexBlock = 1 << 20;
constexpr std::size_t kLookupBlock = 64 << 10;
constexpr std::uint64_t kLinesPerCheckpoint = 256;
constexpr std::uint64_t kBytesPerCheckpoint = 64 << 10;
constexpr char kJoin = '\n';

constexpr const char* kNotAFile = "通常のファイルではありません。";

}  // namespace

std::shared_ptr<HeldProgramFile> HeldProgramFile::Open(const std::string& path,
                                                       std::string& problem) {
    problem.clear();
    // O_NONBLOCK: a FIFO under the name must not hang the window in open().
    const int fd = OpenFile(Utf8Path(path), O_RDONLY | kOpenNonBlock);
    if (fd < 0) {
        problem = SystemErrorText(errno);
        return nullptr;
    }
    return Adopt(fd, path, problem);
}

std::shared_ptr<HeldProgramFile> HeldProgramFile::Adopt(int fd, const std::string& path,
                                                        std::string& problem) {
    problem.clear();
    const std::optional<FileStatus> info = StatFile(fd);
    if (!info) {
        problem = SystemErrorText(errno);
        ::close(fd);
        return nullptr;
    }
    if (info->type != FileStatus::Type::Regular) {
        problem = info->type == FileStatus::Type::Directory ? SystemErrorText(EISDIR) : kNotAFile;
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<HeldProgramFile>(
        new HeldProgramFile(fd, path, info->size, info->modifiedNs));
}

HeldProgramFile::HeldProgramFile(int fd, std::string path, std::int64_t size,
                                 std::int64_t modifiedNs)
    : fd_(fd), path_(std::move(path)), size_(size), modifiedNs_(modifiedNs) {}

HeldProgramFile::~HeldProgramFile() { ::close(fd_); }

long HeldProgramFile::ReadAt(std::int64_t offset, char* into, std::size_t n) const {
    return static_cast<long>(ReadFileAt(fd_, into, n, offset));
}

bool HeldProgramFile::Unchanged() const {
    const std::optional<FileStatus> info = StatFile(fd_);
    return info && info->size == size_ && info->modifiedNs == modifiedNs_;
}

bool HeldProgramFile::Deleted() const {
    const std::optional<FileStatus> info = StatFile(fd_);
    return info && info->links == 0;
}

ProgramTextSource::ProgramTextSource(const HeldProgramFile& file, ProgramReading reading,
                                     SourcePoint from, std::size_t blockSize, bool watch)
    : file_(file), reading_(reading), state_(from), block_(blockSize), watch_(watch) {}

bool ProgramTextSource::Fail(ReadFailure failure, int error) {
    failure_ = failure;
    error_ = error;
    return false;
}

bool ProgramTextSource::Load() {
    if (failure_ != ReadFailure::None) return false;
    if (state_.raw >= file_.size()) return false;
    if (state_.raw >= blockStart_ &&
        state_.raw < blockStart_ + static_cast<std::int64_t>(blockLength_)) {
        return true;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
        static_cast<std::int64_t>(block_.size()), file_.size() - state_.raw));
    const long got = file_.ReadAt(state_.raw, block_.data(), want);
    if (got < 0) return Fail(ReadFailure::Unreadable, errno);
    // What came may already be another content than the one opened: looked
    // at after the read, so nothing of a change is ever passed on.
    if (watch_ && !file_.Unchanged()) return Fail(ReadFailure::Changed, 0);
    // Shorter than at the open: the file was cut meanwhile.
    if (got == 0) return watch_ ? Fail(ReadFailure::Changed, 0) : false;
    blockStart_ = state_.raw;
    blockLength_ = static_cast<std::size_t>(got);
    return true;
}

int ProgramTextSource::ByteAt(std::int64_t raw) {
    if (raw >= file_.size()) return -1;
    if (raw >= blockStart_ && raw < blockStart_ + static_cast<std::int64_t>(blockLength_)) {
        return static_cast<unsigned char>(block_[static_cast<std::size_t>(raw - blockStart_)]);
    }
    char c = 0;
    return file_.ReadAt(raw, &c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
}

bool ProgramTextSource::Next(TextRun& run) {
    return reading_ == ProgramReading::Whole ? NextWhole(run) : NextPiece(run);
}

bool ProgramTextSource::NextWhole(TextRun& run) {
    while (Load()) {
        const char* at = block_.data() + (state_.raw - blockStart_);
        const std::size_t left = static_cast<std::size_t>(
            blockStart_ + static_cast<std::int64_t>(blockLength_) - state_.raw);
        const auto* nul = static_cast<const char*>(std::memchr(at, '\0', left));
        const std::size_t length = nul != nullptr ? static_cast<std::size_t>(nul - at) : left;
        if (length == 0) {
            // NUL is tape fill: left out wherever it stands.
            std::size_t fill = 0;
            while (fill < left && at[fill] == '\0') ++fill;
            state_.raw += static_cast<std::int64_t>(fill);
            continue;
        }
        run = TextRun{at, length, state_, false};
        state_.raw += static_cast<std::int64_t>(length);
        return true;
    }
    return false;
}

bool ProgramTextSource::NextPiece(TextRun& run) {
    while (Load()) {
        const char* at = block_.data() + (state_.raw - blockStart_);
        const std::size_t left = static_cast<std::size_t>(
            blockStart_ + static_cast<std::int64_t>(blockLength_) - state_.raw);
        const char c = at[0];
        if (c == '\n') {
            ++state_.raw;
            state_.pieceLeft = 0;
            state_.pieceShown = false;
            continue;
        }
        // Read as text, a CR LF line end is one line end.
        if (c == '\r' && ByteAt(state_.raw + 1) == '\n') {
            ++state_.raw;
            continue;
        }
        if (state_.pieceLeft == 0) {
            state_.pieceLeft = static_cast<std::int32_t>(kLinePieceLimit);
            state_.pieceShown = false;
        }
        if (c == '\0') {
            ++state_.raw;
            --state_.pieceLeft;
            continue;
        }
        if (!state_.pieceShown && state_.anyShown) {
            static constexpr char join = kJoin;
            run = TextRun{&join, 1, state_, true};
            state_.pieceShown = true;
            return true;
        }
        state_.pieceShown = true;
        state_.anyShown = true;
        const std::size_t limit = std::min(left, static_cast<std::size_t>(state_.pieceLeft));
        std::size_t length = 0;
        while (length < limit) {
            const char b = at[length];
            if (b == '\0' || b == '\n') break;
            if (b == '\r' && ByteAt(state_.raw + static_cast<std::int64_t>(length) + 1) == '\n')
                break;
            ++length;
        }
        run = TextRun{at, length, state_, false};
        state_.raw += static_cast<std::int64_t>(length);
        state_.pieceLeft -= static_cast<std::int32_t>(length);
        return true;
    }
    return false;
}

LineScanner::LineScanner(const HeldProgramFile& file, ProgramReading reading, SourcePoint from,
                         std::size_t blockSize, bool watch)
    : reading_(reading), source_(file, reading, from, blockSize, watch) {}

bool LineScanner::Fetch() {
    pos_ = 0;
    if (source_.Next(run_)) return true;
    run_ = TextRun{};
    return false;
}

SourcePoint LineScanner::PointAt(std::size_t pos) const {
    SourcePoint point = run_.start;
    if (run_.join || pos == 0) return point;
    point.raw += static_cast<std::int64_t>(pos);
    if (reading_ == ProgramReading::LineByLine) point.pieceLeft -= static_cast<std::int32_t>(pos);
    return point;
}

bool LineScanner::MoreText() {
    if (inLine_) return true;
    if (pos_ < run_.size) return true;
    return Fetch();
}

LineScanner::Result LineScanner::Next(std::string* content, std::size_t stopAfter) {
    if (!inLine_) {
        if (pos_ == run_.size && !Fetch()) {
            return failure() == ReadFailure::None ? Result::End : Result::Failed;
        }
        lineStart_ = PointAt(pos_);
        inLine_ = true;
        endLength_ = 0;
        lineBytes_ = 0;
    }
    std::size_t passed = 0;
    while (true) {
        if (pos_ == run_.size && !Fetch()) {
            if (failure() != ReadFailure::None) return Result::Failed;
            inLine_ = false;
            endLength_ = 0;
            return Result::Line;
        }
        const char* at = run_.data + pos_;
        std::size_t left = run_.size - pos_;
        if (passed >= stopAfter) return Result::More;
        left = std::min(left, stopAfter - passed);
        // Two memchr calls rather than a byte-by-byte search for either end.
        const auto* feed = static_cast<const char*>(std::memchr(at, '\n', left));
        const std::size_t limit = feed != nullptr ? static_cast<std::size_t>(feed - at) : left;
        const auto* ret = static_cast<const char*>(std::memchr(at, '\r', limit));
        const char* end = ret != nullptr ? ret : feed;
        if (end == nullptr) {
            if (content != nullptr) content->append(at, left);
            pos_ += left;
            passed += left;
            lineBytes_ += left;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(end - at);
        if (content != nullptr) content->append(at, length);
        pos_ += length + 1;
        lineBytes_ += length + 1;
        endLength_ = 1;
        if (*end == '\r') {
            // The LF of a CR LF may stand in the next run.
            if (pos_ == run_.size) {
                if (!Fetch() && failure() != ReadFailure::None) return Result::Failed;
            }
            if (pos_ < run_.size && run_.data[pos_] == '\n') {
                ++pos_;
                ++lineBytes_;
                endLength_ = 2;
            }
        }
        inLine_ = false;
        return Result::Line;
    }
}

ProgramText::ProgramText(std::shared_ptr<HeldProgramFile> file, ProgramReading reading)
    : file_(std::move(file)), reading_(reading) {
    LineScanner first(*file_, reading_, SourcePoint{}, kLookupBlock, false);
    empty_ = !first.MoreText();
    if (empty_) {
        done_ = true;
        return;
    }
    thread_ = std::thread([this] { Index(); });
}

ProgramText::~ProgramText() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ProgramText::Index() {
    LineScanner scanner(*file_, reading_, SourcePoint{}, kIndexBlock, false);
    std::uint64_t line = 0;
    std::uint64_t sinceCheckpoint = 0;
    constexpr std::size_t kStep = 1 << 20;
    while (!stop_.load(std::memory_order_relaxed)) {
        LineScanner::Result result = scanner.Next(nullptr, kStep);
        // A line of many megabytes: stop_ is looked at every megabyte of it.
        while (result == LineScanner::Result::More && !stop_.load(std::memory_order_relaxed)) {
            result = scanner.Next(nullptr, kStep);
        }
        if (result != LineScanner::Result::Line) {
            if (result == LineScanner::Result::Failed) {
                const std::lock_guard lock(mutex_);
                failure_ = SystemErrorText(scanner.error());
            }
            break;
        }
        if (line % kLinesPerCheckpoint == 0 || sinceCheckpoint >= kBytesPerCheckpoint) {
            const std::lock_guard lock(mutex_);
            checkpoints_.push_back({line, scanner.lineStart()});
            sinceCheckpoint = 0;
        }
        sinceCheckpoint += scanner.lineBytes();
        ++line;
        lines_.store(static_cast<std::size_t>(line), std::memory_order_release);
    }
    {
        const std::lock_guard lock(mutex_);
        done_.store(true, std::memory_order_release);
    }
    indexed_.notify_all();
}

std::size_t ProgramText::WaitIndexed() const {
    std::unique_lock lock(mutex_);
    indexed_.wait(lock, [this] { return done_.load(); });
    return lines_.load();
}

std::string ProgramText::IndexFailure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

std::size_t ProgramText::CheckpointCount() const {
    const std::lock_guard lock(mutex_);
    return checkpoints_.size();
}

bool ProgramText::CheckpointBefore(std::uint64_t line, Checkpoint& found) const {
    const std::lock_guard lock(mutex_);
    const auto after = std::upper_bound(
        checkpoints_.begin(), checkpoints_.end(), line,
        [](std::uint64_t value, const Checkpoint& point) { return value < point.line; });
    // The first line starts where the text does, indexed or not yet.
    found = after == checkpoints_.begin() ? Checkpoint{} : *(after - 1);
    return true;
}

bool ProgramText::CheckpointAt(std::uint64_t line, Checkpoint& found) const {
    return CheckpointBefore(line, found) && found.line == line;
}

bool ProgramText::SkipLongLine(LineScanner& scanner, std::uint64_t line,
                               std::unique_ptr<LineScanner>& fresh) const {
    // A line past 64 KB is always followed by a start in the index: go there
    // rather than read the rest of it.
    Checkpoint next;
    if (CheckpointAt(line + 1, next)) {
        fresh = std::make_unique<LineScanner>(*file_, reading_, next.start, kLookupBlock, false);
        return true;
    }
    LineScanner::Result result;
    do {
        result = scanner.Next(nullptr, kBytesPerCheckpoint);
    } while (result == LineScanner::Result::More);
    return result == LineScanner::Result::Line;
}

std::vector<ProgramText::Line> ProgramText::Lines(std::size_t first, std::size_t count,
                                                  std::size_t cap) const {
    std::vector<Line> lines;
    if (empty_ || count == 0) return lines;
    Checkpoint from;
    CheckpointBefore(first, from);
    // Far past what the index has reached, the way there would be long: the
    // index gets there first.
    if (first - from.line > 4 * kLinesPerCheckpoint) return lines;
    auto scanner = std::make_unique<LineScanner>(*file_, reading_, from.start, kLookupBlock, false);
    std::uint64_t line = from.line;
    while (line < first) {
        const LineScanner::Result result = scanner->Next(nullptr, kBytesPerCheckpoint);
        if (result == LineScanner::Result::More) {
            std::unique_ptr<LineScanner> fresh;
            if (!SkipLongLine(*scanner, line, fresh)) return lines;
            if (fresh) scanner = std::move(fresh);
        } else if (result != LineScanner::Result::Line) {
            return lines;
        }
        ++line;
    }
    while (lines.size() < count) {
        Line shown;
        const LineScanner::Result result = scanner->Next(&shown.text, cap);
        if (result == LineScanner::Result::More) {
            shown.cut = true;
            std::unique_ptr<LineScanner> fresh;
            const bool more = SkipLongLine(*scanner, line, fresh);
            if (fresh) {
                scanner = std::move(fresh);
            } else {
                shown.end = scanner->endLength();
            }
            lines.push_back(std::move(shown));
            if (!more) break;
        } else if (result == LineScanner::Result::Line) {
            shown.end = scanner->endLength();
            lines.push_back(std::move(shown));
        } else {
            break;
        }
        ++line;
    }
    return lines;
}

ReadingChoice ChooseReading(const HeldProgramFile& file, MessageService& messages) {
    char first = '\0';
    if (file.size() > 0 && file.ReadAt(0, &first, 1) < 0) return ReadingChoice::Unreadable;
    if (file.size() > 0 && first != '\0') return ReadingChoice::Whole;
    return messages.AskYesNo(kFormatQuestion, DefaultCaption(MessageIcon::Warning),
                             MessageIcon::Warning)
               ? ReadingChoice::LineByLine
               : ReadingChoice::Declined;
}

}  // namespace wexal
