// The program manager on an offscreen context: creation with missing files,
// the support flags and the clip-plane fallback, the programs each set binds
// with their values, and pictures with known answers.
#include "error_handling.h"
#include "gl_context.h"
#include "multi_volume.h"
#include "my_cg.h"
#include "plane.h"
#include "render_mode.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

const int kSize = 16;
const std::string kSourceCg = std::string(GLIMRA_SOURCE_DIR) + "/Cg/";

// The files this renderer set ships.
const char* const kSlicingFiles[] = {
    "vertex.cg", "vertex_arb.cg", "preint_vp.cg", "preint_vp_oas.cg", "preint_vp_oas3d.cg",
    "preint_vp_ortho.cg", "preint_vp_ortho_oas.cg", "preint_vp_ortho_oas3d.cg", "preint_arb_vp.cg",
    "preint_arb_vp_oas.cg", "preint_arb_vp_oas3d.cg", "preint_arb_vp_ortho.cg", "preint_arb_vp_ortho_oas.cg",
    "preint_arb_vp_ortho_oas3d.cg", "post2d.cg", "post3d.cg", "preint_2d_fp.cg", "preint_3d_fp.cg",
    "multi_post_fp.cg", "multi_preint_fp.cg", "iso2dPost_fp.cg", "iso3dPost_fp.cg", "iso2dInt_fp.cg",
    "iso3dInt_fp.cg", "iso2dMultiPost_fp.cg", "iso2dMultiInt_fp.cg", "classify.glsl"};

const int kSlicingPrograms[] = {
    PRG_POST2D, PRG_POST3D, PRG_VERTEX, PRG_PREINT_3D_FP, PRG_PREINT_VP, PRG_PREINT_2D_FP, PRG_PREINT_VP_OAS,
    PRG_PREINT_VP_OAS3D, PRG_PREINT_2D_FP_ORTHO, PRG_PREINT_VP_ORTHO_OAS, PRG_PREINT_VP_ORTHO_OAS3D,
    PRG_PREINT_3D_FP_ORTHO, PRG_PREINT_VP_ORTHO, PRG_MULTI_POST_FP, PRG_MULTI_PREINT_FP, PRG_ISO_2D_POST,
    PRG_ISO_2D_MULTI_POST, PRG_ISO_3D_POST, PRG_ISO_2D_INT, PRG_ISO_2D_MULTI_INT, PRG_ISO_3D_INT};

bool isSlicingProgram(int id)
{
    for (int p : kSlicingPrograms)
        if (p == id)
            return true;
    return false;
}

// Programs of the other renderers, as stand-ins that compile.
const char* kStubFp = "#version 450 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n";
const char* kStubVp = "#version 450 compatibility\nvoid main() { gl_Position = ftransform(); }\n";

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Pixel
{
    int r, g, b, a;
};

class MyCg : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        myConsole = std::tmpfile();
        myFile = std::tmpfile();
        g_pConsoleLog = new LogChannel(myConsole, false);
        g_pFileLog = new LogChannel(myFile, false);
        setCgProgramDirectory(kSourceCg.c_str());
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        RenderMode::instance().setClassification(CLASSIFICATION_POST);
        std::memcpy(volume.rotation, kIdentity, sizeof kIdentity);
        volume.interacting = false;
        volume.sampling = 64;
        volume.halfSampling = 32;
        volume.perspective = true;
        volume.isoMode = false;
        volume.frontFace = 2;
        volume.diagonal = std::sqrt(3.0f);
        for (int i = 0; i < 3; ++i)
            volume.resolution[i] = 8;
        resetMatrices();
    }
    void TearDown() override
    {
        disableCgPrograms();
        destroyCgPrograms();
        setCgTableTextures(0, 0);
        setCgProgramDirectory("../Cg/");
        clipPlanes.removeAll();
        glDisable(GL_CLIP_PLANE0);
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        RenderMode::instance().setClassification(CLASSIFICATION_POST);
        delete g_pConsoleLog;
        delete g_pFileLog;
        g_pConsoleLog = nullptr;
        g_pFileLog = nullptr;
        std::fclose(myConsole);
        std::fclose(myFile);
        std::memset(volume.rotation, 0, sizeof volume.rotation);
        volume.interacting = true;
        volume.isoMode = false;
        for (int i = 0; i < 3; ++i)
            volume.resolution[i] = 0;
        std::memset(volume.multiSlices, 0, sizeof volume.multiSlices);
    }

    static std::string contents(FILE* f)
    {
        std::fflush(f);
        std::rewind(f);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fseek(f, 0, SEEK_END);
        return text;
    }
    std::string consoleText() { return contents(myConsole); }
    std::string fileText() { return contents(myFile); }

    static void resetMatrices()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // A directory with the shipped files (less the skipped ones) and, with
    // stubs, stand-ins for every other program.
    void fillDirectory(const testsupport::TempDir& dir, const std::vector<std::string>& skip, bool stubs)
    {
        for (const char* f : kSlicingFiles) {
            bool skipped = false;
            for (const std::string& s : skip)
                skipped = skipped || s == f;
            if (!skipped) {
                ASSERT_TRUE(testsupport::writeFile(dir.file(f), testsupport::readFile(kSourceCg + f))) << f;
            }
        }
        if (stubs)
            for (int i = 0; i < PRG_COUNT; ++i) {
                std::string f = cgProgramFile(i);
                bool skipped = false;
                for (const std::string& s : skip)
                    skipped = skipped || s == f;
                if (skipped || isSlicingProgram(i))
                    continue;
                bool vertex = f.find("_vp") != std::string::npos;
                ASSERT_TRUE(testsupport::writeFile(dir.file(f), vertex ? kStubVp : kStubFp));
            }
        setCgProgramDirectory((dir.path() + "/").c_str());
    }

    Pixel pixelAt(int x, int y)
    {
        std::vector<unsigned char> px(kSize * kSize * 4);
        ctx.readPixels(px.data());
        const unsigned char* p = &px[static_cast<size_t>((y * kSize + x) * 4)];
        return {p[0], p[1], p[2], p[3]};
    }

    // One slice over the whole target through the bound programs.
    void drawSlice(GLuint texture, bool is2D, GLuint second, bool threeD = false)
    {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        bindCgPrograms(texture, is2D, second, 0, -1);
        glBegin(GL_QUADS);
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners) {
            if (threeD)
                glTexCoord3f((c[0] + 1) / 2, (c[1] + 1) / 2, 0.5f);
            else
                glTexCoord2f((c[0] + 1) / 2, (c[1] + 1) / 2);
            glVertex3f(c[0], c[1], 0.0f);
        }
        glEnd();
        disableCgPrograms();
    }

    // Uniform float of a program, read back from the GL program object.
    std::vector<float> uniform(int id, const char* name, int n)
    {
        std::vector<float> v(16, -999.0f);
        GLuint prog = cgGLGetProgramID(cgProgramHandle(id));
        GLint loc = glGetUniformLocation(prog, name);
        EXPECT_GE(loc, 0) << cgProgramFile(id) << " " << name;
        if (loc >= 0)
            glGetUniformfv(prog, loc, v.data());
        v.resize(static_cast<size_t>(n));
        return v;
    }

    OffscreenContext ctx{kSize, kSize};
    FILE* myConsole = nullptr;
    FILE* myFile = nullptr;
};

