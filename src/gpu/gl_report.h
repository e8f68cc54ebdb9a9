// The report of the OpenGL implementation the information window shows: the
// three identification strings, the texture limits, the extensions the
// renderers depend on and the whole extension list, one name a line.
#ifndef GLIMRA_GL_REPORT_H
#define GLIMRA_GL_REPORT_H

#include <string>

// What the report is made of; null strings stand for strings the driver
// does not give.
struct GLReportFacts
{
    const char* vendor = nullptr;     // GL_VENDOR
    const char* renderer = nullptr;   // GL_RENDERER
    const char* version = nullptr;    // GL_VERSION
    int maxTextureSize = 0;           // GL_MAX_TEXTURE_SIZE
    int max3DTextureSize = 0;         // GL_MAX_3D_TEXTURE_SIZE
    bool texture3D = false;           // "GL_EXT_texture3D" is advertised
    bool blendMinmax = false;         // "GL_EXT_blend_minmax"
    bool palettedTexture = false;     // "GL_EXT_paletted_texture"
    const char* extensions = nullptr; // GL_EXTENSIONS; null leaves the list out
};

// The report text. Extension names are the blank-separated words of the
// extension string, in its order, each followed by a line feed.
std::string formatGLReport(const GLReportFacts& facts);

// The facts of the current context (the strings belong to the driver and
// last while the context does).
GLReportFacts currentGLFacts();

// formatGLReport of the current context.
std::string currentGLReport();

#endif
