#include "files/input_line.h"

namespace wexal {

bool IsCharPermitted(char c, const std::string& forbidden) {
    return forbidden.find(c) == std::string::npos;
}

CharRule FileNameCharRule(const std::string& allFiles) {
    if (allFiles == "Y") {
        return {"/:,;*?<>|", "この文字はファイル名に使えません。\n/:,;*?<>|"};
    }
    return {"/:,;*?<>|.", "この文字はファイル名に使えません。\n/:,;*?<>|."};
}

}  // namespace wexal