GLuint texture2D(unsigned char value)
{
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    std::vector<unsigned char> data(4 * 4, value);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_INTENSITY8, 4, 4, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, data.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

GLuint texture3D(unsigned char value)
{
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_3D, t);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    std::vector<unsigned char> data(4 * 4 * 4, value);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY8, 4, 4, 4, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, data.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    return t;
}

// Palette entry i: (i, 255 - i, 7i mod 256, 128 + i / 2); linear filtering as the program uses.
unsigned char paletteByte(int i, int channel)
{
    switch (channel) {
    case 0: return static_cast<unsigned char>(i);
    case 1: return static_cast<unsigned char>(255 - i);
    case 2: return static_cast<unsigned char>((7 * i) % 256);
    default: return static_cast<unsigned char>(128 + i / 2);
    }
}

GLuint makeTable(int width, int height, unsigned char (*entry)(int column, int row, int channel))
{
    std::vector<unsigned char> data(static_cast<size_t>(width * height * 4));
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            for (int k = 0; k < 4; ++k)
                data[static_cast<size_t>((r * width + c) * 4 + k)] = entry(c, r, k);
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

unsigned char paletteEntry(int column, int, int channel)
{
    return paletteByte(column, channel);
}

// Pre-integration entry (column front, row back): (front, back, 200 on the diagonal, 255).
unsigned char preintEntry(int column, int row, int channel)
{
    switch (channel) {
    case 0: return static_cast<unsigned char>(column);
    case 1: return static_cast<unsigned char>(row);
    case 2: return column == row ? 200 : 0;
    default: return 255;
    }
}

void expectPixel(const Pixel& p, int r, int g, int b, int a, int tolerance = 1)
{
    EXPECT_NEAR(p.r, r, tolerance);
    EXPECT_NEAR(p.g, g, tolerance);
    EXPECT_NEAR(p.b, b, tolerance);
    EXPECT_NEAR(p.a, a, tolerance);
}

} // namespace

// ---- creation ----

TEST_F(MyCg, EveryShippedProgramCompiles)
{
    ASSERT_TRUE(createCgPrograms());
    EXPECT_TRUE(cgReady);
    // Every program of every renderer, so every support flag is set.
    for (int id = 0; id < PRG_COUNT; ++id)
        EXPECT_NE(cgProgramHandle(id), nullptr) << cgProgramFile(id);
    EXPECT_TRUE(arbProgramsReady);
    EXPECT_TRUE(nv30Supported);
    EXPECT_TRUE(nv40Supported);
    EXPECT_EQ(consoleText().find("not"), std::string::npos) << consoleText();
    EXPECT_EQ(fileText().find("Not supported clip planes"), std::string::npos);
    EXPECT_EQ(fileText().find("Shader: post2d.cg"), std::string::npos);
    // Every parameter the manager loads is one the shipped files use.
    EXPECT_EQ(fileText().find(" has no parameter "), std::string::npos) << fileText();
    // The real clip-plane programs are in use, with their parameters.
    EXPECT_NE(cgProgramParameter(PRG_VERTEX, "ClipPlane5"), nullptr);
    EXPECT_NE(cgProgramParameter(PRG_PREINT_VP_OAS3D, "normal3"), nullptr);
    EXPECT_NE(cgProgramParameter(PRG_PREINT_VP, "sliceDst"), nullptr);
    EXPECT_NE(cgProgramParameter(PRG_MULTI_PREINT_FP, "depth2"), nullptr);
    EXPECT_NE(cgProgramParameter(PRG_ISO_2D_MULTI_INT, "res"), nullptr);

    // The fallbacks compile too.
    CGcontext c = cgCreateContext();
    for (const char* f : {"vertex_arb.cg", "preint_arb_vp.cg", "preint_arb_vp_oas.cg", "preint_arb_vp_oas3d.cg",
                          "preint_arb_vp_ortho.cg", "preint_arb_vp_ortho_oas.cg", "preint_arb_vp_ortho_oas3d.cg"}) {
        std::string path = kSourceCg + f;
        EXPECT_NE(cgCreateProgramFromFile(c, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLV, "main", nullptr), nullptr)
            << f << "\n" << cgGetLastListing(c);
    }
    cgDestroyContext(c);
}

