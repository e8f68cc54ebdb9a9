// "Ray Casting" through the offscreen driver: pictures with known answers for
// compositing, the extremes, clip planes, empty-space skipping, iso-surfaces
// and orientation, against a CPU model of the rays and against slicing.
#include "gl/render_fixture.h"
#include "load.h"
#include "mat4.h"
#include "plane.h"
#include "test_support.h"
#include "texture.h"

#include <GL/glu.h>
#include <algorithm>

namespace {

const float kIdentity16[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Samples a ray of length L holds: those at (k + 0.5) s before its end.
int samplesAlong(float length, float s)
{
    return static_cast<int>(std::ceil(length / s - 0.5f));
}

float rayStep(int sampling)
{
    return std::sqrt(3.0f) / ((sampling - 1) * 2.2f);
}

class RenderRayCast : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        ASSERT_TRUE(nv40Supported);
        renderer->setStyle(DRAW_RAY_CASTING);
    }
    void TearDown() override
    {
        clipPlanes.removeAll();
        volume.isoMode = false;
        RenderSlicing::TearDown();
    }

    // Pixels (x, y) whose colour differs from the background in a picture.
    static std::vector<std::pair<int, int>> covered(const std::vector<unsigned char>& px)
    {
        std::vector<std::pair<int, int>> out;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const Rgba c = at(px, x, y);
                if (c.r | c.g | c.b)
                    out.push_back({x, y});
            }
        return out;
    }
    static double centroidX(const std::vector<std::pair<int, int>>& p)
    {
        double s = 0;
        for (const auto& q : p)
            s += q.first;
        return p.empty() ? -1 : s / p.size();
    }
    static double centroidY(const std::vector<std::pair<int, int>>& p)
    {
        double s = 0;
        for (const auto& q : p)
            s += q.second;
        return p.empty() ? -1 : s / p.size();
    }
};

// A CPU model of the orthographic front view: the volume as the texture
// filters it, rays down -z sampled where the programs sample them.
class CpuRays
{
public:
    // values: a texture of nx x ny x nz texels whose first used[a] hold the data.
    CpuRays(std::vector<float> values, int nx, int ny, int nz, const float extent[3], const float used[3])
        : v(std::move(values)), n{nx, ny, nz}, h{extent[0] / 2, extent[1] / 2, extent[2] / 2},
          r{used[0], used[1], used[2]}
    {
    }

    // Trilinear value at box point (x, y, z), texel centres, clamped to the edge.
    float at(float x, float y, float z) const
    {
        const float p[3] = {x, y, z};
        int i0[3];
        float f[3];
        for (int a = 0; a < 3; ++a) {
            float u = (p[a] / h[a] + 1.0f) * 0.5f * r[a] * n[a] - 0.5f;
            u = std::min(std::max(u, 0.0f), static_cast<float>(n[a] - 1));
            i0[a] = std::min(static_cast<int>(u), n[a] - 1);
            f[a] = u - i0[a];
        }
        float sum = 0;
        for (int c = 0; c < 8; ++c) {
            int idx[3];
            float w = 1;
            for (int a = 0; a < 3; ++a) {
                const int up = (c >> a) & 1;
                idx[a] = std::min(i0[a] + up, n[a] - 1);
                w *= up ? f[a] : 1 - f[a];
            }
            sum += w * v[(static_cast<size_t>(idx[2]) * n[1] + idx[1]) * n[0] + idx[0]];
        }
        return sum;
    }

    // Largest sample along the ray at (x, y), from the front face z = +h down.
    float maximum(float x, float y, float s) const
    {
        float m = 0;
        const int k = samplesAlong(2 * h[2], s);
        for (int i = 0; i < k; ++i)
            m = std::max(m, at(x, y, h[2] - (i + 0.5f) * s));
        return m;
    }

    // The largest (smallest) of the samples along the ray at (x, y) whose
    // value keep accepts; -1 when it accepts none.
    float extreme(float x, float y, float s, bool minimum, const std::function<bool(float)>& keep) const
    {
        float m = -1;
        const int k = samplesAlong(2 * h[2], s);
        for (int i = 0; i < k; ++i) {
            const float a = at(x, y, h[2] - (i + 0.5f) * s);
            if (keep(a) && (m < 0 || (minimum ? a < m : a > m)))
                m = a;
        }
        return m;
    }

