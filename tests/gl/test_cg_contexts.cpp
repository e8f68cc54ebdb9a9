// The shader layer with two OpenGL contexts, as the main view and the
// transfer-function editor have: each binds only its own programs and
// pipeline, and a Cg context destroyed with the other OpenGL context current
// deletes nothing there.
#include "cg_layer.h"
#include "gl_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int kSize = 8;

struct Pixel
{
    int r, g, b, a;
    bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

std::ostream& operator<<(std::ostream& out, const Pixel& p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

const Pixel kRed{255, 0, 0, 255};
const Pixel kGreen{0, 255, 0, 255};
const Pixel kBlue{0, 0, 255, 255}; // the fixed-function colour

// A loaded fragment program that writes one colour.
CGprogram colourProgram(CGcontext context, const char* colour)
{
    const std::string source =
        std::string("#version 450 compatibility\nvoid main() { gl_FragColor = ") + colour + "; }\n";
    CGprogram p = cgCreateProgram(context, CG_SOURCE, source.c_str(), CG_PROFILE_GLSLF, "main", nullptr);
    EXPECT_NE(p, nullptr) << cgGetLastListing(context);
    cgGLLoadProgram(p);
    return p;
}

// The centre of a quad over the target drawn with what is bound.
Pixel drawn(const OffscreenContext& ctx)
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(0, 0, 1, 1);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    std::vector<unsigned char> px(kSize * kSize * 4);
    ctx.readPixels(px.data());
    const unsigned char* p = &px[(kSize / 2 * kSize + kSize / 2) * 4];
    return {p[0], p[1], p[2], p[3]};
}

GLuint pipelineBinding()
{
    GLint pipeline = 0;
    glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &pipeline);
    return static_cast<GLuint>(pipeline);
}

GLuint fragmentStage()
{
    GLint program = 0;
    if (pipelineBinding())
        glGetProgramPipelineiv(pipelineBinding(), GL_FRAGMENT_SHADER, &program);
    return static_cast<GLuint>(program);
}

} // namespace

TEST(CgContexts, EachOpenGLContextBindsAndDeletesOnlyItsOwn)
{
    cgGetError();
    OffscreenContext a(kSize, kSize);
    ASSERT_TRUE(a.ok()) << a.error();
    CGcontext cgA = cgCreateContext();
    CGprogram red = colourProgram(cgA, "vec4(1.0, 0.0, 0.0, 1.0)");
    const GLuint redName = cgGLGetProgramID(red);
    cgGLBindProgram(red);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    const GLuint pipelineA = pipelineBinding();
    ASSERT_NE(pipelineA, 0u);
    EXPECT_EQ(fragmentStage(), redName);
    EXPECT_EQ(drawn(a), kRed);

    // The second context starts with nothing of the first: enabling the
    // profile binds no pipeline, and the first context's program is refused.
    OffscreenContext b(kSize, kSize);
    ASSERT_TRUE(b.ok()) << b.error();
    EXPECT_FALSE(cgGLIsProfileEnabled(CG_PROFILE_GLSLF));
    CGcontext cgB = cgCreateContext();
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(pipelineBinding(), 0u);
    EXPECT_EQ(drawn(b), kBlue);
    cgGLBindProgram(red);
    EXPECT_EQ(cgGetError(), CG_INVALID_CONTEXT_HANDLE_ERROR);
    EXPECT_EQ(pipelineBinding(), 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    CGprogram green = colourProgram(cgB, "vec4(0.0, 1.0, 0.0, 1.0)");
    const GLuint greenName = cgGLGetProgramID(green);
    cgGLBindProgram(green); // the profile is on: in effect at once
    const GLuint pipelineB = pipelineBinding();
    ASSERT_NE(pipelineB, 0u);
    EXPECT_EQ(fragmentStage(), greenName);
    EXPECT_EQ(drawn(b), kGreen);

    // Each context kept its own binding and enabled profile.
    ASSERT_TRUE(a.makeCurrent());
    EXPECT_EQ(pipelineBinding(), pipelineA);
    EXPECT_EQ(fragmentStage(), redName);
    EXPECT_EQ(drawn(a), kRed);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(pipelineBinding(), 0u);
    ASSERT_TRUE(b.makeCurrent());
    EXPECT_TRUE(cgGLIsProfileEnabled(CG_PROFILE_GLSLF));
    EXPECT_EQ(pipelineBinding(), pipelineB);
    EXPECT_EQ(drawn(b), kGreen);

    // The first Cg context destroyed while the second OpenGL context is
    // current: nothing there is deleted (on Mesa the two programs even
    // share their name), and the first context's program survives too.
    cgDestroyContext(cgA);
    EXPECT_EQ(cgGetError(), CG_INVALID_CONTEXT_HANDLE_ERROR);
    EXPECT_TRUE(glIsProgram(greenName));
    EXPECT_TRUE(glIsProgramPipeline(pipelineB));
    EXPECT_EQ(drawn(b), kGreen);
    ASSERT_TRUE(a.makeCurrent());
    EXPECT_TRUE(glIsProgram(redName));
    glDeleteProgram(redName);
    glDeleteProgramPipelines(1, &pipelineA);

    // A new Cg context in the first OpenGL context, destroyed there: its
    // program and pipeline go, and drawing is fixed-function again.
    CGcontext cgA2 = cgCreateContext();
    CGprogram red2 = colourProgram(cgA2, "vec4(1.0, 0.0, 0.0, 1.0)");
    cgGLBindProgram(red2);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    const GLuint pipelineA2 = pipelineBinding();
    const GLuint red2Name = cgGLGetProgramID(red2);
    EXPECT_EQ(drawn(a), kRed);
    cgDestroyContext(cgA2);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    EXPECT_FALSE(glIsProgram(red2Name));
    EXPECT_FALSE(glIsProgramPipeline(pipelineA2));
    EXPECT_EQ(pipelineBinding(), 0u);
    EXPECT_EQ(drawn(a), kBlue);
    EXPECT_FALSE(cgGLIsProfileEnabled(CG_PROFILE_GLSLF));

    ASSERT_TRUE(b.makeCurrent());
    EXPECT_EQ(drawn(b), kGreen);
    cgDestroyContext(cgB);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    EXPECT_FALSE(glIsProgram(greenName));
    EXPECT_EQ(pipelineBinding(), 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// OpenGL contexts made and destroyed one after another (which may reuse a
// context's address): a fresh one finds no profile on and no pipeline.
TEST(CgContexts, AFreshOpenGLContextStartsWithNothingBound)
{
    cgGetError();
    for (int round = 0; round < 3; ++round) {
        OffscreenContext ctx(kSize, kSize);
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        EXPECT_FALSE(cgGLIsProfileEnabled(CG_PROFILE_GLSLF)) << round;
        CGcontext cg = cgCreateContext();
        EXPECT_FALSE(cgGLIsProfileEnabled(CG_PROFILE_GLSLF)) << round;
        EXPECT_EQ(pipelineBinding(), 0u);
        CGprogram p = colourProgram(cg, round % 2 ? "vec4(0.0, 1.0, 0.0, 1.0)" : "vec4(1.0, 0.0, 0.0, 1.0)");
        cgGLBindProgram(p);
        EXPECT_EQ(pipelineBinding(), 0u); // bound, not yet enabled
        cgGLEnableProfile(CG_PROFILE_GLSLF);
        EXPECT_EQ(drawn(ctx), round % 2 ? kGreen : kRed) << round;
        cgDestroyContext(cg);
        EXPECT_EQ(cgGetError(), CG_NO_ERROR);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}