TEST_F(MyCg, MissingRenderersDisableTheirStyles)
{
    testsupport::TempDir dir;
    fillDirectory(dir, {}, false);
    ASSERT_TRUE(createCgPrograms());
    EXPECT_TRUE(cgReady);
    EXPECT_FALSE(arbProgramsReady);
    EXPECT_FALSE(nv30Supported);
    EXPECT_FALSE(nv40Supported);
    std::string console = consoleText();
    std::string file = fileText();
    EXPECT_NE(console.find("Shader: normal.cg is not created correctly.\n"), std::string::npos) << console;
    EXPECT_NE(console.find("Shader: raycast_vp_ortho.cg is not created correctly.\n"), std::string::npos);
    EXPECT_NE(console.find("Shader: multiVolumePreInt4_fp.cg is not created correctly.\n"), std::string::npos);
    EXPECT_NE(console.find("ARB profile not supported.\n"), std::string::npos);
    EXPECT_NE(console.find("NV30 profile not supported.\n"), std::string::npos);
    EXPECT_NE(console.find("NV40 profile not supported.\n"), std::string::npos);
    EXPECT_EQ(console.find("Not supported clip planes"), std::string::npos);
    // The file channel carries the site.
    EXPECT_NE(file.find("src/my_cg.cpp\t"), std::string::npos) << file;
    EXPECT_NE(file.find("Shader: normal.cg is not created correctly.\n"), std::string::npos);
    // The reports come in creation order.
    EXPECT_LT(console.find("Shader: normal.cg"), console.find("Shader: light.cg"));
    EXPECT_LT(console.find("Shader: dilate_fp.cg"), console.find("Shader: isoRayPost_fp.cg"));
    for (int id : kSlicingPrograms)
        EXPECT_NE(cgProgramHandle(id), nullptr) << cgProgramFile(id);
}

TEST_F(MyCg, SupportFlagsFollowWhichProgramsExist)
{
    {
        testsupport::TempDir dir;
        fillDirectory(dir, {}, true);
        ASSERT_TRUE(createCgPrograms());
        EXPECT_TRUE(arbProgramsReady);
        EXPECT_TRUE(nv30Supported);
        EXPECT_TRUE(nv40Supported);
        EXPECT_EQ(consoleText().find("not"), std::string::npos) << consoleText();
        destroyCgPrograms();
    }
    {
        // Ray casting alone gone: only "Ray Casting" goes.
        testsupport::TempDir dir;
        fillDirectory(dir, {"raycast_vp.cg"}, true);
        ASSERT_TRUE(createCgPrograms());
        EXPECT_TRUE(arbProgramsReady);
        EXPECT_TRUE(nv30Supported);
        EXPECT_FALSE(nv40Supported);
        destroyCgPrograms();
    }
    {
        testsupport::TempDir dir;
        fillDirectory(dir, {"isoRayInt_fp.cg", "multiVolumePost4_fp.cg"}, true);
        ASSERT_TRUE(createCgPrograms());
        EXPECT_TRUE(arbProgramsReady);
        EXPECT_FALSE(nv30Supported);
        EXPECT_FALSE(nv40Supported);
        destroyCgPrograms();
    }
    {
        testsupport::TempDir dir;
        fillDirectory(dir, {"dilate_fp.cg"}, true);
        ASSERT_TRUE(createCgPrograms());
        EXPECT_FALSE(arbProgramsReady);
        EXPECT_TRUE(nv30Supported);
        EXPECT_TRUE(nv40Supported);
        destroyCgPrograms();
    }
    std::string console = consoleText();
    EXPECT_NE(console.find("Shader: raycast_vp.cg is not created correctly.\nNV40 profile not supported.\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("Shader: dilate_fp.cg is not created correctly.\nARB profile not supported.\n"),
              std::string::npos);
}

TEST_F(MyCg, AMissingClipPlaneProgramSwitchesAllSevenToTheFallbacks)
{
    testsupport::TempDir dir;
    fillDirectory(dir, {"preint_vp_oas.cg"}, true);
    ASSERT_TRUE(createCgPrograms());
    std::string console = consoleText();
    EXPECT_NE(console.find("Shader: preint_vp_oas.cg is not created correctly.\n"), std::string::npos);
    EXPECT_NE(console.find("Not supported clip planes for all modes.\n"), std::string::npos);
    EXPECT_NE(fileText().find("Not supported clip planes for all modes.\n"), std::string::npos);
    // All seven are there again, each from its fallback: no clip-plane parameters.
    for (int id : {PRG_VERTEX, PRG_PREINT_VP, PRG_PREINT_VP_OAS, PRG_PREINT_VP_OAS3D, PRG_PREINT_VP_ORTHO_OAS,
                   PRG_PREINT_VP_ORTHO_OAS3D, PRG_PREINT_VP_ORTHO}) {
        EXPECT_NE(cgProgramHandle(id), nullptr) << cgProgramFile(id);
        EXPECT_EQ(cgProgramParameter(id, "ClipPlane0"), nullptr) << cgProgramFile(id);
    }
    EXPECT_NE(cgProgramParameter(PRG_PREINT_VP_OAS, "sliceDst"), nullptr);
    EXPECT_TRUE(arbProgramsReady);
    // Only the one file's report: the fallbacks are created silently.
    EXPECT_EQ(console.find("Shader: vertex"), std::string::npos);

    // A missing fallback as well leaves its handle null.
    destroyCgPrograms();
    testsupport::TempDir dir2;
    fillDirectory(dir2, {"vertex.cg", "vertex_arb.cg"}, true);
    ASSERT_TRUE(createCgPrograms());
    EXPECT_EQ(cgProgramHandle(PRG_VERTEX), nullptr);
    EXPECT_NE(cgProgramHandle(PRG_PREINT_VP), nullptr);
    EXPECT_FALSE(arbProgramsReady);
}

TEST_F(MyCg, AFileThatDoesNotCompileIsReportedWithTheCompilerLog)
{
    testsupport::TempDir dir;
    fillDirectory(dir, {"post3d.cg"}, true);
    ASSERT_TRUE(testsupport::writeFile(dir.file("post3d.cg"), "#version 450 compatibility\nvoid main() { oops }\n"));
    ASSERT_TRUE(createCgPrograms());
    EXPECT_EQ(cgProgramHandle(PRG_POST3D), nullptr);
    std::string file = fileText();
    size_t report = file.find("Shader: post3d.cg is not created correctly.\n");
    ASSERT_NE(report, std::string::npos);
    size_t listing = file.find(dir.file("post3d.cg") + ":\n", report);
    EXPECT_NE(listing, std::string::npos) << file;
    // The listing goes to the file only.
    EXPECT_EQ(consoleText().find(dir.file("post3d.cg")), std::string::npos);

    // Binding the missing program leaves the fragment stage fixed-function.
    RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_OAS);
    bindCgPrograms(0, false, 0, 0, -1);
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_NONE);
    EXPECT_FALSE(cgGLIsProfileEnabled(fragmentProfile));
    disableCgPrograms();
}

