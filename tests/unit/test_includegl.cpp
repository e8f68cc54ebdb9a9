// Extension words, the 3-D texture rule, the error report and the entry-point
// rule, all without an OpenGL context.
#include "error_handling.h"
#include "includegl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(ExtensionList, LastWordWithoutTrailingBlankIsFound)
{
    const char* ext = "GL_ARB_multitexture GL_EXT_texture3D GL_EXT_blend_minmax";
    EXPECT_TRUE(extensionListContains(ext, "GL_EXT_texture3D"));
    EXPECT_TRUE(extensionListContains(ext, "GL_EXT_blend_minmax"));
    EXPECT_TRUE(extensionListContains(ext, "GL_ARB_multitexture"));
    EXPECT_TRUE(extensionListContains("GL_EXT_texture3D ", "GL_EXT_texture3D"));
}

TEST(ExtensionList, PrefixesSuffixesAndCaseDoNotMatch)
{
    const char* ext = "GL_EXT_texture GL_EXT_texture3Dx GL_EXT_paletted_texture";
    EXPECT_FALSE(extensionListContains(ext, "GL_EXT_texture3D"));  // only longer words
    EXPECT_FALSE(extensionListContains(ext, "GL_EXT_paletted"));   // prefix of a word
    EXPECT_FALSE(extensionListContains(ext, "texture"));           // suffix of a word
    EXPECT_FALSE(extensionListContains(ext, "gl_ext_texture"));    // case matters
    EXPECT_FALSE(extensionListContains(ext, "GL_EXT_texture GL_EXT_texture3Dx")); // two words
    EXPECT_TRUE(extensionListContains(ext, "GL_EXT_texture"));
}

TEST(ExtensionList, EmptyAndNullInputs)
{
    EXPECT_FALSE(extensionListContains(nullptr, "GL_EXT_texture3D"));
    EXPECT_FALSE(extensionListContains("", "GL_EXT_texture3D"));
    EXPECT_FALSE(extensionListContains("GL_A  GL_B", ""));
    EXPECT_FALSE(extensionListContains("GL_A", nullptr));
    EXPECT_TRUE(extensionListContains("  GL_A  GL_B  ", "GL_B"));
}

TEST(Texture3DRule, VersionAndExtension)
{
    EXPECT_FALSE(texture3DRule("1.1.0", false));
    EXPECT_TRUE(texture3DRule("1.1.0", true));
    EXPECT_TRUE(texture3DRule("1.1.0 Mesa", false)); // begins with 1.1.0, is not it
    EXPECT_TRUE(texture3DRule("1.1.01", false));
    EXPECT_TRUE(texture3DRule("1.1", false));
    EXPECT_TRUE(texture3DRule("4.5 (Compatibility Profile) Mesa 23.2.1", false));
    EXPECT_FALSE(texture3DRule(nullptr, true));
    EXPECT_FALSE(texture3DRule(nullptr, false));
}

TEST(ProcRule, CoreVersionOrExtension)
{
    EXPECT_TRUE(glProcAvailable("glTexImage3D", 12, ""));
    EXPECT_FALSE(glProcAvailable("glTexImage3D", 11, ""));
    EXPECT_TRUE(glProcAvailable("glTexImage3D", 11, "GL_EXT_texture3D"));
    EXPECT_FALSE(glProcAvailable("glTexImage3D", 11, "GL_EXT_texture3Dx GL_EXT_texture"));
    // Never core: only the extension counts.
    EXPECT_FALSE(glProcAvailable("glColorTableEXT", 45, "GL_EXT_shared_texture_palette"));
    EXPECT_TRUE(glProcAvailable("glColorTableEXT", 11, "GL_EXT_paletted_texture"));
    EXPECT_TRUE(glProcAvailable("glMultiTexCoord2f", 13, ""));
    EXPECT_TRUE(glProcAvailable("glMultiTexCoord2f", 12, "GL_ARB_multitexture"));
    EXPECT_FALSE(glProcAvailable("glMultiTexCoord2f", 12, ""));
    EXPECT_TRUE(glProcAvailable("glBlendEquationEXT", 11, "GL_EXT_blend_minmax"));
    EXPECT_TRUE(glProcAvailable("glBlendEquationEXT", 14, ""));
    EXPECT_FALSE(glProcAvailable("glBlendEquationSeparateEXT", 15, "GL_EXT_blend_minmax"));
    EXPECT_TRUE(glProcAvailable("glBlendEquationSeparateEXT", 20, ""));
    // Names outside the table never resolve.
    EXPECT_FALSE(glProcAvailable("glNoSuchFunction", 46, "GL_EXT_texture3D"));
    EXPECT_FALSE(glProcAvailable(nullptr, 46, ""));
}

