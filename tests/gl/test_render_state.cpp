// A paint leaves the OpenGL state it found: what the volume pass switches on
// for its slices (blending, min/max equations, texture units, programs) must
// not reach the outlines, the plane outlines, the text or the next frame.
#include "render_fixture.h"

namespace {

const int kUnits = 4; // the units the programs bind their samplers to

// The state a pass could leak, read back from the context.
struct PassState
{
    GLboolean blend, alphaTest;
    GLint equation, srcRgb, dstRgb, activeUnit, program, pipeline;
    GLint bound2D[kUnits], bound3D[kUnits], textureDepth[kUnits];
    GLint modelviewDepth, projectionDepth, matrixMode;

    static PassState read()
    {
        PassState s{};
        s.blend = glIsEnabled(GL_BLEND);
        s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.equation);
        glGetIntegerv(GL_BLEND_SRC_RGB, &s.srcRgb);
        glGetIntegerv(GL_BLEND_DST_RGB, &s.dstRgb);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeUnit);
        glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
        glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &s.pipeline);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
        glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        for (int u = 0; u < kUnits; ++u) {
            glActiveTexture(GL_TEXTURE0 + u);
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.bound2D[u]);
            glGetIntegerv(GL_TEXTURE_BINDING_3D, &s.bound3D[u]);
            glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &s.textureDepth[u]);
        }
        glActiveTexture(static_cast<GLenum>(active));
        return s;
    }
};

void expectSame(const PassState& a, const PassState& b, const std::string& what)
{
    EXPECT_EQ(a.blend, b.blend) << what;
    EXPECT_EQ(a.alphaTest, b.alphaTest) << what;
    EXPECT_EQ(a.equation, b.equation) << what;
    EXPECT_EQ(a.srcRgb, b.srcRgb) << what;
    EXPECT_EQ(a.dstRgb, b.dstRgb) << what;
    EXPECT_EQ(a.activeUnit, b.activeUnit) << what;
    EXPECT_EQ(a.program, b.program) << what;
    EXPECT_EQ(a.pipeline, b.pipeline) << what;
    EXPECT_EQ(a.modelviewDepth, b.modelviewDepth) << what;
    EXPECT_EQ(a.projectionDepth, b.projectionDepth) << what;
    EXPECT_EQ(a.matrixMode, b.matrixMode) << what;
    for (int u = 0; u < kUnits; ++u) {
        EXPECT_EQ(a.bound2D[u], b.bound2D[u]) << what << " unit " << u;
        EXPECT_EQ(a.bound3D[u], b.bound3D[u]) << what << " unit " << u;
        EXPECT_EQ(a.textureDepth[u], b.textureDepth[u]) << what << " unit " << u;
    }
}

using RenderState = RenderSlicing;

// Every style under every compositing rule, after a state that is not the
// default one: the paint hands back exactly that state.
TEST_F(RenderState, APaintOfEveryStyleAndRuleLeavesTheStateItFound)
{
    upload(16, [](int x, int y, int z) { return static_cast<unsigned char>(x * 8 + y * 4 + z); });
    palette([](int i) { return Rgba{i, 255 - i, 128, i / 2}; });

    // Names of our own on the units the programs use, and unit 2 active.
    GLuint mine[2 * kUnits];
    glGenTextures(2 * kUnits, mine);
    for (int u = 0; u < kUnits; ++u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glBindTexture(GL_TEXTURE_2D, mine[2 * u]);
        glBindTexture(GL_TEXTURE_3D, mine[2 * u + 1]);
    }
    glActiveTexture(GL_TEXTURE2);
    glBlendFunc(GL_ONE, GL_ZERO);

    const int styles[] = {DRAW_2D_TEXTURE,     DRAW_3D_TEXTURE_OAS,  DRAW_3D_TEXTURE_VAS,
                          DRAW_RAY_CASTING,    DRAW_NORMAL_TEXTURE,  DRAW_NORMAL_FRAGMENT,
                          DRAW_LIGHT_GRADMAG,  DRAW_LIGHT2};
    for (int blending : {BLENDING_COMPOSITE, BLENDING_MAXIMUM, BLENDING_MINIMUM})
        for (int style : styles)
            for (int classification : {CLASSIFICATION_POST, CLASSIFICATION_PRE_INTEGRATION}) {
                volume.setBlending(blending);
                renderer->setStyle(style);
                RenderMode::instance().setClassification(classification);
                const PassState before = PassState::read();
                const std::vector<unsigned char> px = frame();
                const std::string what = std::string(drawStyleLabel(style)) + " blending " +
                                         std::to_string(blending) + " classification " +
                                         std::to_string(classification);
                expectSame(before, PassState::read(), what);
                EXPECT_GT(coverage(px), 0) << what; // the pass did draw
                EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << what;
            }
    glDeleteTextures(2 * kUnits, mine);
    glActiveTexture(GL_TEXTURE0);
}

// The outlines drawn after a maximum-intensity pass are plain green, not the
// maximum of green and what lies under them.
TEST_F(RenderState, OutlinesAfterMaximumIntensityAreNotBlended)
{
    upload(16, [](int, int, int) { return 200; });
    palette([](int i) { return Rgba{i, 0, i, 255}; });
    volume.showBBox = true;
    volume.setBlending(BLENDING_MAXIMUM);
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    const std::vector<unsigned char> px = frame();
    // An outline pixel over the magenta volume: pure green when drawn over it.
    int green = 0, blended = 0;
    for (size_t i = 0; i < px.size(); i += 4) {
        green += px[i] == 0 && px[i + 1] == 255 && px[i + 2] == 0;
        blended += px[i] == 200 && px[i + 1] == 255 && px[i + 2] == 200;
    }
    EXPECT_GT(green, 0);
    EXPECT_EQ(blended, 0);
}

} // namespace