TEST_F(MyCg, NothingIsBoundWithoutAReadyContext)
{
    // Before creation, and after destruction.
    bindCgPrograms(0, true, 0, 0, -1);
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_NONE);
    disableCgPrograms();
    ASSERT_TRUE(createCgPrograms());
    destroyCgPrograms();
    bindCgPrograms(0, true, 0, 0, -1);
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_NONE);
    EXPECT_EQ(cgProgramHandle(PRG_POST2D), nullptr);
}

// ---- what each set binds ----

TEST_F(MyCg, ProgramSetsSelectTheirPrograms)
{
    ASSERT_TRUE(createCgPrograms());
    RenderMode& mode = RenderMode::instance();
    struct Case
    {
        int style, classification;
        bool perspective, iso, is2D;
        int vertex, fragment;
    } cases[] = {
        {DRAW_2D_TEXTURE, CLASSIFICATION_POST, true, false, true, PRG_NONE, PRG_POST2D},
        {DRAW_2D_TEXTURE, CLASSIFICATION_POST, true, true, true, PRG_NONE, PRG_ISO_2D_POST},
        {DRAW_3D_TEXTURE_OAS, CLASSIFICATION_POST, true, false, false, PRG_NONE, PRG_POST3D},
        {DRAW_3D_TEXTURE_VAS, CLASSIFICATION_POST, true, true, false, PRG_NONE, PRG_ISO_3D_POST},
        {DRAW_2D_TEXTURE, CLASSIFICATION_PRE, true, false, true, PRG_NONE, PRG_NONE},
        {DRAW_2D_TEXTURE, CLASSIFICATION_PRE_INTEGRATION, true, false, true, PRG_PREINT_VP_OAS, PRG_PREINT_2D_FP},
        {DRAW_2D_TEXTURE, CLASSIFICATION_PRE_INTEGRATION, false, false, true, PRG_PREINT_VP_ORTHO_OAS,
         PRG_PREINT_2D_FP_ORTHO},
        {DRAW_2D_TEXTURE, CLASSIFICATION_PRE_INTEGRATION, false, true, true, PRG_PREINT_VP_ORTHO_OAS, PRG_ISO_2D_INT},
        {DRAW_3D_TEXTURE_OAS, CLASSIFICATION_PRE_INTEGRATION, true, false, false, PRG_PREINT_VP_OAS3D,
         PRG_PREINT_3D_FP},
        {DRAW_3D_TEXTURE_OAS, CLASSIFICATION_PRE_INTEGRATION_FILE, false, false, false, PRG_PREINT_VP_ORTHO_OAS3D,
         PRG_PREINT_3D_FP_ORTHO},
        {DRAW_3D_TEXTURE_VAS, CLASSIFICATION_PRE_INTEGRATION, true, false, false, PRG_PREINT_VP, PRG_PREINT_3D_FP},
        {DRAW_3D_TEXTURE_VAS, CLASSIFICATION_PRE_INTEGRATION, false, true, false, PRG_PREINT_VP_ORTHO, PRG_ISO_3D_INT},
        {DRAW_2D_MULTI_TEXTURE, CLASSIFICATION_POST, true, false, true, PRG_NONE, PRG_MULTI_POST_FP},
        {DRAW_2D_MULTI_TEXTURE, CLASSIFICATION_POST, true, true, true, PRG_NONE, PRG_ISO_2D_MULTI_POST},
        {DRAW_2D_MULTI_TEXTURE, CLASSIFICATION_PRE_INTEGRATION, true, false, true, PRG_PREINT_VP_OAS,
         PRG_MULTI_PREINT_FP},
        {DRAW_2D_MULTI_TEXTURE, CLASSIFICATION_PRE_INTEGRATION, false, true, true, PRG_PREINT_VP_ORTHO_OAS,
         PRG_ISO_2D_MULTI_INT},
        // Shaded styles: no vertex program for the normals; the lit ones pass
        // through with post-classification and pre-integrate otherwise.
        {DRAW_NORMAL_TEXTURE, CLASSIFICATION_POST, true, true, false, PRG_NONE, PRG_NORMAL},
        {DRAW_NORMAL_FRAGMENT, CLASSIFICATION_POST, true, false, false, PRG_NONE, PRG_NORMAL_OLD},
        {DRAW_LIGHT2, CLASSIFICATION_POST, true, false, false, PRG_VERTEX, PRG_LIGHT_ADV},
        {DRAW_LIGHT2, CLASSIFICATION_POST, true, true, false, PRG_VERTEX, PRG_ISO_LIGHT},
        {DRAW_LIGHT_GRADMAG, CLASSIFICATION_PRE_INTEGRATION, true, false, false, PRG_PREINT_VP_OAS3D, PRG_LIGHT},
        {DRAW_LIGHT_GRADMAG, CLASSIFICATION_POST, false, true, false, PRG_VERTEX, PRG_ISO_GRAD_MAG},
        // The ray caster: its vertex program follows the projection.
        {DRAW_RAY_CASTING, CLASSIFICATION_POST, true, false, false, PRG_RAYCAST_VP, PRG_RAYCAST_FP_POST},
        {DRAW_RAY_CASTING, CLASSIFICATION_PRE_INTEGRATION, false, false, false, PRG_RAYCAST_VP_ORTHO,
         PRG_RAYCAST_FP},
        {DRAW_RAY_CASTING, CLASSIFICATION_POST, false, true, false, PRG_RAYCAST_VP_ORTHO, PRG_ISO_RAY_POST},
        {DRAW_RAY_CASTING, CLASSIFICATION_PRE_INTEGRATION, true, true, false, PRG_RAYCAST_VP, PRG_ISO_RAY_INT},
    };
    for (const Case& c : cases) {
        mode.setDrawStyle(DRAW_3D_TEXTURE_OAS); // shaded styles then slice object-aligned
        mode.setDrawStyle(c.style);
        mode.setClassification(c.classification);
        volume.perspective = c.perspective;
        volume.isoMode = c.iso;
        bindCgPrograms(0, c.is2D, 0, 0, -1);
        EXPECT_EQ(cgBoundVertexProgram(), c.vertex) << "style " << c.style << " class " << c.classification
                                                    << " persp " << c.perspective << " iso " << c.iso;
        EXPECT_EQ(cgBoundFragmentProgram(), c.fragment) << "style " << c.style << " class " << c.classification
                                                        << " persp " << c.perspective << " iso " << c.iso;
        EXPECT_EQ(cgGLIsProfileEnabled(fragmentProfile) != 0, c.fragment != PRG_NONE);
        EXPECT_EQ(cgGLIsProfileEnabled(vertexProfile) != 0, c.vertex != PRG_NONE);
        disableCgPrograms();
        EXPECT_FALSE(cgGLIsProfileEnabled(fragmentProfile));
        EXPECT_FALSE(cgGLIsProfileEnabled(vertexProfile));
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Around every polygon of every set the rest of the program keeps its
// texture state: the active unit, what each fixed-function unit holds and
// whether it textures, and no program or pipeline left in use.
TEST_F(MyCg, EveryProgramSetLeavesTheTextureStateAsItFoundIt)
{
    ASSERT_TRUE(createCgPrograms());
    GLint fixedUnits = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &fixedUnits);
    ASSERT_GT(fixedUnits, 5);
    std::vector<GLuint> own2D;
    std::vector<GLuint> own3D;
    for (GLint u = 0; u < fixedUnits; ++u) {
        own2D.push_back(texture2D(1));
        own3D.push_back(texture3D(2));
    }
    const GLuint data2D = texture2D(100);
    const GLuint data3D = texture3D(100);
    const GLuint table = makeTable(256, 256, preintEntry);
    setCgTableTextures(makeTable(256, 1, paletteEntry), table);
    MultiVolumeInfo bands;
    bands.addTexture(data3D, -1);
    bands.addTexture(data3D, -1);
    volume.myMVolumeInfo = &bands;
    volume.isMask = true;
    for (int i = 0; i < 6; ++i)
        volume.multiSlices[i] = i % 3 == 2 ? 0.5f : static_cast<float>(data2D);
    for (GLint u = 0; u < fixedUnits; ++u) {
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
        glBindTexture(GL_TEXTURE_2D, own2D[static_cast<size_t>(u)]);
        glBindTexture(GL_TEXTURE_3D, own3D[static_cast<size_t>(u)]);
    }
    glActiveTexture(GL_TEXTURE5);
    glEnable(GL_TEXTURE_3D);

    // The state as found, checked without leaving anything changed.
    auto expectUntouched = [&](const std::string& what) {
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        ASSERT_EQ(active, GL_TEXTURE5) << what;
        for (GLint u = 0; u < fixedUnits + 16; ++u) {
            glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
            GLint t2 = 0;
            GLint t3 = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &t2);
            glGetIntegerv(GL_TEXTURE_BINDING_3D, &t3);
            const bool own = u < fixedUnits;
            EXPECT_EQ(static_cast<GLuint>(t2), own ? own2D[static_cast<size_t>(u)] : 0u) << what << " unit " << u;
            EXPECT_EQ(static_cast<GLuint>(t3), own ? own3D[static_cast<size_t>(u)] : 0u) << what << " unit " << u;
            if (own) {
                EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << what << " unit " << u;
                EXPECT_EQ(glIsEnabled(GL_TEXTURE_3D) != 0, u == 5) << what << " unit " << u;
            }
        }
        glActiveTexture(GL_TEXTURE5);
        GLint program = -1;
        GLint pipeline = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &pipeline);
        EXPECT_EQ(program, 0) << what;
        EXPECT_EQ(pipeline, 0) << what;
    };

    RenderMode& mode = RenderMode::instance();
    int fragments = 0;
    for (int style = DRAW_STYLE_FIRST; style <= DRAW_STYLE_LAST; ++style)
        for (int c = CLASSIFICATION_FIRST; c <= CLASSIFICATION_LAST; ++c)
            for (bool iso : {false, true})
                for (bool perspective : {true, false}) {
                    mode.setDrawStyle(style);
                    mode.setClassification(c);
                    volume.isoMode = iso;
                    volume.perspective = perspective;
                    const bool is2D = mode.getSlicing() == SLICING_2D_STACKS;
                    const std::string what = "style " + std::to_string(style) + " class " + std::to_string(c) +
                                             (iso ? " iso" : "") + (perspective ? " persp" : " ortho");
                    // The render target the focus-and-context passes read.
                    FocusPass pass;
                    pass.set = mode.getProgramSet();
                    pass.targetTexture = data2D;
                    bindCgPrograms(is2D ? data2D : data3D, is2D, is2D ? data2D : data3D, data3D, -1, &pass);
                    GLint active = 0;
                    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
                    EXPECT_EQ(active, GL_TEXTURE5) << what; // never switched, not even while bound
                    fragments += cgBoundFragmentProgram() != PRG_NONE;
                    disableCgPrograms();
                    expectUntouched(what);
                }
    EXPECT_GT(fragments, 150); // nearly every combination has a program
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_3D);
    glActiveTexture(GL_TEXTURE0);
    volume.myMVolumeInfo = nullptr;
    volume.isMask = false;
    GLuint palette = 0;
    GLuint preint = 0;
    unsigned long version = 0;
    cgTableOverrides(&palette, &preint, &version);
    glDeleteTextures(1, &palette);
    glDeleteTextures(1, &table);
    glDeleteTextures(static_cast<GLsizei>(own2D.size()), own2D.data());
    glDeleteTextures(static_cast<GLsizei>(own3D.size()), own3D.data());
    glDeleteTextures(1, &data2D);
    glDeleteTextures(1, &data3D);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A parameter the manager loads but a file lacks (here renamed) is reported
