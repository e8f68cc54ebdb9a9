// The slicing renderers through the offscreen driver: pictures with known
// answers for each slicing kind, the compositing rules, the alpha test and
// the classification paths. Volumes are uploaded here directly, so these
// tests depend only on the renderers.
#include "gl/render_fixture.h"

namespace {

// The number of view-aligned slices whose plane cuts the unit cube at the
// centre ray in the front view: positions summed as the renderer sums them.
int viewAlignedSlicesThroughCentre(int n)
{
    const SliceSchedule s = sliceSchedule(n, SLICING_3D_VIEW_ALIGNED);
    const float diagonal = std::sqrt(3.0f);
    int k = 0;
    float a = 0.0f;
    for (int i = 0; i < s.count; ++i) {
        const float d = a * diagonal - diagonal / 2.0f;
        // A plane this close to a face would make the count a matter of rounding.
        EXPECT_GT(std::fabs(std::fabs(d) - 0.5f), 1e-3f);
        k += std::fabs(d) < 0.5f;
        a += s.step;
    }
    return k;
}


} // namespace

// Constant value and constant alpha a: k slices over the centre pixel
// composite to 1 - (1 - a)^k, for every slicing kind.
TEST_F(RenderSlicing, ConstantVolumeCompositesDrawnSliceCount)
{
    upload(16, [](int, int, int) { return 100; });
    const int alpha = 77; // about 0.3
    palette([&](int) { return Rgba{255, 255, 255, alpha}; });
    const double a = alpha / 255.0;
    // Few slices, so that one slice more or less is well beyond the tolerance.
    const int n = 6;
    volume.setSampling(n);

    struct Case
    {
        int style;
        int slices;
    } cases[] = {{DRAW_2D_TEXTURE, n},
                 {DRAW_3D_TEXTURE_OAS, n},
                 {DRAW_3D_TEXTURE_VAS, viewAlignedSlicesThroughCentre(n)}};
    for (const Case& c : cases) {
        renderer->setStyle(c.style);
        const Rgba px = centre(frame());
        const double expected = 255.0 * (1.0 - std::pow(1.0 - a, c.slices));
        EXPECT_NEAR(px.r, expected, 2.0) << drawStyleLabel(c.style) << " k=" << c.slices;
        EXPECT_NEAR(px.g, expected, 2.0) << drawStyleLabel(c.style);
        EXPECT_NEAR(px.b, expected, 2.0) << drawStyleLabel(c.style);
    }
}

// While dragging with speed-up, half the slices are drawn.
TEST_F(RenderSlicing, InteractingDrawsHalfTheSlices)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int) { return Rgba{255, 255, 255, 51}; }); // 0.2
    volume.setSampling(16);
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    const int full = centre(frame()).r;
    volume.interacting = true;
    const int half = centre(frame()).r;
    EXPECT_NEAR(full, 255.0 * (1.0 - std::pow(0.8, 16)), 2.0);
    EXPECT_NEAR(half, 255.0 * (1.0 - std::pow(0.8, 8)), 2.0);
}

// Fewer than two slices leave the step undefined: nothing is drawn, while
// the compositing state of the frame is still set.
TEST_F(RenderSlicing, FewerThanTwoSlicesDrawNothing)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int) { return Rgba{255, 255, 255, 255}; });
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS})
        for (int n : {0, 1}) {
            renderer->setStyle(style);
            volume.setSampling(n);
            EXPECT_EQ(coverage(frame()), 0) << drawStyleLabel(style) << " sampling " << n;
        }
    volume.setSampling(2);
    EXPECT_GT(coverage(frame()), 0);
}