    std::vector<float> v;
    int n[3];
    float h[3];
    float r[3]; // used fraction of the texture per axis
};

// A palette channel at value v (0 ... 255) as the linear filter reads it.
float paletteAt(const PaletteFn& f, float v, int Rgba::*channel)
{
    const int i = std::min(static_cast<int>(v), 254);
    const float t = v - i;
    return (1 - t) * (f(i).*channel) + t * (f(i + 1).*channel);
}

// Box coordinates (x, y) of the centre of pixel (column, row from the top)
// under the matrices of the last frame.
void pixelToBox(int column, int row, double* x, double* y)
{
    double mv[16];
    double proj[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double z;
    gluUnProject(column + 0.5, viewport[3] - row - 0.5, 0.5, mv, proj, viewport, x, y, &z);
}

} // namespace

// A uniform cube with constant opacity a: every ray of the front view is one
// box long, so the picture holds one value, 1 - (1 - a)^k for the k samples
// of that length; opaque samples end the ray at the palette colour itself.
TEST_F(RenderRayCast, UniformCubeShowsTheAnalyticFrontToBackResult)
{
    upload(16, [](int, int, int) { return 100; });
    struct Case
    {
        int alpha;
        int sampling;
    } cases[] = {{26, 20}, {51, 40}, {13, 128}, {255, 64}};
    for (const Case& c : cases) {
        palette([&](int) { return Rgba{255, 128, 0, c.alpha}; });
        volume.setSampling(c.sampling);
        const std::vector<unsigned char> px = frame();
        const int k = samplesAlong(1.0f, rayStep(c.sampling));
        const double a = c.alpha / 255.0;
        const double opacity = 1.0 - std::pow(1.0 - a, k);
        const Rgba mid = centre(px);
        EXPECT_NEAR(mid.r, 255.0 * opacity, 1.0) << "alpha " << c.alpha << " k " << k;
        EXPECT_NEAR(mid.g, 128.0 * opacity, 1.0) << "alpha " << c.alpha;
        EXPECT_EQ(mid.b, 0);
        // One value over the inside of the box (its edges are 17 ... 46).
        for (int y = 20; y < 44; y += 3)
            for (int x = 20; x < 44; x += 3) {
                const Rgba p = at(px, x, y);
                EXPECT_NEAR(p.r, mid.r, 1) << x << "," << y;
            }
        EXPECT_EQ(at(px, 5, 5).r, 0);
    }
}

// Maximum intensity in the orthographic front view is the largest sample of
// each ray: the CPU model of the same rays agrees within 2/255.
TEST_F(RenderRayCast, MaximumIntensityMatchesTheCpuProjection)
{
    const int n = 24;
    auto voxel = [](int x, int y, int z) {
        return static_cast<unsigned char>((x * 37 + y * 11 + z * z * 7 + (x * y * z) % 13) % 256);
    };
    upload(n, voxel);
    palette([](int i) { return Rgba{i, i, i, i}; });
    volume.setBlending(BLENDING_MAXIMUM);
    volume.setSampling(96);
    const std::vector<unsigned char> px = frame();

    std::vector<float> values(static_cast<size_t>(n) * n * n);
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                values[(static_cast<size_t>(z) * n + y) * n + x] = voxel(x, y, z);
    const float whole[3] = {1, 1, 1};
    const CpuRays cpu(values, n, n, n, volume.extent, whole);
    int compared = 0;
    for (int row = 18; row < 46; ++row)
        for (int column = 18; column < 46; ++column) {
            double x, y;
            pixelToBox(column, row, &x, &y);
            const float m = cpu.maximum(static_cast<float>(x), static_cast<float>(y), rayStep(96));
            ASSERT_NEAR(at(px, column, row).r, m, 2.0) << column << "," << row;
            ++compared;
        }
    EXPECT_EQ(compared, 28 * 28);
}

