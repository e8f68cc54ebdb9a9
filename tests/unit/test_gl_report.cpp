// The information window's OpenGL report, from made-up driver answers.
#include "gl_report.h"

#include <gtest/gtest.h>

namespace {

const char* const kHead = "GL_VENDOR\t\tAcme\n"
                          "GL_RENDERER\t\tSoft 9\n"
                          "GL_VERSION\t\t1.1.0\n"
                          "\n"
                          "Max 2D texture size:\t2048\n"
                          "Max 3D texture size:\t256\n"
                          "\n"
                          "Hardware support:\n"
                          "GL_EXT_texture3D:\tYes\n"
                          "GL_EXT_blend_minmax:\tNo\n"
                          "GL_EXT_paletted_texture:\tYes\n"
                          "\n"
                          "EXTENSIONS:\n";

GLReportFacts acme(const char* extensions)
{
    GLReportFacts f;
    f.vendor = "Acme";
    f.renderer = "Soft 9";
    f.version = "1.1.0";
    f.maxTextureSize = 2048;
    f.max3DTextureSize = 256;
    f.texture3D = true;
    f.blendMinmax = false;
    f.palettedTexture = true;
    f.extensions = extensions;
    return f;
}

TEST(GLReport, EveryLineInOrderAndOneExtensionALine)
{
    const struct { const char* extensions; const char* list; } cases[] = {
        // The last name counts although no blank follows it.
        {"GL_A GL_B", "GL_A\nGL_B\n"},
        // A driver's trailing blank and doubled blanks make no empty lines.
        {"GL_A  GL_B ", "GL_A\nGL_B\n"},
        {"GL_ONLY", "GL_ONLY\n"},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatGLReport(acme(c.extensions)), std::string(kHead) + c.list)
            << (c.extensions ? c.extensions : "(null)");
}

TEST(GLReport, MissingIdentificationStringsLeaveTheirLinesEmpty)
{
    GLReportFacts f;
    EXPECT_EQ(formatGLReport(f), "GL_VENDOR\t\t\n"
                                 "GL_RENDERER\t\t\n"
                                 "GL_VERSION\t\t\n"
                                 "\n"
                                 "Max 2D texture size:\t0\n"
                                 "Max 3D texture size:\t0\n"
                                 "\n"
                                 "Hardware support:\n"
                                 "GL_EXT_texture3D:\tNo\n"
                                 "GL_EXT_blend_minmax:\tNo\n"
                                 "GL_EXT_paletted_texture:\tNo\n"
                                 "\n"
                                 "EXTENSIONS:\n");
}

} // namespace