// once to the log file when the programs are made; drawing does not look
// for it again.
TEST_F(MyCg, AParameterAFileLacksIsReportedOnceAtCreation)
{
    testsupport::TempDir dir;
    fillDirectory(dir, {"post3d.cg"}, true);
    std::string text = testsupport::readFile(kSourceCg + "post3d.cg");
    for (size_t at = text.find("palette"); at != std::string::npos; at = text.find("palette", at))
        text.replace(at, 7, "colours");
    ASSERT_TRUE(testsupport::writeFile(dir.file("post3d.cg"), text));
    ASSERT_TRUE(createCgPrograms());
    ASSERT_NE(cgProgramHandle(PRG_POST3D), nullptr);
    EXPECT_EQ(cgProgramParameter(PRG_POST3D, "palette"), nullptr);
    EXPECT_NE(cgProgramParameter(PRG_POST3D, "volume"), nullptr);
    const std::string line = "Shader: post3d.cg has no parameter palette.\n";
    const std::string created = fileText();
    const size_t first = created.find(line);
    ASSERT_NE(first, std::string::npos) << created;
    EXPECT_EQ(created.find(line, first + 1), std::string::npos);
    EXPECT_NE(created.find("src/my_cg.cpp\t"), std::string::npos);
    EXPECT_EQ(consoleText().find("has no parameter"), std::string::npos);

    RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_OAS);
    GLuint t3 = texture3D(50);
    cgGetError();
    for (int i = 0; i < 3; ++i)
        drawSlice(t3, false, 0, true);
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_POST3D);
    EXPECT_EQ(fileText(), created);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    glDeleteTextures(1, &t3);
}

