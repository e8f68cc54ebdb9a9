// The Cg-style program layer on an offscreen context: values reach the
// programs, stages run independently of each other, bad handles are harmless.
#include "cg_layer.h"
#include "gl_context.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const int kSize = 16;

struct Pixel
{
    int r, g, b, a;
};

Pixel pixelAt(const OffscreenContext& ctx, int x, int y)
{
    std::vector<unsigned char> px(static_cast<size_t>(ctx.width() * ctx.height() * 4));
    ctx.readPixels(px.data());
    const unsigned char* p = &px[static_cast<size_t>((y * ctx.width() + x) * 4)];
    return {p[0], p[1], p[2], p[3]};
}

void expectPixel(const Pixel& p, int r, int g, int b, int a, int tolerance = 1)
{
    EXPECT_NEAR(p.r, r, tolerance);
    EXPECT_NEAR(p.g, g, tolerance);
    EXPECT_NEAR(p.b, b, tolerance);
    EXPECT_NEAR(p.a, a, tolerance);
}

void resetMatrices()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The whole target, texture coordinate 0 everywhere.
void drawQuad()
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
}

// The texture on a unit's target, read without leaving the active unit changed.
GLuint boundOn(GLenum unit, GLenum bindingQuery)
{
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(unit);
    GLint texture = 0;
    glGetIntegerv(bindingQuery, &texture);
    glActiveTexture(static_cast<GLenum>(active));
    return static_cast<GLuint>(texture);
}

bool enabledOn(GLenum unit, GLenum target)
{
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(unit);
    const bool on = glIsEnabled(target);
    glActiveTexture(static_cast<GLenum>(active));
    return on;
}

// A 1 x 1 (x 1) RGBA texture of one value.
GLuint texel(GLenum target, unsigned char value)
{
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(target, t);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const unsigned char rgba[4] = {value, value, value, 255};
    if (target == GL_TEXTURE_3D)
        glTexImage3D(target, 0, GL_RGBA8, 1, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    else
        glTexImage2D(target, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindTexture(target, 0);
    return t;
}

int byteOf(float v)
{
    return static_cast<int>(std::lround(v * 255.0f));
}

const char* kKindsFp = R"(#version 450 compatibility
uniform float which;
uniform float f1;
uniform vec2 f2;
uniform vec3 f3;
uniform vec4 f4;
uniform float arr[3];
uniform mat4 m;
uniform sampler2D tex;
void main()
{
    vec4 c;
    if (which < 0.5)
        c = vec4(f1, f2.y, f3.z, f4.w);
    else if (which < 1.5)
        c = vec4(f2.x, f3.x, f3.y, f4.x);
    else if (which < 2.5)
        c = vec4(arr[0], arr[1], arr[2], 1.0);
    else if (which < 3.5)
        c = m[3];
    else if (which < 4.5)
        c = vec4(m[1][0], m[0][1], m[2][3], 1.0);
    else
        c = texture(tex, vec2(0.5));
    gl_FragColor = c;
}
)";

// Writes one tracked matrix's column 3, or elements of its first column and last row, as the colour.
const char* kMatrixVp = R"(#version 450 compatibility
uniform mat4 tracked;
uniform float which;
void main()
{
    gl_Position = gl_Vertex;
    gl_FrontColor = which < 0.5 ? tracked[3] : vec4(tracked[0][0], tracked[0][3], tracked[1][3], 1.0);
}
)";

class CgLayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        cgGetError();
        context = cgCreateContext();
        ASSERT_NE(context, nullptr);
        resetMatrices();
    }
    void TearDown() override
    {
        cgGLDisableProfile(CG_PROFILE_GLSLV);
        cgGLDisableProfile(CG_PROFILE_GLSLF);
        if (context)
            cgDestroyContext(context);
        cgGetError();
    }
    CGprogram make(const char* source, CGprofile profile)
    {
        CGprogram p = cgCreateProgram(context, CG_SOURCE, source, profile, "main", nullptr);
        EXPECT_NE(p, nullptr) << cgGetLastListing(context);
        cgGLLoadProgram(p);
        return p;
    }

    OffscreenContext ctx{kSize, kSize};
    CGcontext context = nullptr;
};

} // namespace

