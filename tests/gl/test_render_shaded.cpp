// The shaded styles through the offscreen driver: lit pictures with known
// answers. The gradient and magnitude textures hold what the texture
// generation computes from the voxels, so the encoding and the programs'
// decoding are tried together.
#include "gl/render_fixture.h"
#include "gen_texture.h"

#include <algorithm>

namespace {

const int kN = 32;
// The light model of the programs.
const double kA = 0.3, kD = 0.7, kS = 0.3, kShininess = 20.0;
const int kShaded[] = {DRAW_NORMAL_TEXTURE, DRAW_NORMAL_FRAGMENT, DRAW_LIGHT_GRADMAG, DRAW_LIGHT2};

class RenderShaded : public RenderSlicing
{
protected:
    void TearDown() override
    {
        glDeleteTextures(1, &myTable);
        volume.isoMode = false;
        volume.nbrChannels = 1;
        RenderSlicing::TearDown();
    }

    // A kN^3 volume with its gradient and magnitude as the texture
    // generation computes them (8-bit codes about 128, the boundary voxels
    // holding the zero gradient; lengths relative to the largest).
    void shadedUpload(const VoxelFn& f)
    {
        upload(kN, f);
        const size_t count = static_cast<size_t>(kN) * kN * kN;
        std::vector<unsigned char> voxels(count), grad(3 * count);
        std::vector<float> mag(count);
        for (size_t i = 0; i < count; ++i)
            voxels[i] = f(static_cast<int>(i % kN), static_cast<int>(i / kN % kN), static_cast<int>(i / kN / kN));
        ASSERT_TRUE(computeGradient(grad.data(), kN, kN, kN, 1, voxels.data(), GL_UNSIGNED_BYTE, 4));
        computeMagnitude(mag.data(), kN, kN, kN, grad.data(), GL_UNSIGNED_BYTE);
        glGenTextures(1, &volume.tidGradient);
        glBindTexture(GL_TEXTURE_3D, volume.tidGradient);
        parameters(GL_TEXTURE_3D);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_RGB8, kN, kN, kN, 0, GL_RGB, GL_UNSIGNED_BYTE, grad.data());
        glGenTextures(1, &volume.tidMagnitude);
        glBindTexture(GL_TEXTURE_3D, volume.tidMagnitude);
        parameters(GL_TEXTURE_3D);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, kN, kN, kN, 0, GL_LUMINANCE, GL_FLOAT, mag.data());
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // The palette, and a pre-integration table whose entry (front, back) is
    // the palette at their mean: only its diagonal gives the palette colour.
    void tables(const PaletteFn& f)
    {
        palette(f);
        std::vector<unsigned char> table(256 * 256 * 4);
        for (size_t k = 0; k < 256 * 256; ++k) {
            const Rgba c = f(static_cast<int>(k % 256 + k / 256) / 2);
            const unsigned char e[4] = {static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                                        static_cast<unsigned char>(c.b), static_cast<unsigned char>(c.a)};
            std::copy(e, e + 4, &table[4 * k]);
        }
        glGenTextures(1, &myTable);
        glBindTexture(GL_TEXTURE_2D, myTable);
        parameters(GL_TEXTURE_2D);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
        setCgTableTextures(myPalette, myTable);
    }

    std::vector<unsigned char> frame(int style)
    {
        renderer->setStyle(style);
        return RenderSlicing::frame();
    }

    GLuint myTable = 0;
};

} // namespace