// Maximum intensity of a bright column along the view shows the palette
// entry of the maximum exactly.
TEST_F(RenderSlicing, MaximumIntensityShowsThePaletteEntryOfTheMaximum)
{
    upload(16, [](int x, int y, int) { return (x >= 6 && x <= 10 && y >= 6 && y <= 10) ? 200 : 40; });
    palette([](int i) { return Rgba{i, i / 2, i / 4, i}; });
    volume.setBlending(BLENDING_MAXIMUM);
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS}) {
        renderer->setStyle(style);
        const Rgba px = centre(frame());
        EXPECT_EQ(px.r, 200) << drawStyleLabel(style);
        EXPECT_EQ(px.g, 100) << drawStyleLabel(style);
        EXPECT_EQ(px.b, 50) << drawStyleLabel(style);
    }
    // The pass leaves the equation it found for what is drawn after it.
    GLint equation = 0;
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &equation);
    EXPECT_EQ(equation, GL_FUNC_ADD);
}

// Minimum intensity: the minimum on white from its first frame on; hiding the
// volume, or choosing blending again, gives the background at once.
TEST_F(RenderSlicing, MinimumIntensityOnWhiteUntilBlendingReturns)
{
    upload(16, [](int x, int y, int) { return (x >= 6 && x <= 10 && y >= 6 && y <= 10) ? 40 : 200; });
    palette([](int i) { return Rgba{i, i / 2, i / 4, i}; });
    volume.background[0] = 0.0f;
    volume.background[1] = 0.0f;
    volume.background[2] = 1.0f;
    volume.setBlending(BLENDING_MINIMUM);
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    std::vector<unsigned char> px = frame();
    const Rgba c = centre(px);
    EXPECT_EQ(c.r, 40);
    EXPECT_EQ(c.g, 20);
    EXPECT_EQ(c.b, 10);
    const Rgba corner = at(px, 0, 0);
    EXPECT_EQ(corner.r, 255);
    EXPECT_EQ(corner.g, 255);
    EXPECT_EQ(corner.b, 255);

    volume.showVolume = false;
    const Rgba hidden = at(frame(), 0, 0);
    EXPECT_EQ(hidden.r, 0);
    EXPECT_EQ(hidden.b, 255);
    volume.showVolume = true;
    EXPECT_EQ(at(frame(), 0, 0).r, 255);

    volume.setBlending(BLENDING_COMPOSITE);
    const Rgba back = at(frame(), 0, 0);
    EXPECT_EQ(back.r, 0);
    EXPECT_EQ(back.g, 0);
    EXPECT_EQ(back.b, 255);
}

// The alpha test: GL_GREATER with a threshold drops what lies below it,
// GL_LESS keeps only that.
TEST_F(RenderSlicing, AlphaTestKeepsOneSideOfTheThreshold)
{
    // Left half faint (alpha 50), right half strong (alpha 200).
    upload(16, [](int x, int, int) { return x < 8 ? 50 : 200; });
    palette([](int i) { return Rgba{255, 255, 255, i}; });
    volume.alphaThreshold = 0.5f;
    const int left = kSize / 2 - 8;
    const int right = kSize / 2 + 8;
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS}) {
        renderer->setStyle(style);
        volume.alphaFunc = GL_GREATER;
        std::vector<unsigned char> px = frame();
        EXPECT_EQ(at(px, left, kSize / 2).r, 0) << drawStyleLabel(style);
        EXPECT_GT(at(px, right, kSize / 2).r, 200) << drawStyleLabel(style);
        volume.alphaFunc = GL_LESS;
        px = frame();
        EXPECT_GT(at(px, left, kSize / 2).r, 100) << drawStyleLabel(style);
        EXPECT_EQ(at(px, right, kSize / 2).r, 0) << drawStyleLabel(style);
    }
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST)); // off again after the volume
}

// A sphere looks the same through every slicing kind.
TEST_F(RenderSlicing, SphereAgreesAcrossSlicingKinds)
{
    upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 12.0f, false); });
    palette([](int i) { return Rgba{255, 200, 100, i / 8}; });
    volume.setSampling(64);
    renderer->setStyle(DRAW_2D_TEXTURE);
    const std::vector<unsigned char> stack = frame();
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    const std::vector<unsigned char> oas = frame();
    renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    const std::vector<unsigned char> vas = frame();

    EXPECT_GT(coverage(oas), 300);
    EXPECT_LT(meanDifference(stack, oas), 2.0);
    EXPECT_LT(meanDifference(oas, vas), 3.0);
    EXPECT_NEAR(centre(oas).r, centre(vas).r, 12);
    EXPECT_NEAR(centre(oas).r, centre(stack).r, 6);
}

