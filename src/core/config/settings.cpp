#include "config/settings.h"

#include "platform/path_rules.h"

namespace wexal {

// Every other default sits beside its field; the folder depends on the user.
Settings::Settings() : DirPath(PathRules::DefaultFolder()) {}

}  // namespace wexal
