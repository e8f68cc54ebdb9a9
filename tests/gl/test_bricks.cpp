// Bricked volumes on an offscreen context: the allocation registry around a
// bricked load and its release, and pictures of bricked volumes with thin
// sides against the same data drawn without bricks.
#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "gl_context.h"
#include "histogram.h"
#include "my_cg.h"
#include "offscreen_render.h"
#include "render_mode.h"
#include "table_texture.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Entry
{
    const void* pointer;
    std::string name;
    int line;
    bool operator==(const Entry& o) const { return pointer == o.pointer && name == o.name && line == o.line; }
};

std::vector<Entry> registryEntries()
{
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i) {
        const AllocationRecord& r = g_garbageCollector.record(i);
        entries.push_back({r.pointer, r.name, r.line});
    }
    return entries;
}

int countNamed(const char* name)
{
    int n = 0;
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i)
        n += std::strcmp(g_garbageCollector.record(i).name, name) == 0;
    return n;
}

// 133 x 2 x 1 bricks: the registry holds every brick while the volume lives,
// and after the release exactly the entries it held before, in their order,
// with one made while the bricks lived kept behind them.
TEST(BrickRegistry, BackToItsEntriesAfterABrickedVolumeIsReleased)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    int early[2] = {0, 0};
    g_garbageCollector.add(&early[0], __FILE__, 1, "early[0]");
    g_garbageCollector.add(&early[1], __FILE__, 2, "early[1]");
    std::vector<Entry> expected = registryEntries();

    Volume v;
    v.resolution[0] = 4100;
    v.resolution[1] = 40;
    v.resolution[2] = 8;
    v.nbrChannels = 1;
    v.setBoxProportions(1, 1, 1);
    v.isBricking = true;
    std::vector<unsigned char> data(4100 * 40 * 8, 7);
    const int bricksBefore = countNamed("aBrick");
    buildBricks(data.data(), GL_UNSIGNED_BYTE, v, nullptr, nullptr);
    ASSERT_NE(v.myBrickInfo, nullptr);
    ASSERT_EQ(v.myBrickInfo->getCount(), 266);
    EXPECT_EQ(countNamed("aBrick") - bricksBefore, 266);
    // The record and its brick, order and distance arrays.
    EXPECT_EQ(g_garbageCollector.count(), expected.size() + 266 + 4);

    int late = 0;
    g_garbageCollector.add(&late, __FILE__, 3, "late");
    expected.push_back({&late, "late", 3});
    v.release();
    EXPECT_EQ(registryEntries(), expected);

    g_garbageCollector.remove(&late);
    g_garbageCollector.remove(&early[1]);
    g_garbageCollector.remove(&early[0]);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

const int kWidth = 192;
const int kHeight = 96;
const std::string kCg = std::string(GLIMRA_SOURCE_DIR) + "/Cg/";

// A rod along x: nx x t x t bytes of base + 15 y + 2 z + slope x, voxel
// spacing (sx, s, s), as a description file and its raw file in dir.
std::string writeRod(const testsupport::TempDir& dir, const std::string& name, int nx, int t, int slope,
                     float sx, float s, int base)
{
    std::string raw(static_cast<size_t>(nx) * t * t, '\0');
    for (int z = 0; z < t; ++z)
        for (int y = 0; y < t; ++y)
            for (int x = 0; x < nx; ++x)
                raw[(static_cast<size_t>(z) * t + y) * nx + x] = static_cast<char>(base + 15 * y + 2 * z + slope * x);
    char text[512];
    std::snprintf(text, sizeof text,
                  "ObjectFileName: %s.raw\nResolution: %d %d %d\nSliceThickness: %f %f %f\nFormat: UCHAR\n",
                  name.c_str(), nx, t, t, sx, s, s);
    testsupport::writeFile(dir.file(name + ".raw"), raw);
    testsupport::writeFile(dir.file(name + ".dat"), text);
    return dir.file(name + ".dat");
}

struct Difference
{
    int largest = 0; // largest difference of a colour channel
    int pixels = 0;  // pixels differing by more than the levels allowed
};