// With "Switching slices" off the slices keep their direction: turned by 90
// degrees they are seen edge-on and the sphere all but vanishes; with it on
// the slices follow and the picture stays.
TEST_F(RenderSlicing, SlicesSeenEdgeOnWithoutSwitching)
{
    upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 12.0f, false); });
    palette([](int i) { return Rgba{255, 200, 100, i / 4}; });
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_OAS}) {
        renderer->setStyle(style);
        volume.switchSlices = true;
        renderer->setView("front", 0, 0);
        const int front = coverage(frame());
        EXPECT_EQ(volume.frontFace, 2);

        renderer->setView("left", 0, 0);
        const int turned = coverage(frame());
        EXPECT_EQ(volume.frontFace, 3);
        EXPECT_GT(turned, front * 9 / 10) << drawStyleLabel(style);

        volume.switchSlices = false;
        renderer->setView("front", 0, 0);
        frame();
        volume.frontFace = 2;
        volume.backFace = 0;
        renderer->setView("left", 0, 0);
        const int edgeOn = coverage(frame());
        EXPECT_EQ(volume.frontFace, 2);
        EXPECT_LT(edgeOn, front / 10) << drawStyleLabel(style);
    }
}

// Turning the data set picks the stack facing the viewer and its direction.
TEST_F(RenderSlicing, FrontFaceFollowsEveryViewPreset)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int) { return Rgba{255, 255, 255, 60}; });
    const struct
    {
        const char* view;
        int front;
    } presets[] = {{"front", 2}, {"back", 0}, {"left", 3}, {"right", 1}, {"top", 4}, {"bottom", 5}};
    renderer->setStyle(DRAW_2D_TEXTURE);
    int reference = -1;
    for (const auto& p : presets) {
        renderer->setView(p.view, 0, 0);
        const int r = centre(frame()).r;
        EXPECT_EQ(volume.frontFace, p.front) << p.view;
        EXPECT_EQ(volume.backFace, oppositeFace(p.front)) << p.view;
        // A cube of constant value looks the same from every side.
        if (reference < 0)
            reference = r;
        EXPECT_NEAR(r, reference, 2) << p.view;
    }
}

// Slices go back to front from every side: the half of the data nearer to
// the viewer (red) covers the farther half (blue), whichever stack or
// direction the view needs.
TEST_F(RenderSlicing, NearerHalfCoversFartherHalfFromEverySide)
{
    palette([](int i) { return i < 125 ? Rgba{0, 0, 255, 153} : Rgba{255, 0, 0, 153}; });
    const struct
    {
        const char* view;
        int axis;      // the axis along the view
        bool positive; // the nearer half lies on its positive side
    } presets[] = {{"front", 2, true}, {"back", 2, false}, {"left", 0, false},
                   {"right", 0, true}, {"top", 1, true},   {"bottom", 1, false}};
    for (const auto& p : presets) {
        upload(16, [&](int x, int y, int z) {
            const int c[3] = {x, y, z};
            return (c[p.axis] >= 8) == p.positive ? 200 : 50;
        });
        renderer->setView(p.view, 0, 0);
        for (int style : {DRAW_2D_TEXTURE, DRAW_2D_MULTI_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS}) {
            renderer->setStyle(style);
            const Rgba px = centre(frame());
            EXPECT_GT(px.r, 240) << p.view << " " << drawStyleLabel(style);
            EXPECT_LT(px.b, 15) << p.view << " " << drawStyleLabel(style);
        }
    }
}