TEST_F(CgLayer, ProfilesAreTheGlslStages)
{
    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_VERTEX), CG_PROFILE_GLSLV);
    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_FRAGMENT), CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_MODELVIEW_MATRIX), CG_PROFILE_UNKNOWN);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST_F(CgLayer, EveryKindOfParameterReachesTheProgram)
{
    CGprogram fp = make(kKindsFp, CG_PROFILE_GLSLF);
    ASSERT_NE(fp, nullptr);
    CGparameter which = cgGetNamedParameter(fp, "which");
    ASSERT_NE(which, nullptr);
    EXPECT_EQ(cgGetNamedParameter(fp, "nosuch"), nullptr);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);

    cgGLSetParameter1f(cgGetNamedParameter(fp, "f1"), 0.2f);
    cgGLSetParameter2f(cgGetNamedParameter(fp, "f2"), 0.1f, 0.4f);
    cgGLSetParameter3f(cgGetNamedParameter(fp, "f3"), 0.3f, 0.5f, 0.6f);
    cgGLSetParameter4f(cgGetNamedParameter(fp, "f4"), 0.7f, 0.0f, 0.0f, 0.8f);
    cgGLBindProgram(fp);
    cgGLEnableProfile(CG_PROFILE_GLSLF);

    cgGLSetParameter1f(which, 0.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.2f), byteOf(0.4f), byteOf(0.6f), byteOf(0.8f));
    cgGLSetParameter1f(which, 1.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.1f), byteOf(0.3f), byteOf(0.5f), byteOf(0.7f));

    // The vector forms.
    const float v4[4] = {0.9f, 0.0f, 0.0f, 0.25f};
    const float v3[3] = {0.15f, 0.35f, 0.55f};
    cgGLSetParameter4fv(cgGetNamedParameter(fp, "f4"), v4);
    cgGLSetParameter3fv(cgGetNamedParameter(fp, "f3"), v3);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.1f), byteOf(0.15f), byteOf(0.35f), byteOf(0.9f));

    // Float arrays: whole, and a part from an offset.
    CGparameter arr = cgGetNamedParameter(fp, "arr");
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(cgGetArraySize(arr, 0), 3);
    const float a[3] = {0.25f, 0.5f, 0.75f};
    cgGLSetParameterArray1f(arr, 0, 3, a);
    cgGLSetParameter1f(which, 2.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.25f), byteOf(0.5f), byteOf(0.75f), 255);
    const float b[1] = {1.0f};
    cgGLSetParameterArray1f(arr, 2, 1, b);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.25f), byteOf(0.5f), 255, 255);
    cgGLSetParameterArray1f(arr, 2, 2, a); // past the end: refused
    EXPECT_EQ(cgGetError(), CG_OUT_OF_ARRAY_BOUNDS_ERROR);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.25f), byteOf(0.5f), 255, 255);

    // Matrices: column-major and row-major.
    float m[16] = {1, 0.2f, 0, 0, 0.6f, 1, 0, 0, 0, 0, 1, 0.4f, 0.1f, 0.3f, 0.5f, 0.7f};
    CGparameter mp = cgGetNamedParameter(fp, "m");
    cgGLSetMatrixParameterfc(mp, m);
    cgGLSetParameter1f(which, 3.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.1f), byteOf(0.3f), byteOf(0.5f), byteOf(0.7f));
    cgGLSetParameter1f(which, 4.0f); // (row 0, column 1), (row 1, column 0), (row 3, column 2)
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.6f), byteOf(0.2f), byteOf(0.4f), 255);
    cgGLSetMatrixParameterfr(mp, m);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.2f), byteOf(0.6f), byteOf(0.5f), 255);

    // A sampler gets its texture when enabled.
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    const unsigned char texel[4] = {10, 20, 30, 40};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glBindTexture(GL_TEXTURE_2D, 0);
    CGparameter tp = cgGetNamedParameter(fp, "tex");
    ASSERT_NE(tp, nullptr);
    GLint fixedUnits = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &fixedUnits);
    EXPECT_EQ(cgGLGetTextureEnum(tp), static_cast<GLenum>(GL_TEXTURE0 + fixedUnits)); // the first past them
    cgGLSetTextureParameter(tp, tex);
    EXPECT_EQ(cgGLGetTextureParameter(tp), tex);
    cgGLEnableTextureParameter(tp);
    cgGLSetParameter1f(which, 5.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 10, 20, 30, 40, 0);
    cgGLDisableTextureParameter(tp);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    glDeleteTextures(1, &tex);

    // Values of the wrong kind are refused.
    cgGLSetParameter1f(mp, 1.0f);
    EXPECT_EQ(cgGetError(), CG_INVALID_VALUE_TYPE_ERROR);
    cgGLSetMatrixParameterfc(which, m);
    EXPECT_EQ(cgGetError(), CG_NOT_MATRIX_PARAM_ERROR);
    cgGLSetTextureParameter(which, 1);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAMETER_ERROR);
    cgGLSetParameterArray1f(which, 0, 1, a);
    EXPECT_EQ(cgGetError(), CG_ARRAY_PARAM_ERROR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(CgLayer, TrackedMatricesAreTheGlMatricesWhenSet)
{
    CGprogram vp = make(kMatrixVp, CG_PROFILE_GLSLV);
    ASSERT_NE(vp, nullptr);
    CGparameter tracked = cgGetNamedParameter(vp, "tracked");
    CGparameter which = cgGetNamedParameter(vp, "which");
    ASSERT_NE(tracked, nullptr);
    cgGLBindProgram(vp);
    cgGLEnableProfile(CG_PROFILE_GLSLV);
    cgGLSetParameter1f(which, 0.0f);

    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.2f, 0.4f, 0.6f);
    cgGLSetStateMatrixParameter(tracked, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    glLoadIdentity(); // a later change is not seen until the next set
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.2f), byteOf(0.4f), byteOf(0.6f), 255);

    // Inverse (a scale, since negative colours would clamp).
    glLoadIdentity();
    glScalef(2.0f, 4.0f, 1.0f);
    cgGLSetStateMatrixParameter(tracked, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
    cgGLSetParameter1f(which, 1.0f);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.5f), 0, 0, 255);

    // Transpose moves the translation into the last row.
    glLoadIdentity();
    glTranslatef(0.2f, 0.4f, 0.6f);
    cgGLSetStateMatrixParameter(tracked, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_TRANSPOSE);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 255, byteOf(0.2f), byteOf(0.4f), 255);
    cgGLSetParameter1f(which, 0.0f);
    drawQuad(); // column 3 of the transpose is row 3 of the matrix: (0, 0, 0, 1)
    expectPixel(pixelAt(ctx, 8, 8), 0, 0, 0, 255);

    // Projection times model-view.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(0.5f, 0.5f, 0.5f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.2f, 0.4f, 0.6f);
    cgGLSetStateMatrixParameter(tracked, CG_GL_MODELVIEW_PROJECTION_MATRIX, CG_GL_MATRIX_IDENTITY);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.1f), byteOf(0.2f), byteOf(0.3f), 255);

    // The texture matrix of the active unit.
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslatef(0.8f, 0.6f, 0.4f);
    glMatrixMode(GL_MODELVIEW);
    cgGLSetStateMatrixParameter(tracked, CG_GL_TEXTURE_MATRIX, CG_GL_MATRIX_IDENTITY);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), byteOf(0.8f), byteOf(0.6f), byteOf(0.4f), 255);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST_F(CgLayer, AFragmentProgramAloneKeepsFixedFunctionVertexWork)
{
    const char* fs = R"(#version 450 compatibility
void main() { gl_FragColor = vec4(gl_TexCoord[0].x, gl_Color.g, 0.0, 1.0); }
)";
    CGprogram fp = make(fs, CG_PROFILE_GLSLF);
    ASSERT_NE(fp, nullptr);
    cgGLBindProgram(fp);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    glMatrixMode(GL_TEXTURE);
    glTranslatef(0.25f, 0.0f, 0.0f);
    glMatrixMode(GL_MODELVIEW);
    const double keepUpperHalf[4] = {0, 1, 0, 0};
    glClipPlane(GL_CLIP_PLANE0, keepUpperHalf);
    glEnable(GL_CLIP_PLANE0);
    glColor4f(0, 0.5f, 0, 1);
    drawQuad();
    glDisable(GL_CLIP_PLANE0);
    expectPixel(pixelAt(ctx, 8, 12), 64, 128, 0, 255);
    expectPixel(pixelAt(ctx, 8, 3), 0, 0, 0, 0);

    // Disabling the profile returns to the fixed-function fragment stage.
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    glColor4f(0, 0, 1, 1);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 0, 0, 255, 255);
}