// A slab facing the viewer, opaque grey 128: every shaded style lights from
// the eye, so the diffuse light falls as cos θ when the data turns by θ.
// Both sides of a surface are lit: the slab is the bright half (gradient
// away from the viewer) or the dark half (gradient towards the viewer).
TEST_F(RenderShaded, SlabDiffuseFallsWithCosineOfTurn)
{
    const double c = 128 / 255.0;
    const struct { int style, channels; } cases[] = {
        {DRAW_NORMAL_TEXTURE, 1}, {DRAW_NORMAL_FRAGMENT, 1}, {DRAW_NORMAL_FRAGMENT, 4},
        {DRAW_LIGHT_GRADMAG, 1},  {DRAW_LIGHT2, 1}};
    for (bool bright : {true, false}) {
        shadedUpload([&](int, int, int z) { return (z < kN / 2) == bright ? 200 : 0; });
        palette([&](int i) { return (i >= 64) == bright ? Rgba{128, 128, 128, 255} : Rgba{0, 0, 0, 0}; });
        for (double theta : {0.0, 30.0, 60.0}) {
            renderer->setView("front", 0, static_cast<float>(theta));
            const double cosine = std::cos(theta * M_PI / 180.0);
            for (const auto& k : cases) {
                // Four equal channels: the mean of the channels is the value.
                volume.nbrChannels = k.channels;
                const double d = cosine;
                const int r = centre(frame(k.style)).r;
                // Diffuse part within 3 levels (about 0.03 of the light).
                const double diffuse = (r / 255.0 - c * kA - kS * std::pow(d, kShininess)) / (c * kD);
                EXPECT_NEAR(diffuse, d, 3.0 / 255.0 / (c * kD)) << drawStyleLabel(k.style) << " channels "
                                                                << k.channels << " θ=" << theta << " " << bright;
            }
        }
    }
}

// "3D Light (grad. mag.)" weighs the light by 4 x the magnitude relative to
// the largest: a faint face (jump 16) in front of a hidden strong one (jump
// 239, magnitude 240) gets 4 x 16 / 240 of its highlight; "3D Light 2" all
// of it. The iso variants weigh alike.
TEST_F(RenderShaded, MagnitudeWeighsTheLight)
{
    shadedUpload([](int, int, int z) { return z < 2 ? 255 : z < kN / 2 ? 16 : 0; });
    palette([](int i) { return i >= 8 ? Rgba{128, 128, 128, 255} : Rgba{0, 0, 0, 0}; });
    const double weak = 128 + 255 * kS * 4.0 * 16 / 240, full = 128 + 255 * kS;
    const struct { int style; bool iso; double expected; } cases[] = {
        {DRAW_LIGHT_GRADMAG, false, weak}, {DRAW_LIGHT2, false, full},
        {DRAW_LIGHT_GRADMAG, true, weak},  {DRAW_LIGHT2, true, full}};
    for (const auto& c : cases) {
        volume.isoMode = c.iso;
        EXPECT_NEAR(centre(frame(c.style)).r, c.expected, 2.0) << drawStyleLabel(c.style) << " iso " << c.iso;
    }
}

// A smooth ball whose iso-surface (opaque from value 64) faces the light at
// the centre: symmetric left-right and up-down, brightest in the middle,
// darker towards the rim as the surface turns away. Every shaded style
// lights it from the eye, so each of the six view presets shows the same
// picture, its centre within 2 levels.
TEST_F(RenderShaded, BallIsSymmetricAndBrightestFacingTheLightFromEveryPreset)
{
    shadedUpload([](int x, int y, int z) { return sphere(x, y, z, kN, 12.0f, true); });
    palette([](int i) { return i >= 64 ? Rgba{150, 120, 90, 255} : Rgba{0, 0, 0, 0}; });
    const struct { int style, channels; } cases[] = {
        {DRAW_NORMAL_TEXTURE, 1}, {DRAW_NORMAL_FRAGMENT, 1}, {DRAW_NORMAL_FRAGMENT, 4},
        {DRAW_LIGHT_GRADMAG, 1},  {DRAW_LIGHT2, 1}};
    const int h = kSize / 2;
    for (const auto& k : cases) {
        volume.nbrChannels = k.channels; // four equal channels: their mean is the value
        int lowest = 255, highest = 0;
        for (const char* preset : {"front", "back", "left", "right", "top", "bottom"}) {
            ASSERT_TRUE(renderer->setView(preset, 0, 0));
            const std::vector<unsigned char> px = frame(k.style);
            const std::string what = std::string(drawStyleLabel(k.style)) + " channels " +
                                     std::to_string(k.channels) + " " + preset;
            int asymmetry = 0, brightest = 0;
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    const int r = at(px, x, y).r;
                    asymmetry = std::max({asymmetry, std::abs(r - at(px, kSize - 1 - x, y).r),
                                          std::abs(r - at(px, x, kSize - 1 - y).r)});
                    brightest = std::max(brightest, r);
                }
            // The screen's centre lies between the four middle pixels.
            const int middle =
                std::max({at(px, h, h).r, at(px, h - 1, h).r, at(px, h, h - 1).r, at(px, h - 1, h - 1).r});
            // Mirrored differences are stored mirrored, but the driver filters 8-bit texels in
            // 8-bit steps, rounding down: between texels a code loses up to one step, and at
            // about 8 steps per half-difference the normals tilt by a few degrees, which the
            // steep highlight turns into a few levels (none where the program takes the
            // differences itself, or where the gradient texture holds 16 bits).
            EXPECT_LE(asymmetry, k.style == DRAW_NORMAL_FRAGMENT ? 0 : 8) << what;
            EXPECT_GE(middle, brightest) << what;
            // Lit fully at the centre: colour + highlight, less what half a pixel off the axis turns.
            EXPECT_NEAR(middle, 150 + 255 * kS, 6) << what;
            // Half-way out (pixel centres half a pixel further) the surface leans by
            // asin(offset / radius): the mean of the four pixels there, right, left, down, up.
            const double ball = std::sqrt(coverage(px) / M_PI);
            const int halfway = static_cast<int>(ball / 2);
            const double lean = std::cos(std::asin((halfway + 0.5) / ball));
            const double side = 150 * (kA + kD * lean) + 255 * kS * std::pow(lean, kShininess);
            const double mean = (at(px, h + halfway, h).r + at(px, h - 1 - halfway, h).r +
                                 at(px, h, h + halfway).r + at(px, h, h - 1 - halfway).r) / 4.0;
            EXPECT_NEAR(mean, side, 5) << what;
            lowest = std::min(lowest, middle);
            highest = std::max(highest, middle);
        }
        EXPECT_LE(highest - lowest, 2) << drawStyleLabel(k.style) << " channels " << k.channels;
    }
}