// The same on real scans, loaded through the whole load path; the CPU model
// reads the volume texture back.
TEST_F(RenderRayCast, MaximumIntensityOfRealVolumesMatchesTheCpuProjection)
{
    const std::string dir = GLIMRA_DATA_DIR;
    bool any = false;
    for (const char* name : {"nucleon.dat", "hydrogenatom.dat"}) {
        const std::string path = dir + "/" + name;
        if (!testsupport::fileExists(path))
            continue;
        any = true;
        ASSERT_TRUE(renderer->loadData(path)) << name;
        renderer->setStyle(DRAW_RAY_CASTING);
        palette([](int i) { return Rgba{i, i, i, i}; });
        volume.setBlending(BLENDING_MAXIMUM);
        volume.setSampling(128);
        const std::vector<unsigned char> px = frame();

        GLint w = 0, h = 0, d = 0;
        glBindTexture(GL_TEXTURE_3D, volume.tidVolume);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &h);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &d);
        std::vector<float> values(static_cast<size_t>(w) * h * d);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_3D, 0, GL_RED, GL_FLOAT, values.data());
        for (float& v : values)
            v *= 255.0f;
        const CpuRays cpu(values, w, h, d, volume.extent, volume.texScale3D);
        int bad = 0;
        for (int row = 0; row < kSize; ++row)
            for (int column = 0; column < kSize; ++column) {
                double x, y;
                pixelToBox(column, row, &x, &y);
                if (std::fabs(x) > volume.extent[0] / 2 - 0.02 || std::fabs(y) > volume.extent[1] / 2 - 0.02)
                    continue;
                const float m = cpu.maximum(static_cast<float>(x), static_cast<float>(y), rayStep(128));
                bad += std::fabs(at(px, column, row).r - m) > 2.0f;
            }
        EXPECT_EQ(bad, 0) << name;
    }
    if (!any)
        GTEST_SKIP() << "no data sets in " << dir;
}

// Minimum intensity: the smallest sample on white.
TEST_F(RenderRayCast, MinimumIntensityShowsThePaletteEntryOfTheMinimum)
{
    upload(16, [](int x, int y, int) { return (x >= 6 && x <= 10 && y >= 6 && y <= 10) ? 40 : 200; });
    palette([](int i) { return Rgba{i, i / 2, i / 4, i}; });
    volume.setBlending(BLENDING_MINIMUM);
    frame();
    const std::vector<unsigned char> px = frame();
    const Rgba c = centre(px);
    EXPECT_EQ(c.r, 40);
    EXPECT_EQ(c.g, 20);
    EXPECT_EQ(c.b, 10);
    EXPECT_EQ(at(px, 2, 2).r, 255);
    EXPECT_EQ(at(px, 22, 22).r, 200);
}

// Maximum and minimum intensity take only the samples the alpha test keeps:
// a smooth ball in zeros whose low values are hidden shows, in minimum
// intensity, its smallest visible value (not the white of a ray that met a
// zero), white only where no sample passed; a palette that hides the top
// values leaves no holes in maximum intensity, nor does an alpha threshold.
// Every pixel of the orthographic front view against the CPU model, with the
// empty-space cells and without.
TEST_F(RenderRayCast, ExtremesTakeOnlyTheSamplesTheAlphaTestKeeps)
{
    const int n = 32;
    auto voxel = [&](int x, int y, int z) { return sphere(x, y, z, n, 14.0f, true); };
    upload(n, voxel);
    std::vector<unsigned char> bytes(static_cast<size_t>(n) * n * n);
    std::vector<float> values(bytes.size());
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const size_t i = (static_cast<size_t>(z) * n + y) * n + x;
                bytes[i] = voxel(x, y, z);
                values[i] = bytes[i];
            }
    const float whole[3] = {1, 1, 1};
    const CpuRays cpu(values, n, n, n, volume.extent, whole);
    struct Case
    {
        const char* name;
        int blending;
        float threshold;
        PaletteFn palette;
    } cases[] = {
        {"minimum, low values hidden", BLENDING_MINIMUM, 0.0f,
         [](int i) { return Rgba{i, i, i, i < 60 ? 0 : 255}; }},
        {"minimum, alpha threshold", BLENDING_MINIMUM, 0.4f, [](int i) { return Rgba{i, i, i, i}; }},
        {"maximum, top values hidden", BLENDING_MAXIMUM, 0.0f,
         [](int i) { return Rgba{i, i, i, i > 0 && i < 150 ? 255 : 0}; }},
        {"maximum, alpha threshold", BLENDING_MAXIMUM, 0.3f,
         [](int i) { return Rgba{i, i, i, 255 - i}; }},
    };
    volume.setSampling(96);
    for (const Case& c : cases) {
        palette(c.palette);
        volume.setBlending(c.blending);
        volume.alphaThreshold = c.threshold;
        const bool minimum = c.blending == BLENDING_MINIMUM;
        const int clear = minimum ? 255 : 0;
        for (bool grid : {false, true}) {
            skipGridRelease(volume.skipGrid);
            const int size[3] = {n, n, n};
            const int stride[2] = {n, n};
            if (grid) {
                ASSERT_TRUE(skipGridBuild(volume.skipGrid, bytes.data(), GL_UNSIGNED_BYTE, 1, size, stride));
            }
            frame();
            const std::vector<unsigned char> px = frame();
            int bad = 0;
            int shown = 0;
            for (int row = 0; row < kSize; ++row)
                for (int column = 0; column < kSize; ++column) {
                    double x, y;
                    pixelToBox(column, row, &x, &y);
                    float expect = static_cast<float>(clear);
                    if (std::fabs(x) < 0.5 && std::fabs(y) < 0.5) {
                        const float m = cpu.extreme(static_cast<float>(x), static_cast<float>(y), rayStep(96),
                                                    minimum, [&](float v) {
                                                        return std::round(paletteAt(c.palette, v, &Rgba::a)) >
                                                               std::round(c.threshold * 255.0f);
                                                    });
                        if (m >= 0)
                            expect = paletteAt(c.palette, m, &Rgba::r);
                    }
                    const Rgba p = at(px, column, row);
                    shown += p.r != clear;
                    bad += std::fabs(p.r - expect) > 2.0f;
                }
            EXPECT_LE(bad, 4) << c.name << (grid ? ", skipping cells" : "");
            EXPECT_GT(shown, 100) << c.name;
        }
    }
}