TEST_F(CgLayer, AVertexProgramAloneKeepsFixedFunctionFragmentWork)
{
    const char* vs = R"(#version 450 compatibility
uniform vec4 ClipPlane0;
void main()
{
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    gl_FrontColor = vec4(1.0, 0.0, 1.0, 1.0);
    gl_ClipDistance[0] = dot(ClipPlane0, gl_Vertex);
}
)";
    CGprogram vp = make(vs, CG_PROFILE_GLSLV);
    ASSERT_NE(vp, nullptr);
    cgGLSetParameter4f(cgGetNamedParameter(vp, "ClipPlane0"), -1, 0, 0, 0); // keeps x <= 0
    cgGLBindProgram(vp);
    cgGLEnableProfile(CG_PROFILE_GLSLV);
    glEnable(GL_CLIP_PLANE0);
    drawQuad();
    glDisable(GL_CLIP_PLANE0);
    expectPixel(pixelAt(ctx, 3, 8), 255, 0, 255, 255);
    expectPixel(pixelAt(ctx, 12, 8), 0, 0, 0, 0);

    // Both stages together: the vertex program's colour reaches the fragment program.
    // (A written clip distance may clip even with the plane disabled: keep everything.)
    cgGLSetParameter4f(cgGetNamedParameter(vp, "ClipPlane0"), 0, 0, 0, 1);
    const char* fs = R"(#version 450 compatibility
