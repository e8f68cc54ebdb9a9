#include "gl_report.h"

#include "includegl.h"

namespace {

const char* orEmpty(const char* s)
{
    return s ? s : "";
}

const char* yesNo(bool on)
{
    return on ? "Yes" : "No";
}

const char* glText(GLenum name)
{
    return reinterpret_cast<const char*>(glGetString(name));
}

} // namespace

std::string formatGLReport(const GLReportFacts& f)
{
    std::string out;
    out += std::string("GL_VENDOR\t\t") + orEmpty(f.vendor) + "\n";
    out += std::string("GL_RENDERER\t\t") + orEmpty(f.renderer) + "\n";
    out += std::string("GL_VERSION\t\t") + orEmpty(f.version) + "\n\n";
    out += "Max 2D texture size:\t" + std::to_string(f.maxTextureSize) + "\n";
    out += "Max 3D texture size:\t" + std::to_string(f.max3DTextureSize) + "\n\n";
    out += "Hardware support:\n";
    out += std::string("GL_EXT_texture3D:\t") + yesNo(f.texture3D) + "\n";
    out += std::string("GL_EXT_blend_minmax:\t") + yesNo(f.blendMinmax) + "\n";
    out += std::string("GL_EXT_paletted_texture:\t") + yesNo(f.palettedTexture) + "\n\n";
    out += "EXTENSIONS:\n";
    if (!f.extensions)
        return out;
    // Runs of blanks separate names; none of them makes an empty line.
    const char* p = f.extensions;
    while (*p) {
        while (*p == ' ')
            ++p;
        const char* begin = p;
        while (*p && *p != ' ')
            ++p;
        if (p > begin) {
            out.append(begin, p);
            out += "\n";
        }
    }
    return out;
}

GLReportFacts currentGLFacts()
{
    GLReportFacts f;
    f.vendor = glText(GL_VENDOR);
    f.renderer = glText(GL_RENDERER);
    f.version = glText(GL_VERSION);
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    f.maxTextureSize = size;
    size = 0;
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &size);
    f.max3DTextureSize = size;
    f.texture3D = isExtensionSupported("GL_EXT_texture3D");
    f.blendMinmax = isExtensionSupported("GL_EXT_blend_minmax");
    f.palettedTexture = isExtensionSupported("GL_EXT_paletted_texture");
    f.extensions = glText(GL_EXTENSIONS);
    return f;
}

std::string currentGLReport()
{
    return formatGLReport(currentGLFacts());
}