// No gradient anywhere, the boundary voxels included: every shaded program,
// iso variants and the pre-integration table included, shows the classified
// colour unchanged on every face, from the front and turned so that three
// faces show, and no pixel of the box drops out. Under maximum intensity the
// silhouette's one-voxel frame, where rays meet boundary voxels only, keeps
// the colour too.
TEST_F(RenderShaded, ConstantVolumeShowsTheUnlitColour)
{
    shadedUpload([](int, int, int) { return 100; });
    tables([](int i) { return Rgba{i, 255 - i, 128, 255}; });
    const struct { int style, classification; bool iso; } cases[] = {
        {DRAW_NORMAL_TEXTURE, 1, false}, {DRAW_NORMAL_FRAGMENT, 1, false},
        {DRAW_LIGHT_GRADMAG, 1, false},  {DRAW_LIGHT2, 1, false},
        {DRAW_LIGHT_GRADMAG, 3, false},  {DRAW_LIGHT2, 3, false},
        {DRAW_LIGHT_GRADMAG, 1, true},   {DRAW_LIGHT2, 1, true},
        {DRAW_LIGHT_GRADMAG, 3, true},   {DRAW_LIGHT2, 3, true}};
    for (int blending : {BLENDING_COMPOSITE, BLENDING_MAXIMUM})
        for (float turn : {0.0f, 35.0f}) {
            volume.setBlending(blending);
            // A blue background, but black under maximum intensity, which would take its blue.
            volume.background[2] = blending == BLENDING_MAXIMUM ? 0.0f : 1.0f;
            renderer->setView("front", turn, turn);
            frame(DRAW_LIGHT2); // the clear colour applies from the next frame on
            for (const auto& c : cases) {
                if (c.iso && blending == BLENDING_MAXIMUM)
                    continue; // iso surfaces are composited
                RenderMode::instance().setClassification(c.classification);
                volume.isoMode = c.iso;
                const std::vector<unsigned char> px = frame(c.style);
                int box = 0, wrong = 0;
                for (size_t i = 0; i < px.size(); i += 4) {
                    const int bg = static_cast<int>(volume.background[2] * 255);
                    if (px[i] == 0 && px[i + 1] == 0 && px[i + 2] == bg)
                        continue;
                    ++box;
                    wrong += std::abs(px[i] - 100) > 1 || std::abs(px[i + 1] - 155) > 1 ||
                             std::abs(px[i + 2] - 128) > 1;
                }
                const std::string what = std::string(drawStyleLabel(c.style)) + " classification " +
                                         std::to_string(c.classification) + " iso " + std::to_string(c.iso) +
                                         " blending " + std::to_string(blending) + " turn " + std::to_string(turn);
                EXPECT_GT(box, kSize * kSize / 8) << what;
                EXPECT_EQ(wrong, 0) << what;
            }
        }
}

