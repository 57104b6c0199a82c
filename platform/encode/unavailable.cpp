// The encoders in a build without them (the Windows build): the tools' PNG
// writer says it cannot write.
#include <cerrno>

#include "platform/encode/encode.h"

namespace platform::encode {

bool writePngFile(const char*, const uint8_t*, int, int) {
    errno = ENOSYS;
    return false;
}

}  // namespace platform::encode
