#include "serial/send_view.h"

namespace wexal {

SendView::SendView(std::string text) : text_(std::move(text)) {
    std::size_t start = 0;
    const std::size_t size = text_.size();
    while (start < size) {
        const std::size_t end = text_.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines_.push_back({start, size - start, 0});
            break;
        }
        const std::uint8_t endLength =
            text_[end] == '\r' && end + 1 < size && text_[end + 1] == '\n' ? 2 : 1;
        lines_.push_back({start, end - start, endLength});
        start = end + endLength;
    }
}

std::string_view SendView::Line(std::size_t i) const {
    const Span& span = lines_.at(i);
    return std::string_view(text_).substr(span.start, span.length);
}

int SendView::LineEndLength(std::size_t i) const { return lines_.at(i).end; }

}  // namespace wexal
