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
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// 129 x 2 x 1 bricks: the registry holds every brick while the volume lives,
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
    ASSERT_EQ(v.myBrickInfo->getCount(), 258);
    EXPECT_EQ(countNamed("aBrick") - bricksBefore, 258);
    // The record and its brick, order and distance arrays.
    EXPECT_EQ(g_garbageCollector.count(), expected.size() + 258 + 4);

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
    int pixels = 0;  // pixels differing by more than two levels
};

Difference compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    Difference d;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(a[i + c] - b[i + c]));
        d.largest = std::max(d.largest, worst);
        d.pixels += worst > 2;
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

class BrickPictures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myBaseline = registryEntries();
        renderer.reset(new OffscreenRenderer(kWidth, kHeight, kCg));
        ASSERT_TRUE(renderer->ok()) << renderer->error();
        // A grey palette, opaque everywhere: the picture is the value drawn.
        std::vector<unsigned char> table(256 * 4);
        for (int i = 0; i < 256; ++i) {
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<unsigned char>(i);
            table[4 * i + 3] = 255;
        }
        glGenTextures(1, &myPalette);
        glBindTexture(GL_TEXTURE_2D, myPalette);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
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

} // namespace
