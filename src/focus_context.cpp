// "Focus and Context": the frame of the mask pass, the dilation passes in the
// render target and the main ray-cast pass.
#include "volume.h"

void Volume::renderFocusContext()
{
}