// Ray casting against "3D Texture VAS" at the same distance between samples
// ((N - 1) 2.2 = (M - 1) 1.8): the sampling phases differ, the pictures agree
// within a mean of 2 levels.
TEST_F(RenderRayCast, CompositeAgreesWithViewAlignedSlicing)
{
    const std::string path = std::string(GLIMRA_DATA_DIR) + "/nucleon.dat";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is absent";
    ASSERT_TRUE(renderer->loadData(path));
    palette([](int i) { return Rgba{i, 255 - i, 128, i / 4}; });
    renderer->setView("front", 20, 30);
    renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    volume.setSampling(221);
    const std::vector<unsigned char> slices = frame();
    renderer->setStyle(DRAW_RAY_CASTING);
    volume.setSampling(181);
    const std::vector<unsigned char> rays = frame();
    EXPECT_LT(meanDifference(slices, rays), 2.0);
    EXPECT_GT(coverage(rays), 500);
}

// Minimum intensity of a smooth ball in noise that the palette hides (as the
// air around a scan): every ray through the ball meets its smallest shown
// value where it enters, so ray casting and "3D Texture VAS" at the same
// distance between samples both show a uniform disc, agreeing within a few
// levels, on the white clear colour where no sample passes. Then the same
// on a real scan.
TEST_F(RenderRayCast, MinimumIntensityAgreesWithViewAlignedSlicing)
{
    const int n = 32;
    upload(n, [&](int x, int y, int z) -> unsigned char {
        const unsigned char v = sphere(x, y, z, n, 14.0f, true);
        return v > 25 ? v : (x * 7 + y * 13 + z * 5) % 25; // noise below what the palette shows
    });
    auto compare = [&](const char* name) {
        renderer->setStyle(DRAW_3D_TEXTURE_VAS);
        volume.setSampling(221);
        frame();
        const std::vector<unsigned char> slices = frame();
        renderer->setStyle(DRAW_RAY_CASTING);
        volume.setSampling(181);
        const std::vector<unsigned char> rays = frame();
        int off = 0;
        int white = 0;
        for (size_t i = 0; i < rays.size(); i += 4) {
            off += std::abs(int(rays[i]) - int(slices[i])) > 3;
            white += rays[i] == 255 && slices[i] == 255;
        }
        EXPECT_LT(meanDifference(slices, rays), 1.0) << name;
        EXPECT_LT(off, static_cast<int>(rays.size() / 4 / 100)) << name;
        return std::make_pair(white, centre(rays).r);
    };
    palette([](int i) { return Rgba{i, i, i, i < 30 ? 0 : 60 + i / 2}; });
    volume.setBlending(BLENDING_MINIMUM);
    renderer->setView("front", 20, 30);
    const auto ball = compare("ball");
    // Shown inside the radius where 200 (1 - r / 14) reaches 30, white outside;
    // the disc holds the smallest shown value.
    const double disc = M_PI * std::pow(14.0 * (1.0 - 30.0 / 200.0) / n * kSize / 3.0 * 1.4, 2);
    EXPECT_NEAR(kSize * kSize - ball.first, disc, disc * 0.1);
    EXPECT_NEAR(ball.second, 31, 3);

    const std::string path = std::string(GLIMRA_DATA_DIR) + "/walnut.dat";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is absent";
    ASSERT_TRUE(renderer->loadData(path));
    palette([](int i) { return Rgba{i, i, i, i < 30 ? 0 : 40 + i / 3}; });
    compare("walnut");
}