void main() { gl_FragColor = vec4(0.0, gl_Color.r, gl_Color.b * 0.5, 1.0); }
)";
    CGprogram fp = make(fs, CG_PROFILE_GLSLF);
    cgGLBindProgram(fp);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    drawQuad();
    expectPixel(pixelAt(ctx, 12, 8), 0, 255, 128, 255);
}

TEST_F(CgLayer, FilesThatAreMissingOrDoNotCompileGiveNullHandles)
{
    testsupport::TempDir dir;
    std::string missing = dir.file("missing.cg");
    CGprogram p = cgCreateProgramFromFile(context, CG_SOURCE, missing.c_str(), CG_PROFILE_GLSLF, "main",
                                          nullptr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(cgGetError(), CG_FILE_READ_ERROR);
    EXPECT_NE(std::string(cgGetLastListing(context)).find(missing), std::string::npos);

    std::string broken = dir.file("broken.cg");
    ASSERT_TRUE(testsupport::writeFile(broken, "#version 450 compatibility\nvoid main() { gl_FragColor = ; }\n"));
    p = cgCreateProgramFromFile(context, CG_SOURCE, broken.c_str(), CG_PROFILE_GLSLF, "main", nullptr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(cgGetError(), CG_COMPILER_ERROR);
    std::string listing = cgGetLastListing(context);
    EXPECT_EQ(listing.rfind(broken + ":\n", 0), 0u) << listing;
    EXPECT_GT(listing.size(), broken.size() + 2);

    std::string good = dir.file("good.cg");
    ASSERT_TRUE(testsupport::writeFile(good, "#version 450 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n"));
    p = cgCreateProgramFromFile(context, CG_SOURCE, good.c_str(), CG_PROFILE_GLSLF, "main", nullptr);
    EXPECT_NE(p, nullptr);
    EXPECT_STREQ(cgGetLastListing(context), "");
    // Only "main" is an entry.
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, good.c_str(), CG_PROFILE_GLSLF, "start", nullptr),
              nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENTRY_ERROR);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, good.c_str(), CG_PROFILE_UNKNOWN, "main", nullptr),
              nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROFILE_ERROR);
}

