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
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!extensions || !name)
        return false;
    // A private copy: the driver's string may change under later GL calls.
    const size_t len = std::strlen(extensions);
    char* text = nullptr;
    char* text2 = nullptr;
    GUARDED_ARRAY_AS(text, "text", char, len + 1);
    GUARDED_ARRAY_AS(text2, "text2", char, len + 1);
    bool found = false;
    if (text && text2) {
        std::memcpy(text, extensions, len + 1);
        found = extensionListContains(text, name);
    }
    if (text)
        RELEASE_ARRAY(text);
    if (text2)
        RELEASE_ARRAY(text2);
    return found;
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

// One report line on both channels, the file channel with the site.
static void logLine(const char* text)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << text << "\n";
    if (g_pFileLog)
        *g_pFileLog << __FILE__ << "\t" << __LINE__ << text << "\n";
}

bool reportGLErrors(const char* operation, GLenum (*nextError)())
{
    GLenum err = nextError();
    if (err == GL_NO_ERROR)
        return false;
    logLine(operation ? operation : "");
    // A lost context may keep answering errors; bound the loop.
    for (int guard = 0; err != GL_NO_ERROR && guard < 64; ++guard) {
        logLine(glErrorName(err));
        err = nextError();
    }
    logLine("GL_NO_ERROR");
    return true;
}

static GLenum currentGLError()
{
    return glGetError();
}

bool checkGLError(const char* operation)
{
    return reportGLErrors(operation, currentGLError);
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
    int coreVersion;       // desktop OpenGL version (x10) that has it in core, 0 for none
    const char* extension; // extension that provides it, or null
    void* (*fetch)();      // the libepoxy dispatcher
};

template <typename F> void* asVoid(F f) { return reinterpret_cast<void*>(f); }

// libepoxy resolves each dispatcher per context, aliases (the EXT/ARB names)
// included, at its first call.
const ProcRule kProcRules[] = {
    {"glTexImage3D", 12, "GL_EXT_texture3D", [] { return asVoid(epoxy_glTexImage3D); }},
    {"glTexImage3DEXT", 0, "GL_EXT_texture3D", [] { return asVoid(epoxy_glTexImage3DEXT); }},
    {"glTexSubImage3D", 12, "GL_EXT_texture3D", [] { return asVoid(epoxy_glTexSubImage3D); }},
    {"glColorTableEXT", 0, "GL_EXT_paletted_texture", [] { return asVoid(epoxy_glColorTableEXT); }},
    {"glMultiTexCoord2f", 13, "GL_ARB_multitexture", [] { return asVoid(epoxy_glMultiTexCoord2f); }},
    {"glMultiTexCoord3f", 13, "GL_ARB_multitexture", [] { return asVoid(epoxy_glMultiTexCoord3f); }},
    {"glActiveTexture", 13, "GL_ARB_multitexture", [] { return asVoid(epoxy_glActiveTexture); }},
    {"glBlendEquationEXT", 14, "GL_EXT_blend_minmax", [] { return asVoid(epoxy_glBlendEquationEXT); }},
    {"glBlendEquation", 14, "GL_ARB_imaging", [] { return asVoid(epoxy_glBlendEquation); }},
    {"glBlendEquationSeparateEXT", 20, "GL_EXT_blend_equation_separate",
     [] { return asVoid(epoxy_glBlendEquationSeparateEXT); }},
    {"glBlendEquationSeparate", 20, "GL_EXT_blend_equation_separate",
     [] { return asVoid(epoxy_glBlendEquationSeparate); }},
};

const ProcRule* findRule(const char* name)
{
    if (!name)
        return nullptr;
    for (const ProcRule& rule : kProcRules)
        if (std::strcmp(rule.name, name) == 0)
            return &rule;
    return nullptr;
}
}

bool glProcAvailable(const char* name, int version, const char* extensions)
{
    const ProcRule* rule = findRule(name);
    if (!rule)
        return false;
    if (rule->coreVersion != 0 && version >= rule->coreVersion)
        return true;
    return rule->extension && extensionListContains(extensions, rule->extension);
}

void* getGLProcAddress(const char* name)
{
    const ProcRule* rule = findRule(name);
    if (!rule || !glGetString(GL_VERSION))
        return nullptr;
    // Core versions count for desktop OpenGL only; ES has other rules.
    const int version = epoxy_is_desktop_gl() ? epoxy_gl_version() : 0;
    const bool ext = rule->extension && epoxy_has_gl_extension(rule->extension);
    const bool core = rule->coreVersion != 0 && version >= rule->coreVersion;
    return (core || ext) ? rule->fetch() : nullptr;
}