// Pre-integration of a smooth ramp is close to post-classification; the
// transfer function's own tables are used.
TEST_F(RenderSlicing, PreIntegrationOfARampIsCloseToPostClassification)
{
    ASSERT_NE(transfer, nullptr);
    upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 14.0f, true); });
    volume.setSampling(128);
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS}) {
        renderer->setStyle(style);
        renderer->setClassification(CLASSIFICATION_POST);
        const std::vector<unsigned char> post = frame();
        renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION);
        EXPECT_EQ(static_cast<int>(RenderMode::instance().getProgramSet()), 6);
        const std::vector<unsigned char> pre = frame();
        EXPECT_GT(coverage(post), 300) << drawStyleLabel(style);
        EXPECT_LT(meanDifference(post, pre), 3.0) << drawStyleLabel(style);
        EXPECT_NEAR(centre(post).r, centre(pre).r, 12) << drawStyleLabel(style);
    }
}

// A palette whose opacity rises sharply: zero at value 0, a step to 30 at 1
// and another to 160 at 100, colours across the range. Pre-integration
// converges to post-classification: at 400 samples the pictures agree within
// 3/255 in every 3-D slicing kind and the ray caster, wherever the post-
// classified picture itself has settled (it changes by no more than that
// from 400 to 401 samples; rays that graze the ball do not settle at any
// number of samples). The zeros around the smooth ball, which the palette
// hides, stay as empty as they are without pre-integration: no fog from
// segments that hold only hidden values.
TEST_F(RenderSlicing, PreIntegrationConvergesToPostClassificationWithASteepPalette)
{
    ASSERT_NE(transfer, nullptr);
    upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 14.0f, true); });
    for (int c = 0; c < 4; ++c)
        transfer->curve(c).setKind(CURVE_FREE);
    for (int i = 0; i < 256; ++i) {
        transfer->curve(CHANNEL_RED).table()[i] = static_cast<unsigned char>(i);
        transfer->curve(CHANNEL_GREEN).table()[i] = static_cast<unsigned char>(255 - i);
        transfer->curve(CHANNEL_BLUE).table()[i] = 200;
        transfer->curve(CHANNEL_ALPHA).table()[i] = i == 0 ? 0 : i < 100 ? 30 : 160;
    }
    renderer->setView("front", 20, 30);
    for (int style : {DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS, DRAW_RAY_CASTING}) {
        renderer->setStyle(style);
        renderer->setClassification(CLASSIFICATION_POST);
        volume.setSampling(401);
        const std::vector<unsigned char> settled = frame();
        volume.setSampling(400);
        const std::vector<unsigned char> post = frame();
        renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION);
        const std::vector<unsigned char> pre = frame();
        int compared = 0;
        int off = 0;
        int fog = 0;
        for (size_t p = 0; p < post.size(); p += 4) {
            int moved = 0;
            int worst = 0;
            for (size_t ch = p; ch < p + 3; ++ch) {
                moved = std::max(moved, std::abs(int(post[ch]) - int(settled[ch])));
                worst = std::max(worst, std::abs(int(post[ch]) - int(pre[ch])));
            }
            fog += (post[p] | post[p + 1] | post[p + 2]) == 0 && (pre[p] | pre[p + 1] | pre[p + 2]) != 0;
            if (moved > 3)
                continue;
            ++compared;
            off += worst > 3;
        }
        EXPECT_EQ(off, 0) << drawStyleLabel(style);
        EXPECT_EQ(fog, 0) << drawStyleLabel(style);
        EXPECT_GT(compared, kSize * kSize * 99 / 100) << drawStyleLabel(style);
        EXPECT_GT(coverage(post), 300) << drawStyleLabel(style);
        EXPECT_LT(coverage(post), kSize * kSize / 2) << drawStyleLabel(style);
    }
}

