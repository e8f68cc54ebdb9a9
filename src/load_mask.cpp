// Mask readers: placeholders until mask loading lands. Until then a mask load
// shows "Failed." and leaves no mask.
#include "load.h"

#include "error_handling.h"

namespace {

bool maskNotAvailable()
{
    logBoth(__FILE__, __LINE__, "Mask loading is not available in this build.\n");
    return false;
}

} // namespace

bool readMaskZvf(const std::string&, void** data, GLenum*, Volume&)
{
    *data = nullptr;
    return maskNotAvailable();
}

bool readMaskDescription(const std::string&, void** data, GLenum*, Volume&)
{
    *data = nullptr;
    return maskNotAvailable();
}

bool reduceMaskTo8Bit(void**, GLenum*, Volume&)
{
    return false;
}