TEST_F(MyCg, PreIntegrationValuesFollowSamplingFaceAndClassification)
{
    ASSERT_TRUE(createCgPrograms());
    RenderMode& mode = RenderMode::instance();
    mode.setDrawStyle(DRAW_3D_TEXTURE_OAS);
    mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    struct FaceCase
    {
        int face;
        float n2[4], n3[4];
    } faces[] = {{1, {0, 1, 0, 0}, {0, 0, 1, 0}}, {3, {0, 1, 0, 0}, {0, 0, 1, 0}}, {4, {1, 0, 0, 0}, {0, 0, 1, 0}},
                 {5, {1, 0, 0, 0}, {0, 0, 1, 0}}, {0, {1, 0, 0, 0}, {0, 1, 0, 0}}, {2, {1, 0, 0, 0}, {0, 1, 0, 0}}};
    for (const FaceCase& f : faces) {
        volume.frontFace = f.face;
        bindCgPrograms(0, false, 0, 0, -1);
        std::vector<float> n2 = uniform(PRG_PREINT_VP_OAS3D, "normal2", 4);
        std::vector<float> n3 = uniform(PRG_PREINT_VP_OAS3D, "normal3", 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(n2[static_cast<size_t>(i)], f.n2[i]) << "face " << f.face;
            EXPECT_EQ(n3[static_cast<size_t>(i)], f.n3[i]) << "face " << f.face;
        }
        disableCgPrograms();
    }
    // One over N - 1 slices; halfSampling while interacting.
    bindCgPrograms(0, false, 0, 0, -1);
    EXPECT_FLOAT_EQ(uniform(PRG_PREINT_VP_OAS3D, "sliceDst", 1)[0], 1.0f / 63.0f);
    disableCgPrograms();
    volume.interacting = true;
    bindCgPrograms(0, false, 0, 0, -1);
    EXPECT_FLOAT_EQ(uniform(PRG_PREINT_VP_OAS3D, "sliceDst", 1)[0], 1.0f / 31.0f);
    disableCgPrograms();
    volume.interacting = false;
    // One slice or none: no division by zero.
    volume.sampling = 1;
    bindCgPrograms(0, false, 0, 0, -1);
    EXPECT_FLOAT_EQ(uniform(PRG_PREINT_VP_OAS3D, "sliceDst", 1)[0], 1.0f);
    disableCgPrograms();
    volume.sampling = 64;
    // View-aligned: the distance to the next slice, the diagonal over 1.8 (N - 1).
    mode.setDrawStyle(DRAW_3D_TEXTURE_VAS);
    bindCgPrograms(0, false, 0, 0, -1);
    EXPECT_FLOAT_EQ(uniform(PRG_PREINT_VP, "sliceDst", 1)[0], std::sqrt(3.0f) * (1.0f / (63.0f * 1.8f)));
    disableCgPrograms();

    // Classifications 3 and 4 both keep the compositing and the alpha test as they are.
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int c : {CLASSIFICATION_PRE_INTEGRATION, CLASSIFICATION_PRE_INTEGRATION_FILE}) {
        mode.setClassification(c);
        bindCgPrograms(0, false, 0, 0, -1);
        disableCgPrograms();
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << c;
        EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST)) << c;
        GLint src = 0;
        GLint dst = 0;
        glGetIntegerv(GL_BLEND_SRC_RGB, &src);
        glGetIntegerv(GL_BLEND_DST_RGB, &dst);
        EXPECT_EQ(src, GL_SRC_ALPHA) << c;
        EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA) << c;
    }
    glDisable(GL_ALPHA_TEST);
}