// Classification 4, which only the settings file reaches, draws what
// classification 3 draws in every style that pre-integrates, the alpha test
// included: with a threshold above every opacity of the sphere both leave
// the picture empty, and at 0 both give the same bytes.
TEST_F(RenderSlicing, SecondPreIntegrationValueDrawsThePictureOfTheFirst)
{
    upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 14.0f, true); });
    renderer->setView("front", 20, 30);
    for (int style : {DRAW_2D_TEXTURE, DRAW_2D_MULTI_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS,
                      DRAW_RAY_CASTING, DRAW_LIGHT_GRADMAG, DRAW_LIGHT2}) {
        renderer->setStyle(style);
        for (float threshold : {0.95f, 0.0f}) {
            volume.alphaThreshold = threshold;
            renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION);
            const std::vector<unsigned char> first = frame();
            renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION_FILE);
            const std::vector<unsigned char> second = frame();
            EXPECT_TRUE(first == second) << drawStyleLabel(style) << " threshold " << threshold;
            if (threshold > 0.5f)
                EXPECT_EQ(coverage(second), 0) << drawStyleLabel(style);
            else
                EXPECT_GT(coverage(second), 300) << drawStyleLabel(style);
        }
    }
}

// "2D Multi Texture" interpolates between neighbouring stack slices: a
// constant volume gives the same picture as "2D Texture".
TEST_F(RenderSlicing, MultiTextureMatchesTwoDimensionalStacksOnConstantData)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int) { return Rgba{255, 255, 255, 77}; });
    volume.setSampling(6);
    renderer->setStyle(DRAW_2D_TEXTURE);
    const int plain = centre(frame()).r;
    renderer->setStyle(DRAW_2D_MULTI_TEXTURE);
    EXPECT_EQ(static_cast<int>(RenderMode::instance().getProgramSet()), 11);
    const int multi = centre(frame()).r;
    EXPECT_NEAR(plain, multi, 1);
    EXPECT_NEAR(multi, 255.0 * (1.0 - std::pow(1.0 - 77 / 255.0, 6)), 2.0);
}

// The outlines: the green box around the volume, magenta slice outlines.
TEST_F(RenderSlicing, BoxAndSliceOutlines)
{
    upload(16, [](int, int, int) { return 0; });
    palette([](int i) { return Rgba{i, i, i, i}; });
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    volume.showBBox = true;
    std::vector<unsigned char> px = frame();
    int green = 0, magenta = 0;
    for (size_t i = 0; i < px.size(); i += 4) {
        green += px[i] == 0 && px[i + 1] == 255 && px[i + 2] == 0;
        magenta += px[i] == 255 && px[i + 1] == 0 && px[i + 2] == 255;
    }
    EXPECT_GT(green, 80);
    EXPECT_EQ(magenta, 0);

    volume.showBBox = false;
    volume.showSlices = true;
    renderer->setView("front", 30, 30);
    px = frame();
    magenta = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        magenta += px[i] == 255 && px[i + 1] == 0 && px[i + 2] == 255;
    EXPECT_GT(magenta, 80);
}

// The stack entries of a 2-D slice and, for "2D Multi Texture", the pair
// bracketing each position with the fraction between them.
TEST_F(RenderSlicing, SelectedStackSlicesAndMultiTexturePairs)
{
    upload(16, [](int, int, int) { return 1; });
    renderer->setStyle(DRAW_2D_MULTI_TEXTURE);
    volume.frontFace = 2;
    volume.select2DSlices(0.5f, 0.6f); // 7.5 and 9.0 of 15
    EXPECT_EQ(volume.sliceTex[0], volume.tidz[8]);
    EXPECT_EQ(volume.sliceTex[1], volume.tidz[9]);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), volume.tidz[8]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[0]), volume.tidz[7]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[1]), volume.tidz[8]);
    EXPECT_FLOAT_EQ(volume.multiSlices[2], 0.5f);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[3]), volume.tidz[9]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[4]), volume.tidz[10]);
    EXPECT_NEAR(volume.multiSlices[5], 0.0f, 1e-5f);

    // Looking down the axis from the other side counts from the far end.
    volume.frontFace = 0;
    volume.select2DSlices(0.5f, 1.0f);
    EXPECT_EQ(volume.sliceTex[0], volume.tidz[7]);
    EXPECT_EQ(volume.sliceTex[1], volume.tidz[0]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[0]), volume.tidz[8]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[1]), volume.tidz[7]);
    // At the last slice there is no next one: the pair is that slice twice.
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[3]), volume.tidz[0]);
    EXPECT_EQ(static_cast<GLuint>(volume.multiSlices[4]), volume.tidz[0]);
    EXPECT_FLOAT_EQ(volume.multiSlices[5], 0.0f);

    // Other axes, and positions outside [0, 1].
    volume.frontFace = 3;
    volume.select2DSlices(-1.0f, 2.0f);
    EXPECT_EQ(volume.sliceTex[0], volume.tidx[15]);
    EXPECT_EQ(volume.sliceTex[1], volume.tidx[0]);
    volume.frontFace = 4;
    volume.select2DSlices(0.0f, 1.0f);
    EXPECT_EQ(volume.sliceTex[0], volume.tidy[0]);
    EXPECT_EQ(volume.sliceTex[1], volume.tidy[15]);
}

