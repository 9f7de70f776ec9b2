#include "files/program_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error_text.h"

namespace wexal {

namespace {

constexpr std::size_t kBlock = 256 * 1024;
constexpr std::size_t kPieceLimit = 500;

// The loader's reading line by line: LF ends a line, a CR just before it
// goes, a line comes in pieces of at most 500 bytes counted with its NULs,
// NULs are left out, an empty piece is dropped and pieces join with LF.
class PieceCutter {
public:
    void Add(std::string_view bytes, std::string& out) {
        for (const char c : bytes) {
            if (pendingReturn_) {
                pendingReturn_ = false;
                if (c == '\n') {
                    EndLine(out);
                    continue;
                }
                AddByte('\r', out);
            }
            if (c == '\n') {
                EndLine(out);
            } else if (c == '\r') {
                pendingReturn_ = true;
            } else {
                AddByte(c, out);
            }
        }
    }

    void Finish(std::string& out) {
        if (pendingReturn_) AddByte('\r', out);
        pendingReturn_ = false;
        EndLine(out);
    }

private:
    void AddByte(char c, std::string& out) {
        if (c != '\0') kept_ += c;
        if (++counted_ == kPieceLimit) EndPiece(out);
    }
    void EndPiece(std::string& out) {
        if (!kept_.empty()) {
            if (any_) out += '\n';
            out += kept_;
            any_ = true;
        }
        kept_.clear();
        counted_ = 0;
    }
    void EndLine(std::string& out) {
        if (counted_ > 0) EndPiece(out);
    }

    std::string kept_;
    std::size_t counted_ = 0;
    bool pendingReturn_ = false;
    bool any_ = false;
};

}  // namespace

ProgramStream::ProgramStream(const std::filesystem::path& path, MessageService& messages)
    : path_(path) {
    // O_NONBLOCK: a FIFO under the name must not hang the window in open().
    fd_.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!fd_ || ::fstat(fd_.get(), &info) != 0) {
        problem_ = SystemErrorText(errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        problem_ = S_ISDIR(info.st_mode) ? SystemErrorText(EISDIR) : "通常のファイルではありません。";
        return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    modified_ = info.st_mtim;
    char first = '\0';
    const ssize_t got = size_ > 0 ? ::pread(fd_.get(), &first, 1, 0) : 0;
    // A failed read is reported by ReadText, without a question first.
    if (got < 0 || (got > 0 && first != '\0')) {
        mode_ = Mode::Bytes;
        return;
    }
    const bool yes =
        messages.AskYesNo(kNotTextQuestion, DefaultCaption(MessageIcon::Warning),
                          MessageIcon::Warning);
    // An empty file has nothing to give, whatever the answer.
    mode_ = yes && size_ > 0 ? Mode::Pieces : Mode::Nothing;
}

Status ProgramStream::CannotRead(const std::string& reason) const {
    return Status::Error("ファイルを読み込めません。\n" + path_.string() + "\n" + reason);
}

Status ProgramStream::Unchanged() const {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) return CannotRead(SystemErrorText(errno));
    if (info.st_nlink == 0) return CannotRead("読み込み中にファイルが削除されました。");
    if (static_cast<std::uint64_t>(info.st_size) != size_ ||
        info.st_mtim.tv_sec != modified_.tv_sec || info.st_mtim.tv_nsec != modified_.tv_nsec) {
        return CannotRead("読み込み中にファイルが変更されました。");
    }
    return Status::Ok();
}

Status ProgramStream::ReadText(const std::function<bool(std::string_view)>& onText) {
    done_ = 0;
    if (!problem_.empty()) return CannotRead(problem_);
    if (mode_ == Mode::Nothing) return Status::Ok();
    std::string block(kBlock, '\0');
    std::string pieces;
    PieceCutter cutter;
    for (;;) {
        const ssize_t got = ::pread(fd_.get(), block.data(), block.size(), static_cast<off_t>(done_));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return CannotRead(SystemErrorText(errno));
        if (got == 0) break;
        done_ += static_cast<std::uint64_t>(got);
        if (Status same = Unchanged(); !same) return same;
        std::string_view chunk(block.data(), static_cast<std::size_t>(got));
        if (mode_ == Mode::Pieces) {
            cutter.Add(chunk, pieces);
            if (pieces.size() < kBlock) continue;
            chunk = pieces;
        } else if (std::memchr(chunk.data(), '\0', chunk.size()) != nullptr) {
            // NUL is tape leader and fill, not text.
            chunk = chunk.substr(0, static_cast<std::size_t>(
                                        std::remove(block.begin(), block.begin() + got, '\0') -
                                        block.begin()));
        }
        if (!chunk.empty() && !onText(chunk)) return Status::Ok();
        pieces.clear();
    }
    if (done_ != size_) return CannotRead("読み込み中にファイルが変更されました。");
    if (Status same = Unchanged(); !same) return same;
    if (mode_ == Mode::Pieces) {
        cutter.Finish(pieces);
        if (!pieces.empty()) onText(pieces);
    }
    return Status::Ok();
}

}  // namespace wexal
