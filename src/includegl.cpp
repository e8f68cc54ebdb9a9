#include "includegl.h"

#include "error_handling.h"

#include <cstring>

bool extensionListContains(const char* extensions, const char* name)
{
    if (!extensions || !name)
        return false;
    const size_t len = std::strlen(name);
    const char* p = extensions;
    while (*p) {
        while (*p == ' ')
            ++p;
        const char* end = p;
        while (*end && *end != ' ')
            ++end;
        if (static_cast<size_t>(end - p) == len && len > 0 && std::strncmp(p, name, len) == 0)
            return true;
        p = end;
    }
    return false;
}

bool isExtensionSupported(const char* name)
{
    return extensionListContains(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

const char* glErrorName(GLenum code)
{
    switch (code) {
    case GL_NO_ERROR: return "GL_NO_ERROR";
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    default: return "unknown";
    }
}

static void logLine(const char* text)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << text << "\n";
    if (g_pFileLog)
        *g_pFileLog << __FILE__ << "\t" << __LINE__ << text << "\n";
}

bool checkGLError(const char* operation)
{
    GLenum err = glGetError();
    if (err == GL_NO_ERROR)
        return false;
    logLine(operation);
    // A lost context keeps answering errors; bound the loop.
    for (int guard = 0; err != GL_NO_ERROR && guard < 64; ++guard) {
        logLine(glErrorName(err));
        err = glGetError();
    }
    logLine("GL_NO_ERROR");
    return true;
}

bool texture3DRule(const char* version, bool hasTexture3DExtension)
{
    if (!version)
        return false;
    return hasTexture3DExtension || std::strcmp(version, "1.1.0") != 0;
}

bool use3DTextures()
{
    return texture3DRule(reinterpret_cast<const char*>(glGetString(GL_VERSION)),
                         isExtensionSupported("GL_EXT_texture3D"));
}

namespace {
struct ProcRule
{
    const char* name;      // entry point
    int coreVersion;       // OpenGL version (x10) that has it in core, 0 for none
    const char* extension; // extension that provides it, or null
    void* (*fetch)();      // the libepoxy resolver
};

void* fetchTexImage3D() { return reinterpret_cast<void*>(epoxy_glTexImage3D); }
void* fetchColorTableEXT() { return reinterpret_cast<void*>(epoxy_glColorTableEXT); }
void* fetchMultiTexCoord2f() { return reinterpret_cast<void*>(epoxy_glMultiTexCoord2f); }
void* fetchBlendEquationEXT() { return reinterpret_cast<void*>(epoxy_glBlendEquationEXT); }
void* fetchBlendEquationSeparateEXT()
{
    return reinterpret_cast<void*>(epoxy_glBlendEquationSeparateEXT);
}

const ProcRule kProcRules[] = {
    {"glTexImage3D", 12, "GL_EXT_texture3D", fetchTexImage3D},
    {"glColorTableEXT", 0, "GL_EXT_paletted_texture", fetchColorTableEXT},
    {"glMultiTexCoord2f", 13, "GL_ARB_multitexture", fetchMultiTexCoord2f},
    {"glBlendEquationEXT", 14, "GL_EXT_blend_minmax", fetchBlendEquationEXT},
    {"glBlendEquationSeparateEXT", 20, "GL_EXT_blend_equation_separate",
     fetchBlendEquationSeparateEXT},
};
}

void* getGLProcAddress(const char* name)
{
    if (!name || !glGetString(GL_VERSION))
        return nullptr;
    for (const ProcRule& rule : kProcRules) {
        if (std::strcmp(rule.name, name) != 0)
            continue;
        const bool core = rule.coreVersion != 0 && !epoxy_is_desktop_gl() ? false
                          : rule.coreVersion != 0 && epoxy_gl_version() >= rule.coreVersion;
        const bool ext = rule.extension && epoxy_has_gl_extension(rule.extension);
        return (core || ext) ? rule.fetch() : nullptr;
    }
    return nullptr;
}
