#include "serial/posix/posix_io.h"

#include <cerrno>

namespace wexal::posix_io {

bool IsLineGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

}  // namespace wexal::posix_io