// '#include "name"' reads name from the program's own folder; a path, a
// missing file, a loop and an oversized text are refused with the reason.
TEST_F(CgLayer, IncludesComeFromTheProgramsFolder)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.file("colour.glsl"), "vec4 colour() { return vec4(0.25); }\n"));
    ASSERT_TRUE(testsupport::writeFile(dir.file("main.cg"), "#version 450 compatibility\n  #include \"colour.glsl\"\n"
                                                            "void main() { gl_FragColor = colour(); }\n"));
    std::string path = dir.file("main.cg");
    EXPECT_NE(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr)
        << cgGetLastListing(context);

    struct Case
    {
        const char* text;
        const char* reason;
    } cases[] = {
        {"#include \"../colour.glsl\"\n", "bad #include line"},
        {"#include colour.glsl\n", "bad #include line"},
        {"#include \"absent.glsl\"\n", "absent.glsl: cannot open the file"},
        {"#include \"self.cg\"\n", "#include nested too deeply"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(testsupport::writeFile(dir.file("self.cg"), c.text));
        path = dir.file("self.cg");
        EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", nullptr),
                  nullptr);
        EXPECT_EQ(cgGetError(), CG_FILE_READ_ERROR);
        EXPECT_NE(std::string(cgGetLastListing(context)).find(c.reason), std::string::npos)
            << c.text << cgGetLastListing(context);
    }
    // "-DNAME=VALUE" defines a macro after the #version line.
    ASSERT_TRUE(testsupport::writeFile(dir.file("define.cg"), "#version 450 compatibility\n"
                                                              "void main() { gl_FragColor = vec4(LEVEL); }\n"));
    path = dir.file("define.cg");
    const char* args[] = {"-O3", "-DLEVEL=0.25", nullptr};
    EXPECT_NE(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", args), nullptr)
        << cgGetLastListing(context);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    const char* bad[] = {"-D1LEVEL=2", nullptr};
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", bad), nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_VALUE_TYPE_ERROR);

    ASSERT_TRUE(testsupport::writeFile(dir.file("big.cg"), std::string((1 << 20) + 1, ' ')));
    path = dir.file("big.cg");
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, path.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_NE(std::string(cgGetLastListing(context)).find("larger than 1 MiB"), std::string::npos);
}

TEST_F(CgLayer, NullAndStaleHandlesAreHarmless)
{
    cgGLBindProgram(nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROGRAM_HANDLE_ERROR);
    cgGLLoadProgram(nullptr);
    EXPECT_EQ(cgGetNamedParameter(nullptr, "x"), nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROGRAM_HANDLE_ERROR);
    cgGLSetParameter4f(nullptr, 1, 2, 3, 4);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAM_HANDLE_ERROR);
    cgGLSetStateMatrixParameter(nullptr, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    cgGLSetTextureParameter(nullptr, 3);
    cgGLEnableTextureParameter(nullptr);
    cgGLDisableTextureParameter(nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAM_HANDLE_ERROR);

    // With a null fragment program bound and its profile on, drawing is fixed-function.
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLEnableProfile(CG_PROFILE_GLSLV);
    glColor4f(0, 1, 0, 1);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 0, 255, 0, 255);

    // A program that is not loaded is not bound.
    const char* fs = "#version 450 compatibility\nuniform float k;\nvoid main() { gl_FragColor = vec4(k); }\n";
    CGprogram fp = cgCreateProgram(context, CG_SOURCE, fs, CG_PROFILE_GLSLF, "main", nullptr);
    ASSERT_NE(fp, nullptr);
    cgGLBindProgram(fp);
    EXPECT_EQ(cgGetError(), CG_PROGRAM_NOT_LOADED_ERROR);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 0, 255, 0, 255);

    // After destruction its handles are refused and drawing is fixed-function again.
    cgGLLoadProgram(fp);
    CGparameter k = cgGetNamedParameter(fp, "k");
    cgGLSetParameter1f(k, 1.0f);
    cgGLBindProgram(fp);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 255, 255, 255, 255);
    cgDestroyProgram(fp);
    EXPECT_EQ(cgIsProgram(fp), CG_FALSE);
    cgGLSetParameter1f(k, 0.5f);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAM_HANDLE_ERROR);
    cgGLBindProgram(fp);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROGRAM_HANDLE_ERROR);
    drawQuad();
    expectPixel(pixelAt(ctx, 8, 8), 0, 255, 0, 255);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Samplers use units past the fixed-function ones and never switch the active