// Two bricks of constant value side by side along an axis: brick 0 on the
// negative half, brick 1 on the positive half.
static void addHalfBricks(Volume& v, int axis, unsigned char first, unsigned char second)
{
    BrickInfo* info = nullptr;
    GUARDED_NEW(info, BrickInfo);
    ASSERT_NE(info, nullptr);
    v.myBrickInfo = info;
    v.isBricking = true;
    const unsigned char values[2] = {first, second};
    for (int b = 0; b < 2; ++b) {
        Brick* brick = nullptr;
        GUARDED_NEW(brick, Brick);
        std::vector<unsigned char> voxels(8 * 8 * 8, values[b]);
        glGenTextures(1, &brick->texData);
        glBindTexture(GL_TEXTURE_3D, brick->texData);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY8, 8, 8, 8, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                     voxels.data());
        // The box onto the brick's half: scale the axis by 1/2, move by -1/4 or +1/4.
        for (int i = 0; i < 16; ++i)
            brick->placement[i] = (i % 5 == 0) ? 1.0f : 0.0f;
        brick->placement[axis * 5] = 0.5f;
        brick->placement[12 + axis] = b == 0 ? -0.25f : 0.25f;
        // Its half of the unit box, and that half onto its whole texture.
        for (int a = 0; a < 3; ++a) {
            brick->lo[a] = a == axis && b == 1 ? 0.0f : -0.5f;
            brick->hi[a] = a == axis && b == 0 ? 0.0f : 0.5f;
            brick->texScale[a] = a == axis ? 2.0f : 1.0f;
            brick->texOffset[a] = a == axis ? (b == 0 ? 1.0f : 0.0f) : 0.5f;
        }
        info->addBrick(brick);
    }
}

// Bricks: each drawn with its own texture where its placement puts it, and
// their cyan outlines on request.
TEST_F(RenderSlicing, BricksDrawTheirOwnTexturesInPlace)
{
    upload(16, [](int, int, int) { return 0; });
    palette([](int i) { return i < 125 ? Rgba{0, 0, 255, i > 0 ? 200 : 0} : Rgba{255, 0, 0, 200}; });
    addHalfBricks(volume, 0, 60, 200); // left blue, right red
    // The box's own texture is empty: what shows comes from the bricks.
    for (int style : {DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS, DRAW_RAY_CASTING}) {
        renderer->setStyle(style);
        const std::vector<unsigned char> px = frame();
        const Rgba left = at(px, kSize / 2 - 6, kSize / 2);
        const Rgba right = at(px, kSize / 2 + 6, kSize / 2);
        EXPECT_GT(left.b, 200) << drawStyleLabel(style);
        EXPECT_EQ(left.r, 0) << drawStyleLabel(style);
        EXPECT_GT(right.r, 200) << drawStyleLabel(style);
        EXPECT_EQ(right.b, 0) << drawStyleLabel(style);
    }
    volume.showBricks = true;
    const std::vector<unsigned char> px = frame();
    int cyan = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        cyan += px[i] == 0 && px[i + 1] == 255 && px[i + 2] == 255;
    EXPECT_GT(cyan, 40);
    // The line between the two bricks is an outline too.
    const Rgba middle = at(px, kSize / 2, kSize / 2);
    const Rgba middleLeft = at(px, kSize / 2 - 1, kSize / 2);
    EXPECT_TRUE((middle.g == 255 && middle.b == 255) || (middleLeft.g == 255 && middleLeft.b == 255));
    volume.showBricks = false;
    volume.isBricking = false;
}