Difference compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int allowed = 2)
{
    Difference d;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(a[i + c] - b[i + c]));
        d.largest = std::max(d.largest, worst);
        d.pixels += worst > allowed;
    }
    return d;
}

// Pixels brighter than level.
int lit(const std::vector<unsigned char>& px, int level)
{
    int n = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        n += px[i] > level;
    return n;
}

int brightestLevel(const std::vector<unsigned char>& px)
{
    int top = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        top = std::max(top, static_cast<int>(px[i]));
    return top;
}

// A 256-entry table texture, grey (entry i holds i) with opacity alphaOf(i).
template <typename AlphaOf> GLuint greyTable(const AlphaOf& alphaOf)
{
    std::vector<unsigned char> table(256 * 4);
    for (int i = 0; i < 256; ++i) {
        table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<unsigned char>(i);
        table[4 * i + 3] = static_cast<unsigned char>(alphaOf(i));
    }
    return tableTexture(table);
}

class BrickPictures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myBaseline = registryEntries();
        renderer.reset(new OffscreenRenderer(kWidth, kHeight, kCg));
        ASSERT_TRUE(renderer->ok()) << renderer->error();
        // A grey palette, opaque everywhere: the picture is the value drawn.
        myPalette = greyTable([](int) { return 255; });
    }
    void TearDown() override
    {
        setCgTableTextures(0, 0);
        if (myPalette)
            glDeleteTextures(1, &myPalette);
        renderer.reset();
        histogram.release();
        setTextureSizeLimits(0, 0);
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        volume.blending = BLENDING_COMPOSITE;
        volume.showBBox = true;
        volume.interacting = true;
        volume.setSampling(64);
        const std::vector<Entry> now = registryEntries();
        EXPECT_EQ(now.size(), myBaseline.size());
        for (size_t i = myBaseline.size(); i < now.size(); ++i)
            ADD_FAILURE() << "left registered: " << now[i].name;
    }

    // The data set drawn in style with maximum intensity, orthographic, from the front.
    std::vector<unsigned char> picture(const std::string& path, int style, bool* bricked)
    {
        EXPECT_TRUE(renderer->loadData(path)) << path;
        *bricked = volume.isBricking && volume.myBrickInfo && volume.myBrickInfo->getCount() > 0;
        renderer->setStyle(style);
        renderer->setClassification(CLASSIFICATION_POST);
        setCgTableTextures(myPalette, 0);
        volume.setBlending(BLENDING_MAXIMUM);
        volume.showBBox = false;
        volume.setSampling(48);
        renderer->setProjection(false);
        renderer->setView("front", 0, 0);
        renderer->renderFrame();
        renderer->renderFrame();
        return renderer->pixels();
    }

    std::unique_ptr<OffscreenRenderer> renderer;
    GLuint myPalette = 0;
    std::vector<Entry> myBaseline; // the registry before the test
};

const int kStyles[] = {DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS, DRAW_RAY_CASTING};
const int kThinSides[] = {1, 2, 3, 8, 9};

// 4096 voxels long is bricked whatever the driver holds; the same rod cut to
// 2048 voxels twice as far apart fills the same box without bricks. The
// thin sides keep their values: the brightest band is the far layer's top
// row.
TEST_F(BrickPictures, BrickedRodMatchesTheRodCutShort)
{
    testsupport::TempDir dir;
    for (int t : kThinSides) {
        const float s = 600.0f / static_cast<float>(t); // thin sides 0.15 of the length
        const std::string longRod = writeRod(dir, "long" + std::to_string(t), 4096, t, 0, 1.0f, s, 60);
        const std::string shortRod = writeRod(dir, "short" + std::to_string(t), 2048, t, 0, 2.0f, s, 60);
        const int brightest = 60 + 15 * (t - 1) + 2 * (t - 1);
        for (int style : kStyles) {
            bool bricked = false;
            const std::vector<unsigned char> withBricks = picture(longRod, style, &bricked);
            ASSERT_TRUE(bricked);
            const std::vector<unsigned char> without = picture(shortRod, style, &bricked);
            ASSERT_FALSE(bricked);
            const std::string what = std::string(drawStyleLabel(style)) + ", side " + std::to_string(t);
            EXPECT_GT(lit(without, 40), kWidth * 4) << what;
            // Sides of 3 and 9 voxels end in their textures' zero padding.
            EXPECT_LE(brightestLevel(without), brightest) << what;
            EXPECT_GE(brightestLevel(without), brightest - 5) << what;
            const Difference d = compare(withBricks, without);
            EXPECT_LE(d.largest, 2) << what << ": " << d.pixels << " pixels differ";
        }
    }
}

