// How every volume texture is uploaded and sampled. The transfer function
// switches the formats for paletted and multi-channel data, the render
// settings the filter; every texture generator reads them.
#ifndef GLIMRA_TEXTURE_FORMATS_H
#define GLIMRA_TEXTURE_FORMATS_H

#include "includegl.h"

extern GLenum textureInternalFormat; // internal format of data uploads, GL_INTENSITY at start
extern GLenum textureFormat;         // pixel format of data uploads, GL_LUMINANCE at start
// Min/mag filter, a GL enum kept as a float because it goes to the float
// variant of the texture-parameter call: GL_NEAREST (9728.0) or GL_LINEAR
// (9729.0, the default).
extern float textureFilter;
// Wrap mode of every axis, a GL enum as float (GL_CLAMP_TO_EDGE at start).
extern float textureWrap;

#endif