TEST_F(MyCg, ClipPlaneParametersCoverEverySlot)
{
    ASSERT_TRUE(createCgPrograms());
    RenderMode& mode = RenderMode::instance();
    mode.setDrawStyle(DRAW_3D_TEXTURE_OAS);
    mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    // Plane 2 alone (plane 1 deleted): slot 1 holds it while the count is 1.
    const float quarterTurn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // 90 degrees about z
    ASSERT_EQ(clipPlanes.add(kIdentity), 0);
    ASSERT_EQ(clipPlanes.add(quarterTurn), 1);
    clipPlanes.del(1);
    ASSERT_EQ(clipPlanes.count, 1);
    clipPlanes.pole[1]->translate(0.2f); // keeps y >= 0.2 in its frame: d = -0.2
    bindCgPrograms(0, false, 0, 0, -1);
    std::vector<float> p0 = uniform(PRG_PREINT_VP_OAS3D, "ClipPlane0", 4);
    std::vector<float> p1 = uniform(PRG_PREINT_VP_OAS3D, "ClipPlane1", 4);
    disableCgPrograms();
    // An empty slot keeps everything.
    EXPECT_EQ(p0, (std::vector<float>{0, 0, 0, 1}));
    // The normal (0, 1, 0) turned by the plane's matrix, and d.
    EXPECT_NEAR(p1[0], -1.0f, 1e-6f);
    EXPECT_NEAR(p1[1], 0.0f, 1e-6f);
    EXPECT_NEAR(p1[2], 0.0f, 1e-6f);
    EXPECT_NEAR(p1[3], -0.2f, 1e-6f);
}

// ---- pictures ----