// Forced bricks (a 3-D limit of 32) on a rod of 40 voxels: a full brick and
// one of 8 voxels, thin sides of every size, values rising along x too.
TEST_F(BrickPictures, ThinSidesDrawAsWithoutBricks)
{
    testsupport::TempDir dir;
    for (int t : kThinSides) {
        const std::string rod = writeRod(dir, "rod" + std::to_string(t), 40, t, 2, 1.0f, 6.0f / t, 40);
        for (int style : kStyles) {
            bool bricked = false;
            setTextureSizeLimits(0, 0);
            const std::vector<unsigned char> without = picture(rod, style, &bricked);
            ASSERT_FALSE(bricked);
            setTextureSizeLimits(0, 32);
            const std::vector<unsigned char> withBricks = picture(rod, style, &bricked);
            ASSERT_TRUE(bricked);
            ASSERT_EQ(volume.myBrickInfo->getCount(), 2);
            const std::string what = std::string(drawStyleLabel(style)) + ", side " + std::to_string(t);
            EXPECT_GT(lit(without, 30), kWidth * 4) << what;
            const Difference d = compare(withBricks, without);
            EXPECT_LE(d.largest, 2) << what << ": " << d.pixels << " pixels differ";
        }
    }
}

// nx x ny x nz bytes of f(x, y, z), voxel spacing (1, s, s), as a description
// file and its raw file in dir.
std::string writeVolume(const testsupport::TempDir& dir, const std::string& name, const int n[3], float s,
                        const std::function<int(int, int, int)>& f)
{
    std::string raw(static_cast<size_t>(n[0]) * n[1] * n[2], '\0');
    for (int z = 0; z < n[2]; ++z)
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x)
                raw[(static_cast<size_t>(z) * n[1] + y) * n[0] + x] = static_cast<char>(f(x, y, z));
    char text[512];
    std::snprintf(text, sizeof text,
                  "ObjectFileName: %s.raw\nResolution: %d %d %d\nSliceThickness: 1 %f %f\nFormat: UCHAR\n",
                  name.c_str(), n[0], n[1], n[2], s, s);
    testsupport::writeFile(dir.file(name + ".raw"), raw);
    testsupport::writeFile(dir.file(name + ".dat"), text);
    return dir.file(name + ".dat");
}

// Smooth data of 160 x 16 x 16 voxels, waves along every axis, values 28 ... 228.
int smoothVoxel(int x, int y, int z)
{
    const double pi = 3.14159265358979;
    return static_cast<int>(std::lround(128.0 + 60.0 * std::sin(2.0 * pi * x / 37.0 + 0.5) +
                                        25.0 * std::cos(2.0 * pi * y / 21.0) * std::sin(2.0 * pi * z / 29.0 + 1.0) +
                                        15.0 * std::cos(2.0 * pi * (x + 2 * y + 3 * z) / 53.0)));
}

// One view of a comparison: a preset turned further by ax about x and ay about y.
struct View
{
    const char* preset;
    float ax;
    float ay;
};

// The views of the comparisons: down the short side, down the long axis
// (through every brick), and askew.
const View kViews[] = {{"front", 0, 0}, {"left", 0, 0}, {"front", 25, 35}};

// Data drawn with and without bricks: the bricks are forced by a 3-D
// texture limit of 32 (32 texels a brick, six along the 160 voxels).
class BrickedAgainstWhole : public BrickPictures
{
protected:
    void SetUp() override
    {
        BrickPictures::SetUp();
        // Translucent grey: opacity a sixth of the value, so rays through
        // the long axis add up many samples without saturating at once.
        myTranslucent = greyTable([](int i) { return i / 6; });
    }
    void TearDown() override
    {
        setCgTableTextures(0, 0);
        if (myTranslucent)
            glDeleteTextures(1, &myTranslucent);
        volume.distance = -3.0f;
        BrickPictures::TearDown();
    }

