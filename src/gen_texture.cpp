#include "gen_texture.h"

// Placeholder until the volume-texture generators land: a load ends after
// the histogram and the view has nothing to draw yet.
bool generateTextures(void**, GLenum, Volume&, ProgressCallback)
{
    return true;
}

bool generateMaskTexture(void**, GLenum, Volume&, ProgressCallback)
{
    return true;
}
