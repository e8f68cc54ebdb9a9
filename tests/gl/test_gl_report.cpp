// The OpenGL report of a real context: its strings, limits and extensions.
#include "gl_context.h"
#include "gl_report.h"
#include "includegl.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

TEST(GLReportOfContext, ShowsWhatTheContextReports)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    const std::string report = currentGLReport();
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    GLint max2D = 0;
    GLint max3D = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max2D);
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &max3D);
    ASSERT_GT(max3D, 0);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    const bool has3D = isExtensionSupported("GL_EXT_texture3D");
    const bool minmax = isExtensionSupported("GL_EXT_blend_minmax");
    const bool paletted = isExtensionSupported("GL_EXT_paletted_texture");

    const std::string head = "GL_VENDOR\t\t" + vendor + "\nGL_RENDERER\t\t" + renderer +
                             "\nGL_VERSION\t\t" + version + "\n\nMax 2D texture size:\t" +
                             std::to_string(max2D) + "\nMax 3D texture size:\t" + std::to_string(max3D) +
                             "\n\nHardware support:\nGL_EXT_texture3D:\t" + (has3D ? "Yes" : "No") +
                             "\nGL_EXT_blend_minmax:\t" + (minmax ? "Yes" : "No") +
                             "\nGL_EXT_paletted_texture:\t" + (paletted ? "Yes" : "No") +
                             "\n\nEXTENSIONS:\n";
    ASSERT_EQ(report.compare(0, head.size(), head), 0) << report.substr(0, head.size());

    // One line a name, exactly the names of the context, in its order.
    const std::string list = report.substr(head.size());
    std::vector<std::string> lines;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, words(extensions));
    EXPECT_GT(lines.size(), 10u);
    EXPECT_EQ(list.back(), '\n');
}

} // namespace