// unit: enabling puts each texture on its unit, disabling takes it off again,
// and the polygon drawn just before disabling still samples the textures.
TEST_F(CgLayer, SamplersLeaveTheActiveUnitAndEveryOtherUnitAsTheyWere)
{
    const char* fs = R"(#version 450 compatibility
uniform sampler2D sheet;
uniform sampler3D solid;
void main() { gl_FragColor = vec4(texture(sheet, vec2(0.5)).r, texture(solid, vec3(0.5)).r, 0.0, 1.0); }
)";
    CGprogram fp = make(fs, CG_PROFILE_GLSLF);
    ASSERT_NE(fp, nullptr);
    CGparameter sheet = cgGetNamedParameter(fp, "sheet");
    CGparameter solid = cgGetNamedParameter(fp, "solid");
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(solid, nullptr);
    GLint fixedUnits = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &fixedUnits);
    ASSERT_GT(fixedUnits, 3);
    EXPECT_GE(cgGLGetTextureEnum(sheet), static_cast<GLenum>(GL_TEXTURE0 + fixedUnits));
    EXPECT_GE(cgGLGetTextureEnum(solid), static_cast<GLenum>(GL_TEXTURE0 + fixedUnits));
    EXPECT_NE(cgGLGetTextureEnum(sheet), cgGLGetTextureEnum(solid));

    // What the rest of the program has set: its own textures on every
    // fixed-function unit, 2-D texturing on, unit 3 active.
    std::vector<GLuint> own2D;
    std::vector<GLuint> own3D;
    for (GLint u = 0; u < fixedUnits; ++u) {
        own2D.push_back(texel(GL_TEXTURE_2D, 1));
        own3D.push_back(texel(GL_TEXTURE_3D, 2));
    }
    const GLuint t2 = texel(GL_TEXTURE_2D, 60);
    const GLuint t3 = texel(GL_TEXTURE_3D, 200);
    for (GLint u = 0; u < fixedUnits; ++u) {
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
        glBindTexture(GL_TEXTURE_2D, own2D[static_cast<size_t>(u)]);
        glBindTexture(GL_TEXTURE_3D, own3D[static_cast<size_t>(u)]);
    }
    glActiveTexture(GL_TEXTURE3);
    glEnable(GL_TEXTURE_2D);

    cgGLBindProgram(fp);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLSetTextureParameter(sheet, t2);
    cgGLSetTextureParameter(solid, t3);
    cgGLEnableTextureParameter(sheet);
    cgGLEnableTextureParameter(solid);
    EXPECT_EQ(boundOn(cgGLGetTextureEnum(sheet), GL_TEXTURE_BINDING_2D), t2);
    EXPECT_EQ(boundOn(cgGLGetTextureEnum(solid), GL_TEXTURE_BINDING_3D), t3);
    drawQuad();
    cgGLDisableTextureParameter(sheet);
    cgGLDisableTextureParameter(solid);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    expectPixel(pixelAt(ctx, 8, 8), 60, 200, 0, 255, 0);

    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(boundOn(cgGLGetTextureEnum(sheet), GL_TEXTURE_BINDING_2D), 0u);
    EXPECT_EQ(boundOn(cgGLGetTextureEnum(solid), GL_TEXTURE_BINDING_3D), 0u);
    for (GLint u = 0; u < fixedUnits; ++u) {
        const GLenum unit = static_cast<GLenum>(GL_TEXTURE0 + u);
        EXPECT_EQ(boundOn(unit, GL_TEXTURE_BINDING_2D), own2D[static_cast<size_t>(u)]) << u;
        EXPECT_EQ(boundOn(unit, GL_TEXTURE_BINDING_3D), own3D[static_cast<size_t>(u)]) << u;
        EXPECT_EQ(enabledOn(unit, GL_TEXTURE_2D), u == 3) << u;
        EXPECT_FALSE(enabledOn(unit, GL_TEXTURE_3D)) << u;
    }
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(static_cast<GLsizei>(own2D.size()), own2D.data());
    glDeleteTextures(static_cast<GLsizei>(own3D.size()), own3D.data());
    glDeleteTextures(1, &t2);
    glDeleteTextures(1, &t3);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