// Iso mode: the alpha test at 0.5 cuts the ball (200 at the centre, 0 at 33
// voxels) where it falls to 127.5, a disc of radius 11.96 voxels, lit
// brightest at its centre.
TEST_F(RenderShaded, IsoModeDrawsTheDiscOfTheAlphaThreshold)
{
    shadedUpload([](int, int, int) { return 255; });
    palette([](int i) { return Rgba{200, 200, 200, i}; });
    // Pixels per voxel from the whole box.
    const double voxel = std::sqrt(static_cast<double>(coverage(frame(DRAW_LIGHT2)))) / kN;
    shadedUpload([](int x, int y, int z) { return sphere(x, y, z, kN, 33.0f, true); });
    volume.isoMode = true;
    volume.alphaThreshold = 0.5f;
    const struct { int style, program; } cases[] = {{DRAW_LIGHT_GRADMAG, PRG_ISO_GRAD_MAG},
                                                    {DRAW_LIGHT2, PRG_ISO_LIGHT}};
    for (const auto& c : cases) {
        const std::vector<unsigned char> px = frame(c.style);
        EXPECT_EQ(cgBoundFragmentProgram(), c.program);
        EXPECT_NEAR(std::sqrt(coverage(px) / M_PI) / voxel, 33.0 * (1 - 127.5 / 200), 1.0) << drawStyleLabel(c.style);
        int brightest = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            brightest = std::max<int>(brightest, px[i]);
        EXPECT_GE(centre(px).r, brightest - 2) << drawStyleLabel(c.style);
    }
}

// The white highlight goes with the matter's opacity: under maximum
// intensity, where the colour counts without its alpha, black matter shows
// the full highlight when opaque and none when all but transparent.
TEST_F(RenderShaded, HighlightScalesWithOpacity)
{
    shadedUpload([](int, int, int z) { return z < kN / 2 ? 200 : 0; });
    volume.setBlending(BLENDING_MAXIMUM);
    for (int alpha : {255, 1}) {
        palette([&](int) { return Rgba{0, 0, 0, alpha}; });
        EXPECT_NEAR(centre(frame(DRAW_LIGHT2)).r, 255 * kS * alpha / 255, 1) << alpha;
    }
}

// Two ramps, one the other's mirror image in x (the value rises by 1.5 a
// voxel along +x, odd central differences of +-3, and by 1 along z), seen
// through from the front in faint grey: the normals (+-2, 0, 1) light both
// alike, so each picture is the other's mirror image to within a level, and
// the tilt of the normal shows (diffuse 1/sqrt(5) where a z ramp alone gives 1).
TEST_F(RenderShaded, MirrorImageRampsShadeAlike)
{
    palette([](int i) { return i >= 32 ? Rgba{200, 200, 200, 40} : Rgba{0, 0, 0, 0}; });
    auto ramp = [](int x, int z) { return static_cast<unsigned char>(40 + (3 * x) / 2 + z); };
    const VoxelFn volumes[3] = {[&](int x, int, int z) { return ramp(x, z); },
                                [&](int x, int, int z) { return ramp(kN - 1 - x, z); },
                                [&](int, int, int z) { return ramp(kN / 2, z); }};
    std::vector<unsigned char> px[3][4]; // rising, falling, the z ramp alone; by style
    for (int v = 0; v < 3; ++v) {
        shadedUpload(volumes[v]);
        for (int i = 0; i < 4; ++i)
            px[v][i] = frame(kShaded[i]);
    }
    for (int i = 0; i < 4; ++i) {
        int worst = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                worst = std::max(worst, std::abs(at(px[0][i], x, y).r - at(px[1][i], kSize - 1 - x, y).r));
        EXPECT_LE(worst, 1) << drawStyleLabel(kShaded[i]);
        EXPECT_GT(centre(px[2][i]).r - centre(px[0][i]).r, 20) << drawStyleLabel(kShaded[i]);
    }
}
