#include "serial/send_view.h"

#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"

namespace wexal {

namespace {

constexpr std::size_t kSendBlock = 64 << 10;

std::shared_ptr<const ProgramText> InMemory(const std::string& text) {
    const int fd = OpenAnonymousFile();
    if (fd < 0) throw std::runtime_error(SystemErrorText(errno));
    if (!WriteAll(fd, text)) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(SystemErrorText(error));
    }
    std::string problem;
    auto file = HeldProgramFile::Adopt(fd, "wexal-view", problem);
    if (!file) throw std::runtime_error(problem);
    return std::make_shared<const ProgramText>(std::move(file), ProgramReading::Whole);
}

}  // namespace

SendView::SendView(const std::string& text) : program_(InMemory(text)) {}

std::size_t SendView::LineCount() const { return empty() ? 0 : program_->WaitIndexed(); }

std::string SendView::Line(std::size_t i) const {
    if (i >= LineCount()) throw std::out_of_range("SendView::Line");
    auto lines = program_->Lines(i, 1, std::string::npos);
    return lines.empty() ? std::string() : std::move(lines.front().text);
}

int SendView::LineEndLength(std::size_t i) const {
    if (i >= LineCount()) throw std::out_of_range("SendView::LineEndLength");
    const auto lines = program_->Lines(i, 1, std::string::npos);
    return lines.empty() ? 0 : lines.front().end;
}

SendViewReader::SendViewReader(const SendView& view) : program_(view.program()) {
    if (program_ && !program_->empty()) {
        scanner_ = std::make_unique<LineScanner>(program_->file(), program_->reading(),
                                                 SourcePoint{}, kSendBlock, true);
    }
}

SendViewReader::Result SendViewReader::Next(std::string& line, int& endLength) {
    line.clear();
    endLength = 0;
    if (!scanner_) return Result::End;
    switch (scanner_->Next(&line)) {
        case LineScanner::Result::Line: endLength = scanner_->endLength(); return Result::Line;
        case LineScanner::Result::End: return Result::End;
        case LineScanner::Result::More: return Result::Line;  // not asked for
        case LineScanner::Result::Failed: break;
    }
    return scanner_->failure() == ReadFailure::Changed ? Result::Changed : Result::Unreadable;
}

bool SendViewReader::MoreLines() { return scanner_ && scanner_->MoreText(); }

int SendViewReader::error() const { return scanner_ ? scanner_->error() : 0; }

}  // namespace wexal