// Bricks one behind the other go far to near: the nearer one covers the
// farther from the front and from the back, in both projections, whether
// sliced or ray cast.
TEST_F(RenderSlicing, BricksAreDrawnFarthestFirst)
{
    upload(16, [](int, int, int) { return 0; });
    palette([](int i) { return i < 125 ? Rgba{0, 0, 255, i > 0 ? 230 : 0} : Rgba{255, 0, 0, 230}; });
    addHalfBricks(volume, 2, 60, 200); // z < 0 blue, z > 0 red
    for (bool perspective : {false, true}) {
        renderer->setProjection(perspective);
        for (int style : {DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS, DRAW_RAY_CASTING}) {
            renderer->setStyle(style);
            renderer->setView("front", 0, 0);
            Rgba c = centre(frame());
            EXPECT_GT(c.r, 240) << drawStyleLabel(style) << " front, perspective " << perspective;
            EXPECT_LT(c.b, 15) << drawStyleLabel(style) << " front, perspective " << perspective;
            renderer->setView("back", 0, 0);
            c = centre(frame());
            EXPECT_GT(c.b, 240) << drawStyleLabel(style) << " back, perspective " << perspective;
            EXPECT_LT(c.r, 15) << drawStyleLabel(style) << " back, perspective " << perspective;
        }
    }
    volume.isBricking = false;
}

// The blend functions of each rule; without the min/max entry point the
// equation stays addition. Several channels compare colours, one its alpha.
TEST_F(RenderSlicing, BlendStatePerRuleAndChannelCount)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int i) { return Rgba{i, i, i, i}; });
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    auto state = [](GLint* eq, GLint* src, GLint* dst) {
        glGetIntegerv(GL_BLEND_EQUATION_RGB, eq);
        glGetIntegerv(GL_BLEND_SRC_RGB, src);
        glGetIntegerv(GL_BLEND_DST_RGB, dst);
    };
    GLint eq, src, dst;
    const struct
    {
        int blending, channels;
        GLint eq, src, dst;
    } rules[] = {{0, 1, GL_FUNC_ADD, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                 {1, 1, GL_MAX, GL_SRC_ALPHA, GL_DST_ALPHA},
                 {2, 1, GL_MIN, GL_SRC_ALPHA, GL_DST_ALPHA},
                 {1, 3, GL_MAX, GL_SRC_COLOR, GL_DST_COLOR},
                 {2, 4, GL_MIN, GL_SRC_COLOR, GL_DST_COLOR},
                 {0, 4, GL_FUNC_ADD, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                 {7, 1, GL_FUNC_ADD, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}}; // no such rule: blending
    // The state the pass draws its slices with; the pass itself restores it.
    for (const auto& r : rules) {
        volume.setBlending(r.blending);
        volume.nbrChannels = r.channels;
        GLStateScope keep;
        volume.setupCompositing();
        state(&eq, &src, &dst);
        EXPECT_EQ(eq, r.eq) << r.blending << " " << r.channels;
        EXPECT_EQ(src, r.src) << r.blending << " " << r.channels;
        EXPECT_EQ(dst, r.dst) << r.blending << " " << r.channels;
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
    }
    volume.nbrChannels = 1;

    const ExtProcs saved = volume.extProcs;
    volume.extProcs.blendEquation = nullptr;
    volume.setBlending(BLENDING_MAXIMUM);
    GLStateScope keep;
    volume.setupCompositing();
    state(&eq, &src, &dst);
    EXPECT_EQ(eq, GL_FUNC_ADD);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_DST_ALPHA);
    volume.extProcs = saved;
}