// Clip planes cut each ray, not the faces that start it: a plane across the
// view keeps the upper half; a plane facing the viewer halves every ray.
TEST_F(RenderRayCast, ClipPlanesCutTheRays)
{
    upload(16, [](int, int, int) { return 100; });
    palette([](int) { return Rgba{255, 255, 255, 40}; });
    volume.setSampling(64);
    const float s = rayStep(64);
    clipPlanes.add(kIdentity16); // keeps y >= 0
    std::vector<unsigned char> px = frame();
    const double whole = 255.0 * (1.0 - std::pow(1.0 - 40 / 255.0, samplesAlong(1.0f, s)));
    EXPECT_NEAR(at(px, 32, 25).r, whole, 1.0); // upper half (rows from the top)
    EXPECT_EQ(at(px, 32, 38).r, 0);

    clipPlanes.removeAll();
    float turn[16];
    matRotation(-90.0f, 1, 0, 0, turn); // the plane's y axis toward the viewer: keeps z >= 0
    clipPlanes.add(turn);
    px = frame();
    // Samples (k + 0.5) s behind the front face with z = 0.5 - t >= 0.
    int k = 0;
    while ((k + 0.5f) * s <= 0.5f)
        ++k;
    EXPECT_NEAR(centre(px).r, 255.0 * (1.0 - std::pow(1.0 - 40 / 255.0, k)), 1.0);
}

// Skipping the cells the palette hides leaves the picture within 1/255 of the
// full march, and follows a palette that makes them visible again.
TEST_F(RenderRayCast, EmptySpaceSkippingKeepsThePictureAndFollowsThePalette)
{
    const int n = 48;
    auto voxel = [](int x, int y, int z) -> unsigned char {
        const float r = std::sqrt(float((x - 12) * (x - 12) + (y - 13) * (y - 13) + (z - 12) * (z - 12)));
        return r < 6 ? static_cast<unsigned char>(120 + 15 * r) : static_cast<unsigned char>(20 + (x + y) % 7);
    };
    upload(n, voxel);
    std::vector<unsigned char> voxels(static_cast<size_t>(n) * n * n);
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                voxels[(static_cast<size_t>(z) * n + y) * n + x] = voxel(x, y, z);
    volume.setSampling(100);
    renderer->setView("front", 25, -35);
    for (int blending : {BLENDING_COMPOSITE, BLENDING_MAXIMUM}) {
        volume.setBlending(blending);
        for (int cut : {100, 10}) {
            // Values below cut are invisible: with 100 the background noise is
            // skipped, with 10 nothing is.
            palette([&](int i) { return i < cut ? Rgba{0, 0, 0, 0} : Rgba{i, 200, 255 - i, 60}; });
            skipGridRelease(volume.skipGrid);
            const std::vector<unsigned char> full = frame();
            const int size[3] = {n, n, n};
            const int stride[2] = {n, n};
            ASSERT_TRUE(skipGridBuild(volume.skipGrid, voxels.data(), GL_UNSIGNED_BYTE, 1, size, stride));
            const std::vector<unsigned char> skipped = frame();
            const size_t hidden = skipGridHiddenCells(volume.skipGrid);
            if (cut == 100)
                EXPECT_GT(hidden, volume.skipGrid.lo.size() / 2);
            else
                EXPECT_EQ(hidden, 0u);
            int worst = 0;
            for (size_t i = 0; i < full.size(); ++i)
                worst = std::max(worst, std::abs(int(full[i]) - int(skipped[i])));
            EXPECT_LE(worst, 1) << "blending " << blending << " cut " << cut;
            EXPECT_GT(coverage(skipped), 30);
        }
    }
}

