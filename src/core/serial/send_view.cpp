#include "serial/send_view.h"

#include "platform/text_lines.h"

namespace wexal {

SendView::SendView(std::string text) : text_(std::move(text)) {
    for (std::size_t start = 0; start < text_.size();) {
        const TextLine line = LineAt(text_, start);
        lines_.push_back({start, line.text.size(), line.end});
        start = line.next;
    }
}

std::string_view SendView::Line(std::size_t i) const {
    const Span& span = lines_.at(i);
    return std::string_view(text_).substr(span.start, span.length);
}

int SendView::LineEndLength(std::size_t i) const { return lines_.at(i).end; }

}  // namespace wexal
