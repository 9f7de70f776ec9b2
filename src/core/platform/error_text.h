#pragma once

#include <string>

namespace wexal {

// The reason behind a failed system call, in words an operator reads: the
// common causes in Japanese, anything rarer as the system states it.
std::string SystemErrorText(int error);

}  // namespace wexal