// Data of several channels are classified channel by channel (the second
// instance of each ray caster), one-channel data by their value alone.
TEST_F(RenderRayCast, EveryChannelIsClassifiedForDataOfSeveralChannels)
{
    upload(8, [](int, int, int) { return 0; });
    const unsigned char texel[4] = {200, 100, 50, 255};
    std::vector<unsigned char> rgba(8 * 8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = texel[i % 4];
    glBindTexture(GL_TEXTURE_3D, volume.tidVolume);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, 8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    palette([](int i) { return Rgba{i, i, i, i}; });
    volume.setBlending(BLENDING_MAXIMUM);
    volume.nbrChannels = 4;
    Rgba c = centre(frame());
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_RAYCAST_FP_POST_CHANNELS);
    EXPECT_NEAR(c.r, 200, 1);
    EXPECT_NEAR(c.g, 100, 1);
    EXPECT_NEAR(c.b, 50, 1);
    volume.nbrChannels = 1;
    c = centre(frame());
    EXPECT_EQ(cgBoundFragmentProgram(), PRG_RAYCAST_FP_POST);
    EXPECT_EQ(c.r, 255); // the alpha channel's entry for all three
    EXPECT_EQ(c.b, 255);
}

// An off-centre block lands where the slicing styles put it, in every view
// preset and both projections.
TEST_F(RenderRayCast, OrientationMatchesSlicing)
{
    const int n = 20;
    upload(n, [](int x, int y, int z) { return (x >= 13 && x < 18 && y >= 11 && y < 17 && z >= 12) ? 200 : 0; });
    palette([](int i) { return i ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0}; });
    volume.setSampling(48);
    for (bool perspective : {false, true})
        for (const char* preset : {"front", "back", "left", "right", "top", "bottom"}) {
            renderer->setProjection(perspective);
            renderer->setView(preset, 0, 0);
            renderer->setStyle(DRAW_3D_TEXTURE_VAS);
            const auto slices = covered(frame());
            renderer->setStyle(DRAW_RAY_CASTING);
            const auto rays = covered(frame());
            ASSERT_FALSE(slices.empty()) << preset;
            ASSERT_FALSE(rays.empty()) << preset;
            EXPECT_NEAR(centroidX(rays), centroidX(slices), 1.5) << preset << " perspective " << perspective;
            EXPECT_NEAR(centroidY(rays), centroidY(slices), 1.5) << preset << " perspective " << perspective;
        }
}

// Iso mode: a ball whose value falls linearly to its rim shows its surface
// where the classified opacity crosses the alpha-test threshold, in the ray
// caster as in every slicing and lit style: the disc's radius within one voxel.
TEST_F(RenderRayCast, IsoSurfaceSitsWhereTheOpacityCrossesTheThreshold)
{
    const int n = 32;
    const float radius = 15.0f;
    upload(n, [&](int x, int y, int z) { return sphere(x, y, z, n, radius, true); });
    palette([](int i) { return Rgba{200, 180, 160, i}; });
    volume.alphaThreshold = 0.25f;
    volume.isoMode = true;
    volume.setSampling(128);
    // 200 (1 - r / R) / 255 = 0.25 at r = R (1 - 63.75 / 200) voxels.
    const double surface = radius * (1.0 - 0.25 * 255.0 / 200.0);
    const double pixelsPerVoxel = kSize / 3.0 * 1.4 / n; // orthographic front view
    for (int style : {DRAW_2D_TEXTURE, DRAW_2D_MULTI_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS,
                      DRAW_LIGHT_GRADMAG, DRAW_LIGHT2, DRAW_RAY_CASTING}) {
        renderer->setStyle(style);
        const std::vector<unsigned char> px = frame();
        const double r = std::sqrt(coverage(px) / M_PI) / pixelsPerVoxel;
        EXPECT_NEAR(r, surface, 1.0) << drawStyleLabel(style);
        if (style != DRAW_RAY_CASTING)
            continue;
        // The ray caster lights from the eye: the centre faces it and is brightest.
        const Rgba mid = centre(px);
        const Rgba off = at(px, kSize / 2 + 7, kSize / 2);
        EXPECT_GT(mid.r, off.r + 20);
        EXPECT_GT(off.r, 0);
    }
}

