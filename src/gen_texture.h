// Texture generation for a loaded voxel buffer.
#ifndef GLIMRA_GEN_TEXTURE_H
#define GLIMRA_GEN_TEXTURE_H

#include "includegl.h"
#include "load_progress.h"

class Volume;

// Builds every texture of the data set from *data (glType values, volume's
// resolution and channels). The buffer may be replaced by a padded one (the
// old one unregistered and freed with free(), see voxel_buffer.h). progress
// may cancel; false on failure or cancel.
bool generateTextures(void** data, GLenum glType, Volume& volume, ProgressCallback progress);
// The same for the mask texture.
bool generateMaskTexture(void** data, GLenum glType, Volume& volume, ProgressCallback progress);

#endif