TEST_F(MyCg, PostClassificationGivesThePaletteEntry)
{
    ASSERT_TRUE(createCgPrograms());
    GLuint palette = makeTable(256, 1, paletteEntry);
    setCgTableTextures(palette, 0);
    RenderMode& mode = RenderMode::instance();
    for (int value : {0, 1, 100, 254, 255}) {
        GLuint t2 = texture2D(static_cast<unsigned char>(value));
        mode.setDrawStyle(DRAW_2D_TEXTURE);
        drawSlice(t2, true, 0);
        expectPixel(pixelAt(8, 8), paletteByte(value, 0), paletteByte(value, 1), paletteByte(value, 2),
                    paletteByte(value, 3));
        GLuint t3 = texture3D(static_cast<unsigned char>(value));
        mode.setDrawStyle(DRAW_3D_TEXTURE_OAS);
        drawSlice(t3, false, 0, true);
        expectPixel(pixelAt(8, 8), paletteByte(value, 0), paletteByte(value, 1), paletteByte(value, 2),
                    paletteByte(value, 3));
        // Iso on a flat region: no gradient, so the colour is the entry itself.
        volume.isoMode = true;
        drawSlice(t3, false, 0, true);
        expectPixel(pixelAt(8, 8), paletteByte(value, 0), paletteByte(value, 1), paletteByte(value, 2),
                    paletteByte(value, 3));
        volume.isoMode = false;
        glDeleteTextures(1, &t2);
        glDeleteTextures(1, &t3);
    }
    glDeleteTextures(1, &palette);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MyCg, PreIntegrationOfEqualValuesGivesTheDiagonal)
{
    ASSERT_TRUE(createCgPrograms());
    GLuint table = makeTable(256, 256, preintEntry);
    setCgTableTextures(0, table);
    RenderMode& mode = RenderMode::instance();
    mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    for (bool perspective : {true, false}) {
        volume.perspective = perspective;
        for (int value : {0, 37, 255}) {
            GLuint t2 = texture2D(static_cast<unsigned char>(value));
            mode.setDrawStyle(DRAW_2D_TEXTURE);
            drawSlice(t2, true, t2);
            expectPixel(pixelAt(8, 8), value, value, 200, 255);
            GLuint t3 = texture3D(static_cast<unsigned char>(value));
            mode.setDrawStyle(DRAW_3D_TEXTURE_OAS);
            drawSlice(t3, false, 0, true);
            expectPixel(pixelAt(8, 8), value, value, 200, 255);
            mode.setDrawStyle(DRAW_3D_TEXTURE_VAS);
            drawSlice(t3, false, 0, true);
            expectPixel(pixelAt(8, 8), value, value, 200, 255);
            glDeleteTextures(1, &t2);
            glDeleteTextures(1, &t3);
        }
    }
    // Different slices: column = this slice's value, row = the next one's.
    volume.perspective = true;
    GLuint front = texture2D(10);
    GLuint back = texture2D(20);
    mode.setDrawStyle(DRAW_2D_TEXTURE);
    drawSlice(front, true, back);
    expectPixel(pixelAt(8, 8), 10, 20, 0, 255);
    glDeleteTextures(1, &front);
    glDeleteTextures(1, &back);
    glDeleteTextures(1, &table);
}

TEST_F(MyCg, MultiTextureInterpolatesBetweenTheBracketingSlices)
{
    ASSERT_TRUE(createCgPrograms());
    GLuint palette = makeTable(256, 1, paletteEntry);
    GLuint table = makeTable(256, 256, preintEntry);
    setCgTableTextures(palette, table);
    GLuint a = texture2D(0);
    GLuint b = texture2D(200);
    GLuint c = texture2D(100);
    RenderMode& mode = RenderMode::instance();
    mode.setDrawStyle(DRAW_2D_MULTI_TEXTURE);
    volume.multiSlices[0] = static_cast<float>(a);
    volume.multiSlices[1] = static_cast<float>(b);
    volume.multiSlices[2] = 0.25f; // 50
    volume.multiSlices[3] = static_cast<float>(b);
    volume.multiSlices[4] = static_cast<float>(c);
    volume.multiSlices[5] = 0.5f; // 150
    drawSlice(a, true, b);
    expectPixel(pixelAt(8, 8), paletteByte(50, 0), paletteByte(50, 1), paletteByte(50, 2), paletteByte(50, 3));
    mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    drawSlice(a, true, b);
    expectPixel(pixelAt(8, 8), 50, 150, 0, 255);
    GLuint all[3] = {a, b, c};
    glDeleteTextures(3, all);
    glDeleteTextures(1, &palette);
    glDeleteTextures(1, &table);
}

TEST_F(MyCg, AClipPlaneRemovesItsHalfSpace)
{
    ASSERT_TRUE(createCgPrograms());
    GLuint table = makeTable(256, 256, preintEntry);
    setCgTableTextures(0, table);
    GLuint t3 = texture3D(90);
    RenderMode& mode = RenderMode::instance();
    mode.setDrawStyle(DRAW_3D_TEXTURE_OAS);
    mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);

    // No plane: everything drawn.
    drawSlice(t3, false, 0, true);
    expectPixel(pixelAt(8, 2), 90, 90, 200, 255);
    expectPixel(pixelAt(8, 13), 90, 90, 200, 255);

    // A new plane keeps y >= 0.
    ASSERT_EQ(clipPlanes.add(kIdentity), 0);
    glEnable(GL_CLIP_PLANE0);
    drawSlice(t3, false, 0, true);
    expectPixel(pixelAt(8, 2), 0, 0, 0, 0);
    expectPixel(pixelAt(8, 13), 90, 90, 200, 255);
    // Inverted, y <= 0.
    clipPlanes.pole[0]->invert();
    drawSlice(t3, false, 0, true);
    expectPixel(pixelAt(8, 2), 90, 90, 200, 255);
    expectPixel(pixelAt(8, 13), 0, 0, 0, 0);
    clipPlanes.pole[0]->invert();

    // Data and plane turned together (the plane reset to the rotation): the
    // same half of the data is cut.
    const float quarterTurn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(volume.rotation, quarterTurn, sizeof quarterTurn);
    std::memcpy(clipPlanes.pole[0]->matrix, quarterTurn, sizeof quarterTurn);
    drawSlice(t3, false, 0, true);
    expectPixel(pixelAt(8, 2), 0, 0, 0, 0);
    expectPixel(pixelAt(8, 13), 90, 90, 200, 255);
    // Only the plane turned: it now keeps x <= 0 of the data.
    std::memcpy(volume.rotation, kIdentity, sizeof kIdentity);
    drawSlice(t3, false, 0, true);
    expectPixel(pixelAt(2, 8), 90, 90, 200, 255);
    expectPixel(pixelAt(13, 8), 0, 0, 0, 0);
    glDisable(GL_CLIP_PLANE0);
    glDeleteTextures(1, &t3);
    glDeleteTextures(1, &table);
}