    // Loads path with the 3-D limit given (0: the driver's); true when bricked.
    bool load(const std::string& path, int limit3D)
    {
        setTextureSizeLimits(0, limit3D);
        EXPECT_TRUE(renderer->loadData(path)) << path;
        renderer->setClassification(CLASSIFICATION_POST);
        volume.showBBox = false;
        volume.setSampling(100);
        return volume.isBricking && volume.myBrickInfo && volume.myBrickInfo->getCount() > 0;
    }

    // The loaded data in style, composite (translucent palette) or maximum
    // intensity (opaque grey), from view.
    std::vector<unsigned char> draw(int style, int blending, bool perspective, const View& view)
    {
        renderer->setStyle(style);
        setCgTableTextures(blending == BLENDING_MAXIMUM ? myPalette : myTranslucent, 0);
        volume.setBlending(blending);
        renderer->setProjection(perspective);
        renderer->setView(view.preset, view.ax, view.ay);
        // Near enough for the box to fill the picture in perspective too.
        volume.distance = -1.4f;
        renderer->renderFrame();
        return renderer->pixels();
    }

    GLuint myTranslucent = 0;
};

// Largest colour difference of picture a from reference b where a pixel may
// take any value of the reference's 3 x 3 neighbourhood. A polygon cut into
// bricks has its edges on the box's faces in pieces, which snap to the
// rasteriser's grid a little differently from the whole edge: a slice may
// then reach a pixel centre lying on the edge in one picture and not in the
// other.
int largestBeyondNeighbours(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    int largest = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                int lo = 255;
                int hi = 0;
                for (int v = std::max(0, y - 1); v <= std::min(kHeight - 1, y + 1); ++v)
                    for (int u = std::max(0, x - 1); u <= std::min(kWidth - 1, x + 1); ++u) {
                        lo = std::min(lo, static_cast<int>(b[(static_cast<size_t>(v) * kWidth + u) * 4 + c]));
                        hi = std::max(hi, static_cast<int>(b[(static_cast<size_t>(v) * kWidth + u) * 4 + c]));
                    }
                const int value = a[(static_cast<size_t>(y) * kWidth + x) * 4 + c];
                largest = std::max(largest, std::max(value - hi, lo - value));
            }
    return largest;
}

// Every style, view, projection and rule: the bricked picture is the whole
// one within 2 levels for maximum intensity and 8 for compositing (but for
// a few pixel centres on polygon edges, see above). While every brick drew
// as many slices (and ray samples) as the whole box, composite pictures
// differed by up to 100 levels and maximum intensity ones by up to 195.
TEST_F(BrickedAgainstWhole, EveryStyleViewAndRuleAgrees)
{
    testsupport::TempDir dir;
    const int n[3] = {160, 16, 16};
    const std::string path = writeVolume(dir, "smooth", n, 4.0f, smoothVoxel);
    std::vector<std::vector<unsigned char>> whole;
    ASSERT_FALSE(load(path, 0));
    for (int style : kStyles)
        for (const View& view : kViews)
            for (bool perspective : {false, true})
                for (int blending : {BLENDING_COMPOSITE, BLENDING_MAXIMUM})
                    whole.push_back(draw(style, blending, perspective, view));
    ASSERT_TRUE(load(path, 32));
    ASSERT_EQ(volume.myBrickInfo->getCount(), 6);
    size_t i = 0;
    for (int style : kStyles)
        for (const View& view : kViews)
            for (bool perspective : {false, true})
                for (int blending : {BLENDING_COMPOSITE, BLENDING_MAXIMUM}) {
                    const std::vector<unsigned char> bricked = draw(style, blending, perspective, view);
                    const std::vector<unsigned char>& want = whole[i++];
                    const std::string what = std::string(drawStyleLabel(style)) + ", " + view.preset + " " +
                                             std::to_string(view.ax) + " " + std::to_string(view.ay) +
                                             (perspective ? ", perspective" : ", orthographic") +
                                             (blending == BLENDING_MAXIMUM ? ", maximum" : ", composite");
                    EXPECT_GT(lit(want, 20), 1000) << what;
                    const int tolerance = blending == BLENDING_MAXIMUM ? 2 : 8;
                    const Difference d = compare(bricked, want, tolerance);
                    EXPECT_LE(largestBeyondNeighbours(bricked, want), tolerance) << what;
                    EXPECT_LE(d.pixels, 8) << what << ": up to " << d.largest;
                }
}

