#include "programs/program_stream.h"

#include <cerrno>

#include "platform/error_text.h"

namespace wexal {

namespace {

constexpr std::size_t kBlock = 256 * 1024;

}  // namespace

ProgramStream::ProgramStream(const std::filesystem::path& path, MessageService& messages)
    : path_(path) {
    file_ = HeldProgramFile::Open(path.string(), problem_);
    if (!file_) return;
    size_ = static_cast<std::uint64_t>(file_->size());
    switch (ChooseReading(*file_, messages)) {
        case ReadingChoice::Whole:
        case ReadingChoice::Unreadable:  // ReadText says why, without a question first
            mode_ = Mode::Bytes;
            break;
        case ReadingChoice::LineByLine:
            // An empty file has nothing to give, whatever the answer.
            mode_ = size_ > 0 ? Mode::Pieces : Mode::Nothing;
            break;
        case ReadingChoice::Declined:
            mode_ = Mode::Nothing;
            break;
    }
}

Status ProgramStream::CannotRead(const std::string& reason) const {
    return Status::Error("ファイルを読み込めません。\n" + path_.string() + "\n" + reason);
}

Status ProgramStream::StillThere() const {
    if (file_->Deleted()) return CannotRead("読み込み中にファイルが削除されました。");
    if (!file_->Unchanged()) return CannotRead("読み込み中にファイルが変更されました。");
    return Status::Ok();
}

Status ProgramStream::ReadText(const std::function<bool(std::string_view)>& onText) {
    done_ = 0;
    if (!problem_.empty()) return CannotRead(problem_);
    if (mode_ == Mode::Nothing) return Status::Ok();
    const ProgramReading reading =
        mode_ == Mode::Pieces ? ProgramReading::LineByLine : ProgramReading::Whole;
    ProgramTextSource source(*file_, reading, SourcePoint{}, kBlock, /*watch=*/true);
    std::uint64_t lookedAt = 0;
    for (TextRun run; source.Next(run);) {
        done_ = static_cast<std::uint64_t>(run.start.raw) + (run.join ? 0 : run.size);
        // A deletion leaves the held file readable: looked for once a block.
        if (done_ - lookedAt >= kBlock) {
            lookedAt = done_;
            if (Status there = StillThere(); !there) return there;
        }
        if (!onText(std::string_view(run.data, run.size))) return Status::Ok();
    }
    switch (source.failure()) {
        case ReadFailure::Changed:
            return CannotRead("読み込み中にファイルが変更されました。");
        case ReadFailure::Unreadable:
            return CannotRead(SystemErrorText(source.error()));
        case ReadFailure::None:
            break;
    }
    done_ = size_;
    return StillThere();
}

}  // namespace wexal