// Focus and context on a scan with a mask made from the scan itself (values
// above a threshold), loaded through the whole load path: the frame draws
// without a GL error, and the highlight marks the mask red.
TEST_F(RenderRayCast, FocusAndContextOnAScanWithAMaskOfItself)
{
    const std::string raw = std::string(GLIMRA_DATA_DIR) + "/headsq_64x64x93_int16.raw";
    if (!testsupport::fileExists(raw))
        GTEST_SKIP() << raw << " is absent";
    const std::string bytes = testsupport::readFile(raw);
    ASSERT_EQ(bytes.size(), 64u * 64 * 93 * 2);
    // Description files read 16-bit raw data most significant byte first.
    std::string swapped(bytes.size(), '\0');
    std::string mask(bytes.size() / 2, '\0');
    for (size_t i = 0; i < mask.size(); ++i) {
        swapped[2 * i] = bytes[2 * i + 1];
        swapped[2 * i + 1] = bytes[2 * i];
        const unsigned value = static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8;
        mask[i] = value > 1500 ? static_cast<char>(255) : 0;
    }
    testsupport::TempDir dir;
    const std::string keys = "\nResolution: 64 64 93\nSliceThickness: 3.2 3.2 1.5\nFormat: ";
    ASSERT_TRUE(testsupport::writeFile(dir.file("h.raw"), swapped));
    ASSERT_TRUE(testsupport::writeFile(dir.file("m.raw"), mask));
    ASSERT_TRUE(testsupport::writeFile(dir.file("h.dat"), "ObjectFileName: h.raw" + keys + "USHORT\n"));
    ASSERT_TRUE(testsupport::writeFile(dir.file("m.dat"), "ObjectFileName: m.raw" + keys + "UCHAR\n"));
    ASSERT_TRUE(renderer->loadData(dir.file("h.dat")));
    ASSERT_TRUE(renderer->loadMask(dir.file("m.dat")));
    renderer->setProjection(false);
    renderer->setStyle(DRAW_FOCUS_CONTEXT);
    renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION);
    volume.setSampling(64);
    volume.shiftTex->setEnabled(false);
    frame();
    std::vector<unsigned char> px = frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_GT(coverage(px), 200);

    volume.shiftTex->setEnabled(true);
    px = frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    int red = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        red += px[i] > 2 * px[i + 1] + 40;
    EXPECT_GT(red, 20);
}

// The cell ranges take in the neighbours (filtering reads across faces), and
// the flags follow the palette's filtered entries.
TEST(SkipGrid, RangesAndFlags)
{
    const int size[3] = {20, 9, 1};
    const int stride[2] = {24, 9}; // padded rows
    std::vector<unsigned short> v(static_cast<size_t>(24) * 9, 0);
    v[3] = 65535;      // cell (0, 0)
    v[24 * 8 + 19] = 13107; // cell (2, 1): 0.2
    SkipGrid g;
    ASSERT_TRUE(skipGridBuild(g, v.data(), GL_UNSIGNED_SHORT, 1, size, stride));
    EXPECT_EQ(g.cells[0], 3);
    EXPECT_EQ(g.cells[1], 2);
    EXPECT_EQ(g.cells[2], 1);
    // Cell (1, 0) borders both: its range is 0 ... 1.
    EXPECT_FLOAT_EQ(g.lo[1], 0.0f);
    EXPECT_FLOAT_EQ(g.hi[1], 1.0f);
    // Cell (2, 0) borders only (2, 1) and (1, 1): 0 ... 0.2.
    EXPECT_NEAR(g.hi[2], 0.2f, 1e-6);
    // The whole volume's range, which ends maximum intensity rays.
    EXPECT_FLOAT_EQ(g.valueLo, 0.0f);
    EXPECT_FLOAT_EQ(g.valueHi, 1.0f);
    // Not for several channels, signed types or an empty size.
    EXPECT_FALSE(skipGridBuild(g, v.data(), GL_UNSIGNED_SHORT, 2, size, stride));
    EXPECT_FALSE(skipGridBuild(g, v.data(), GL_SHORT, 1, size, stride));
    const int empty[3] = {0, 1, 1};
    EXPECT_FALSE(skipGridBuild(g, v.data(), GL_UNSIGNED_SHORT, 1, empty, stride));
    EXPECT_TRUE(g.lo.empty());
}