// Both channels on temporary files, restored afterwards.
class ErrorReport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mySavedConsole = g_pConsoleLog;
        mySavedFile = g_pFileLog;
        myConsole = std::tmpfile();
        myFile = std::tmpfile();
        ASSERT_TRUE(myConsole && myFile);
        g_pConsoleLog = new LogChannel(myConsole, false);
        g_pFileLog = new LogChannel(myFile, true);
    }
    void TearDown() override
    {
        delete g_pConsoleLog;
        delete g_pFileLog;
        g_pConsoleLog = mySavedConsole;
        g_pFileLog = mySavedFile;
        std::fclose(myConsole);
        std::fclose(myFile);
    }
    static std::string contents(FILE* f)
    {
        std::fflush(f);
        std::string s;
        std::rewind(f);
        int c;
        while ((c = std::fgetc(f)) != EOF)
            s.push_back(static_cast<char>(c));
        return s;
    }
    std::string console() { return contents(myConsole); }
    std::string file() { return contents(myFile); }

    FILE* myConsole = nullptr;
    FILE* myFile = nullptr;
    LogChannel* mySavedConsole = nullptr;
    LogChannel* mySavedFile = nullptr;
};

GLenum g_errors[8];
int g_errorIndex = 0;
GLenum nextScriptedError()
{
    return g_errors[g_errorIndex++];
}
void script(std::initializer_list<GLenum> errors)
{
    int i = 0;
    for (GLenum e : errors)
        g_errors[i++] = e;
    g_errors[i] = GL_NO_ERROR;
    g_errorIndex = 0;
}

const std::string kBanner = "=========== LOG start ===========\n";

TEST_F(ErrorReport, TwoPendingErrorsGiveFourLines)
{
    script({GL_INVALID_ENUM, GL_OUT_OF_MEMORY});
    EXPECT_TRUE(reportGLErrors("glTexImage3D", nextScriptedError));
    EXPECT_EQ(g_errorIndex, 3); // read until GL_NO_ERROR
    EXPECT_EQ(console(), kBanner + "glTexImage3D\nGL_INVALID_ENUM\nGL_OUT_OF_MEMORY\nGL_NO_ERROR\n");
    // The file channel: each line with the source path, a tab and the line number.
    const std::string f = file();
    size_t pos = 0;
    int lines = 0;
    const char* expected[] = {"glTexImage3D", "GL_INVALID_ENUM", "GL_OUT_OF_MEMORY", "GL_NO_ERROR"};
    const std::string body = f.substr(kBanner.size() + 1); // CR LF banner
    for (const char* text : expected) {
        const size_t end = body.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << body;
        const std::string line = body.substr(pos, end - pos);
        EXPECT_EQ(line.rfind("src/includegl.cpp\t", 0), 0u) << line;
        EXPECT_EQ(line.size() - line.rfind(text), std::string(text).size()) << line;
        pos = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 4);
    EXPECT_EQ(pos, body.size());
}

TEST_F(ErrorReport, NoErrorWritesNothing)
{
    script({});
    EXPECT_FALSE(reportGLErrors("glBindTexture", nextScriptedError));
    EXPECT_EQ(console(), kBanner);
}

TEST_F(ErrorReport, EveryErrorNameAndUnknownCodes)
{
    script({GL_INVALID_VALUE, GL_INVALID_OPERATION, GL_STACK_OVERFLOW, GL_STACK_UNDERFLOW, 0x9999});
    EXPECT_TRUE(reportGLErrors("glDeleteTextures", nextScriptedError));
    EXPECT_EQ(console(), kBanner + "glDeleteTextures\nGL_INVALID_VALUE\nGL_INVALID_OPERATION\n"
                                   "GL_STACK_OVERFLOW\nGL_STACK_UNDERFLOW\nunknown\nGL_NO_ERROR\n");
}

GLenum alwaysLost()
{
    return GL_OUT_OF_MEMORY;
}

TEST_F(ErrorReport, AnErrorSourceThatNeverClearsEnds)
{
    EXPECT_TRUE(reportGLErrors("glReadPixels", alwaysLost));
    const std::string c = console();
    EXPECT_EQ(c.substr(c.size() - 12), "GL_NO_ERROR\n");
}

} // namespace
