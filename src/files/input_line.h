#pragma once

#include <string>

namespace wexal {

// IsCharPermitted: c does not occur in forbidden.
bool IsCharPermitted(char c, const std::string& forbidden);

// The characters a file name typed into the input line may not hold (modes
// "2" receive name and "4" copy name) and the message that refuses one. The
// dot is refused too unless ALL-Files is "Y", as the extension then comes
// from the mask.
struct CharRule {
    std::string forbidden;
    std::string message;
};
CharRule FileNameCharRule(const std::string& allFiles);

}  // namespace wexal