// Largest colour difference of each pixel column.
std::vector<int> columnErrors(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    std::vector<int> columns(kWidth, 0);
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            columns[(i / 4) % kWidth] = std::max(columns[(i / 4) % kWidth], std::abs(a[i + c] - b[i + c]));
    return columns;
}

// Steep waves across the brick faces, maximum intensity in perspective: a
// brick that stops filtering at its face shows a column of larger error
// there (up to 69 levels before the bricks shared a voxel). No column
// differs by more than a level.
TEST_F(BrickedAgainstWhole, NoSeamAtTheBrickFaces)
{
    testsupport::TempDir dir;
    const int n[3] = {160, 16, 16};
    const std::string path = writeVolume(dir, "steep", n, 4.0f, [](int x, int y, int z) {
        return static_cast<int>(std::lround(128.0 + 100.0 * std::sin(2.0 * 3.14159265358979 * x / 20.0) -
                                            2.0 * y - z));
    });
    for (int style : kStyles) {
        ASSERT_FALSE(load(path, 0));
        const std::vector<unsigned char> whole = draw(style, BLENDING_MAXIMUM, true, {"front", 0, 0});
        ASSERT_TRUE(load(path, 32));
        const std::vector<unsigned char> bricked = draw(style, BLENDING_MAXIMUM, true, {"front", 0, 0});
        EXPECT_GT(lit(whole, 100), kWidth * 4) << drawStyleLabel(style);
        const std::vector<int> columns = columnErrors(bricked, whole);
        const int worst = *std::max_element(columns.begin(), columns.end());
        EXPECT_LE(worst, 1) << drawStyleLabel(style) << ": column "
                            << (std::max_element(columns.begin(), columns.end()) - columns.begin());
    }
}

} // namespace

namespace {

// The shaded styles light each sample by differences one voxel apart, with
// and without bricks: the normals of "3D Normal (fragment)" once stepped 1.6
// voxels through the padded whole texture and one through a brick, 86 levels
// apart. The stored-gradient styles read the same gradients either way.
TEST_F(BrickedAgainstWhole, ShadedStylesAgree)
{
    testsupport::TempDir dir;
    const int n[3] = {160, 16, 16};
    const std::string path = writeVolume(dir, "smooth", n, 4.0f, smoothVoxel);
    const int styles[] = {DRAW_NORMAL_TEXTURE, DRAW_NORMAL_FRAGMENT, DRAW_LIGHT_GRADMAG, DRAW_LIGHT2};
    std::vector<std::vector<unsigned char>> whole;
    ASSERT_FALSE(load(path, 0));
    for (int style : styles)
        whole.push_back(draw(style, BLENDING_COMPOSITE, false, {"front", 25, 35}));
    ASSERT_TRUE(load(path, 32));
    for (size_t i = 0; i < whole.size(); ++i) {
        const std::vector<unsigned char> bricked = draw(styles[i], BLENDING_COMPOSITE, false, {"front", 25, 35});
        EXPECT_GT(lit(whole[i], 20), 1000) << drawStyleLabel(styles[i]);
        const Difference d = compare(bricked, whole[i], 8);
        EXPECT_LE(largestBeyondNeighbours(bricked, whole[i]), 8) << drawStyleLabel(styles[i]);
        EXPECT_LE(d.pixels, 8) << drawStyleLabel(styles[i]) << ": up to " << d.largest;
    }
}

} // namespace
