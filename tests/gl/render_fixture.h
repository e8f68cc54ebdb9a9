// The fixture of the renderer picture tests: an offscreen renderer with a
// known state, volumes and palettes uploaded directly, and pixel helpers.
#ifndef GLIMRA_TEST_RENDER_FIXTURE_H
#define GLIMRA_TEST_RENDER_FIXTURE_H

#include "bricking.h"
#include "error_handling.h"
#include "histogram.h"
#include "main_view.h"
#include "my_cg.h"
#include "offscreen_render.h"
#include "render_mode.h"
#include "slicing.h"
#include "table_texture.h"
#include "transfer_function.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>


const int kSize = 64;
const std::string kCg = std::string(GLIMRA_SOURCE_DIR) + "/Cg/";

struct Rgba
{
    int r, g, b, a;
};

using VoxelFn = std::function<unsigned char(int x, int y, int z)>;
using PaletteFn = std::function<Rgba(int i)>;

class RenderSlicing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        renderer.reset(new OffscreenRenderer(kSize, kSize, kCg));
        ASSERT_TRUE(renderer->ok()) << renderer->error();
        ASSERT_TRUE(cgReady);
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        RenderMode::instance().setClassification(CLASSIFICATION_POST);
        volume.showBBox = false;
        volume.showSlices = false;
        volume.switchSlices = true;
        volume.blending = BLENDING_COMPOSITE;
        volume.alphaFunc = GL_GREATER;
        volume.alphaThreshold = 0.0f;
        volume.background[0] = volume.background[1] = volume.background[2] = 0.0f;
        volume.frontFace = 2;
        volume.backFace = 0;
        volume.setSampling(32);
        renderer->setProjection(false);
        renderer->setView("front", 0, 0);
    }

    // The same renderer, reporting to observer (the old one goes first: its
    // view takes the transfer function with it).
    void reportTo(ViewerObserver& observer)
    {
        renderer.reset();
        renderer.reset(new OffscreenRenderer(kSize, kSize, kCg, observer));
        ASSERT_TRUE(renderer->ok()) << renderer->error();
        renderer->setProjection(false);
        renderer->setView("front", 0, 0);
    }

    void TearDown() override
    {
        setCgTableTextures(0, 0);
        if (myPalette)
            glDeleteTextures(1, &myPalette);
        renderer.reset();
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        RenderMode::instance().setClassification(CLASSIFICATION_POST);
        volume.blending = 0;
        volume.showVolume = false;
        volume.showBBox = true;
        volume.switchSlices = true;
        volume.interacting = true;
        volume.setSampling(64);
        // A loaded data set leaves its box and its histogram behind: the
        // unit cube and no histogram again, as a fresh process has them.
        for (int i = 0; i < 3; ++i)
            volume.resolution[i] = 1;
        volume.setBoxProportions(1, 1, 1);
        for (int i = 0; i < 3; ++i)
            volume.resolution[i] = 0;
        histogram.release();
    }

    // An n^3 volume of one byte per voxel: the 3-D texture and the three
    // stacks, every texel used.
    void upload(int n, const VoxelFn& f)
    {
        volume.deleteTextures(true);
        for (int i = 0; i < 3; ++i) {
            volume.resolution[i] = n;
            volume.texScale2D[i] = volume.texScale3D[i] = 1.0f;
        }
        volume.nbrChannels = 1;
        volume.setBoxProportions(1, 1, 1);
        std::vector<unsigned char> voxels(static_cast<size_t>(n) * n * n);
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    voxels[(static_cast<size_t>(z) * n + y) * n + x] = f(x, y, z);

        glGenTextures(1, &volume.tidVolume);
        glBindTexture(GL_TEXTURE_3D, volume.tidVolume);
        parameters(GL_TEXTURE_3D);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY8, n, n, n, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                     voxels.data());

        GLuint** stacks[3] = {&volume.tidx, &volume.tidy, &volume.tidz};
        std::vector<unsigned char> slice(static_cast<size_t>(n) * n);
        for (int axis = 0; axis < 3; ++axis) {
            GUARDED_ARRAY(*stacks[axis], GLuint, n);
            glGenTextures(n, *stacks[axis]);
            for (int i = 0; i < n; ++i) {
                // Texel (s, t) of the x stack holds (i, s, t), of y (s, i, t), of z (s, t, i).
                for (int t = 0; t < n; ++t)
                    for (int s = 0; s < n; ++s) {
                        const int x = axis == 0 ? i : s;
                        const int y = axis == 0 ? s : axis == 1 ? i : t;
                        const int z = axis == 2 ? i : t;
                        slice[static_cast<size_t>(t) * n + s] =
                            voxels[(static_cast<size_t>(z) * n + y) * n + x];
                    }
                glBindTexture(GL_TEXTURE_2D, (*stacks[axis])[i]);
                parameters(GL_TEXTURE_2D);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_INTENSITY8, n, n, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                             slice.data());
            }
        }
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        volume.isData = true;
        volume.showVolume = true;
    }

    static void parameters(GLenum target)
    {
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    }

    // A 256-entry palette the post-classification programs read instead of
    // the transfer function's.
    void palette(const PaletteFn& f)
    {
        std::vector<unsigned char> table(256 * 4);
        for (int i = 0; i < 256; ++i) {
            const Rgba c = f(i);
            table[4 * i] = static_cast<unsigned char>(c.r);
            table[4 * i + 1] = static_cast<unsigned char>(c.g);
            table[4 * i + 2] = static_cast<unsigned char>(c.b);
            table[4 * i + 3] = static_cast<unsigned char>(c.a);
        }
        myPalette = tableTexture(table, myPalette);
        setCgTableTextures(myPalette, 0);
    }

    // Two pictures of the data at path, loaded: maximum intensity along rays
    // from a turned view, then view-aligned slices blended; for comparing
    // the loads of one volume from several files.
    std::vector<std::vector<unsigned char>> loadedPictures(const std::string& path)
    {
        EXPECT_TRUE(renderer->loadData(path)) << path;
        palette([](int i) { return Rgba{i, 255 - i, i / 2, i}; });
        renderer->setView("front", 25, -35);
        renderer->setStyle(DRAW_RAY_CASTING);
        volume.setBlending(BLENDING_MAXIMUM);
        volume.setSampling(96);
        std::vector<std::vector<unsigned char>> out;
        out.push_back(frame());
        renderer->setStyle(DRAW_3D_TEXTURE_VAS);
        volume.setBlending(BLENDING_COMPOSITE);
        palette([](int i) { return Rgba{i, i, 255 - i, i / 6}; });
        out.push_back(frame());
        return out;
    }

    std::vector<unsigned char> frame()
    {
        renderer->renderFrame();
        return renderer->pixels();
    }

    static Rgba at(const std::vector<unsigned char>& px, int x, int y)
    {
        const unsigned char* p = &px[(static_cast<size_t>(y) * kSize + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    static Rgba centre(const std::vector<unsigned char>& px) { return at(px, kSize / 2, kSize / 2); }

    // Pixels that differ from the background (black) in colour.
    static int coverage(const std::vector<unsigned char>& px)
    {
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            n += (px[i] | px[i + 1] | px[i + 2]) != 0;
        return n;
    }

    static double meanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
    {
        double sum = 0;
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            if (i % 4 == 3)
                continue;
            sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
            ++n;
        }
        return sum / n;
    }

    std::unique_ptr<OffscreenRenderer> renderer;
    GLuint myPalette = 0;
};


// A ball about the volume's centre: solid 200, or falling from 200 at the
// centre to 0 at the radius.
inline unsigned char sphere(int x, int y, int z, int n, float radius, bool smooth)
{
    const float c = (n - 1) / 2.0f;
    const float r = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c));
    if (!smooth)
        return r <= radius ? 200 : 0;
    // Brightest at the centre, falling to zero at the radius.
    return r >= radius ? 0 : static_cast<unsigned char>(200.0f * (1.0f - r / radius));
}

#endif
