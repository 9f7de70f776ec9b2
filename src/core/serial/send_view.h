#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// The program as the transfer view holds it: the bytes LoadFileIntoView gave
// and where each line starts, found once, so that line i costs the same at
// the start of a 10 MB program as at its end. A line ends at CR LF, LF or a
// lone CR; text after the last line end is one more line.
class SendView {
public:
    SendView() = default;
    explicit SendView(std::string text);

    bool empty() const { return text_.empty(); }
    const std::string& text() const { return text_; }
    std::size_t LineCount() const { return lines_.size(); }
    // Line i without its line end.
    std::string_view Line(std::size_t i) const;
    // 2 for CR LF, 1 for LF or CR, 0 for a last line without one.
    int LineEndLength(std::size_t i) const;

private:
    struct Span {
        std::size_t start = 0;
        std::size_t length = 0;
        std::uint8_t end = 0;
    };
    std::string text_;
    std::vector<Span> lines_;
};

}  // namespace wexal
