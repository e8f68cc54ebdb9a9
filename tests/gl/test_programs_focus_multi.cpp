// The focus-and-context and multi-volume fragment programs on an offscreen context: every
// parameter the program manager looks up is active, and pictures with known answers.
#include "cg_layer.h"
#include "gl_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int kSize = 16;
const std::string kCg = std::string(GLIMRA_SOURCE_DIR) + "/Cg/";

// The ray casters' inputs for an orthographic front view of the box [-0.5, 0.5]^3: the whole
// target shows its front face z = +0.5, at window depth 0; unit 1 passes through.
const char* kFrontViewVp = R"(#version 450 compatibility
out vec3 rayEntry;
out vec3 rayDir;
flat out vec3 texScale;
flat out vec3 texOffset;
void main()
{
    gl_Position = vec4(gl_Vertex.xy, -1.0, 1.0);
    rayEntry = vec3(gl_Vertex.xy * 0.5, 0.5);
    rayDir = vec3(0.0, 0.0, -1.0);
    texScale = vec3(1.0);
    texOffset = vec3(0.5);
    gl_TexCoord[1] = gl_MultiTexCoord1;
}
)";

struct Pixel
{
    int r, g, b, a;
};

// Palette entry i: (i, 255 - i, 7i mod 256, 128 + i / 2).
unsigned char paletteEntry(int i, int, int channel)
{
    const int v[4] = {i, 255 - i, (7 * i) % 256, 128 + i / 2};
    return static_cast<unsigned char>(v[channel]);
}
// Pre-integration entry (column front, row back): (front, back, 200 on the diagonal, 255).
unsigned char preintEntry(int column, int row, int channel)
{
    const int v[4] = {column, row, column == row ? 200 : 0, 255};
    return static_cast<unsigned char>(v[channel]);
}

void expectPixel(const Pixel& p, int r, int g, int b, int a, int tolerance, const std::string& what)
{
    EXPECT_NEAR(p.r, r, tolerance) << what;
    EXPECT_NEAR(p.g, g, tolerance) << what;
    EXPECT_NEAR(p.b, b, tolerance) << what;
    EXPECT_NEAR(p.a, a, tolerance) << what;
}

class FocusMultiPrograms : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        cgGetError();
        context = cgCreateContext();
        ASSERT_NE(context, nullptr);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    void TearDown() override
    {
        cgGLDisableProfile(CG_PROFILE_GLSLV);
        cgGLDisableProfile(CG_PROFILE_GLSLF);
        cgDestroyContext(context);
        if (!textures.empty())
            glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    }

    CGprogram bind(CGprogram p, CGprofile profile)
    {
        EXPECT_NE(p, nullptr) << cgGetLastListing(context);
        cgGLLoadProgram(p);
        cgGLBindProgram(p);
        cgGLEnableProfile(profile);
        return p;
    }
    CGprogram load(const std::string& file)
    {
        return bind(cgCreateProgramFromFile(context, CG_SOURCE, (kCg + file).c_str(), CG_PROFILE_GLSLF, "main",
                                            nullptr),
                    CG_PROFILE_GLSLF);
    }
    void useFrontView()
    {
        bind(cgCreateProgram(context, CG_SOURCE, kFrontViewVp, CG_PROFILE_GLSLV, "main", nullptr), CG_PROFILE_GLSLV);
    }
    static void sampler(CGprogram p, const std::string& name, GLuint texture)
    {
        CGparameter q = cgGetNamedParameter(p, name.c_str());
        cgGLSetTextureParameter(q, texture);
        cgGLEnableTextureParameter(q);
    }
    static void value(CGprogram p, const char* name, float v) { cgGLSetParameter1f(cgGetNamedParameter(p, name), v); }
    static void weights(CGprogram p, std::vector<float> arr, float numOfEl)
    {
        arr.resize(41, 0.0f);
        CGparameter q = cgGetNamedParameter(p, "arr");
        cgGLSetParameterArray1f(q, 0, cgGetArraySize(q, 0), arr.data());
        value(p, "numOfEl", numOfEl);
    }

    GLuint texture(GLenum target, GLint filter)
    {
        GLuint t = 0;
        glGenTextures(1, &t);
        textures.push_back(t);
        glBindTexture(target, t);
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
        for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
            glTexParameteri(target, wrap, GL_CLAMP_TO_EDGE);
        return t;
    }
    // n^3 voxels of 1 (intensity), 3 (RGB) or 4 (RGBA) bytes.
    GLuint volume(int n, int channels, const std::vector<unsigned char>& data, GLint filter = GL_NEAREST)
    {
        GLuint t = texture(GL_TEXTURE_3D, filter);
        const GLenum format = channels == 1 ? GL_LUMINANCE : channels == 3 ? GL_RGB : GL_RGBA;
        const GLint internal = channels == 1 ? GL_INTENSITY8 : channels == 3 ? GL_RGB8 : GL_RGBA8;
        glTexImage3D(GL_TEXTURE_3D, 0, internal, n, n, n, 0, format, GL_UNSIGNED_BYTE, data.data());
        return t;
    }
    GLuint image(int w, int h, unsigned char (*entry)(int column, int row, int channel), GLint filter = GL_LINEAR)
    {
        std::vector<unsigned char> data(static_cast<size_t>(w * h * 4));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = entry(static_cast<int>(i / 4) % w, static_cast<int>(i / 4) / w, static_cast<int>(i % 4));
        GLuint t = texture(GL_TEXTURE_2D, filter);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
        return t;
    }

    // The whole target; unit 0 at texture depth z, unit 1 at zNext, both (0, 0) ... (1, 1) across.
    static void draw(float z = 0, float zNext = 0)
    {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        for (int v : {0, 1, 3, 2}) {
            float x = static_cast<float>(v % 2), y = static_cast<float>(v / 2);
            glMultiTexCoord3f(GL_TEXTURE0, x, y, z);
            glMultiTexCoord3f(GL_TEXTURE1, x, y, zNext);
            glVertex2f(2 * x - 1, 2 * y - 1);
        }
        glEnd();
    }
    Pixel at(int x, int y)
    {
        std::vector<unsigned char> px(kSize * kSize * 4);
        ctx.readPixels(px.data());
        const unsigned char* p = &px[static_cast<size_t>((y * kSize + x) * 4)];
        return {p[0], p[1], p[2], p[3]};
    }

    OffscreenContext ctx{kSize, kSize};
    CGcontext context = nullptr;
    std::vector<GLuint> textures;
};

} // namespace

TEST_F(FocusMultiPrograms, EveryParameterIsActive)
{
    const std::string multi = "palette volume volume1 volume2 volume3 volume4 volume5 volume6 volume7 volume8 "
                              "volume9 volume10 arr numOfEl";
    const std::pair<const char*, std::string> programs[] = {
        {"mask_fp.cg", "volume palette shiftTexture slice_dist alphaThresh distanceNearFar near"},
        {"mask_fp_post.cg", "volume gradient grad_mag palette slice_dist diagonal alphaThresh minDistance maxDistance"},
        {"maskmask_fp.cg", "volume slice_dist distanceNearFar alphaTest near"},
        {"dilate_fp.cg", "volume decrement resx resy"},
        {"multiVolumePost_fp.cg", multi},
        {"multiVolumePreInt_fp.cg", multi},
        {"multiVolumePost4_fp.cg", multi},
        {"multiVolumePreInt4_fp.cg", multi},
        {"isoMultiVolumePost_fp.cg", multi + " res"},
        {"isoMultiVolumePreInt_fp.cg", multi + " res"},
    };
    for (const auto& p : programs) {
        CGprogram program = load(p.first);
        ASSERT_NE(program, nullptr) << p.first;
        std::istringstream names(p.second);
        for (std::string name; names >> name;)
            EXPECT_NE(cgGetNamedParameter(program, name.c_str()), nullptr) << p.first << ": " << name;
    }
    EXPECT_EQ(cgGetArraySize(cgGetNamedParameter(load("multiVolumePost4_fp.cg"), "arr"), 0), 41);
}

// The mask pass writes the depth of the first voxel above alphaTest, as a fraction of the box
// depth, over the silhouette of those voxels, and nothing elsewhere.
TEST_F(FocusMultiPrograms, MaskPassWritesTheDepthOfTheFirstHit)
{
    // 8^3: value 200 in voxels 2 ... 5 on every axis (|x| < 0.25), 100 around them in 1 ... 6.
    std::vector<unsigned char> voxels(512);
    for (size_t i = 0; i < voxels.size(); ++i) {
        int far = std::max({std::abs(2 * static_cast<int>(i % 8) - 7), std::abs(2 * static_cast<int>(i / 8 % 8) - 7),
                            std::abs(2 * static_cast<int>(i / 64) - 7)});
        voxels[i] = far <= 3 ? 200 : far <= 5 ? 100 : 0;
    }
    useFrontView();
    CGprogram p = load("maskmask_fp.cg");
    sampler(p, "volume", volume(8, 1, voxels));
    const float step = 0.07f;
    value(p, "slice_dist", step);
    value(p, "near", -0.5f);
    value(p, "distanceNearFar", 1.0f);
    const float cases[][2] = {{0.5f, 0.25f}, {0.3f, 0.375f}, {0.9f, 0.0f}}; // alphaTest, half size found
    for (const auto& c : cases) {
        value(p, "alphaTest", c[0]);
        draw();
        for (int i = 0; i < kSize; ++i) {
            Pixel px = at(i, i);
            std::string what = "alphaTest " + std::to_string(c[0]) + " pixel " + std::to_string(i);
            if (std::fabs((i + 0.5f) / kSize - 0.5f) < c[1]) {
                EXPECT_EQ(px.a, 255) << what;
                EXPECT_EQ(px.r, px.g) << what;
                EXPECT_LE(std::fabs(px.g / 255.0f - (0.5f - c[1])), step) << what;
            } else {
                EXPECT_EQ(px.a, 0) << what;
            }
        }
    }
}

// Post-classified main pass over a uniform box: 14 samples (at (k + 0.5) 0.07 < 1) of a
// constant palette along each ray; opacity follows the gradient magnitude and the
// threshold, colour the headlight, the ray length the diagonal.
TEST_F(FocusMultiPrograms, PostMainPassCompositesSamplesAlongTheRay)
{
    useFrontView();
    CGprogram p = load("mask_fp_post.cg");
    sampler(p, "volume", volume(4, 1, std::vector<unsigned char>(64, 100)));
    sampler(p, "palette", image(256, 1, [](int, int, int c) -> unsigned char { return c == 3 ? 64 : 200 >> c; }));
    value(p, "slice_dist", 0.07f);
    value(p, "minDistance", 3.0f);
    value(p, "maxDistance", 3.0f); // no depth cue
    const float a = 64.0f / 255;
    const struct
    {
        unsigned char magnitude, gradient[3];
        float threshold, diagonal;
        int samples;
        float opacity, shade; // per sample
    } cases[] = {
        {255, {128, 128, 128}, 0.0f, 2.0f, 14, a, 1.0f},   // flat: unlit
        {0, {128, 128, 128}, 0.0f, 2.0f, 14, a / 4, 1.0f}, // no boundary: a quarter
        {255, {128, 128, 128}, 0.3f, 2.0f, 0, a, 1.0f},    // under the threshold
        {255, {128, 128, 128}, 0.0f, 0.5f, 7, a, 1.0f},    // the ray ends after the diagonal
        {255, {255, 128, 128}, 0.0f, 2.0f, 14, a, 0.3f},   // gradient across the ray
        {255, {128, 128, 255}, 0.0f, 2.0f, 14, a, 1.0f},   // gradient along the ray
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> g(64 * 3);
        for (size_t i = 0; i < g.size(); ++i)
            g[i] = c.gradient[i % 3];
        sampler(p, "gradient", volume(4, 3, g));
        sampler(p, "grad_mag", volume(4, 1, std::vector<unsigned char>(64, c.magnitude)));
        value(p, "alphaThresh", c.threshold);
        value(p, "diagonal", c.diagonal);
        draw();
        float alpha = 1.0f - std::pow(1.0f - c.opacity, static_cast<float>(c.samples));
        expectPixel(at(5, 9), c.samples ? std::lround(200 * c.shade) : 0, c.samples ? std::lround(100 * c.shade) : 0,
                    c.samples ? std::lround(50 * c.shade) : 0, std::lround(255 * alpha), 1,
                    std::to_string(c.samples) + " samples, shade " + std::to_string(c.shade));
    }
    value(p, "maxDistance", 4.0f); // deeper samples darker, down to half at the far side
    draw();
    EXPECT_LT(at(5, 9).r, 180);
    EXPECT_GT(at(5, 9).r, 100);
}

// One band per texture: the ordinary volume and six bands, each 200 in its own octant of a
// 2^3 grid (octant = x + 2y + 4z). The weights choose what shows, bands past numOfEl never
// show, the sum saturates; the iso variants are unlit on the flat octants.
TEST_F(FocusMultiPrograms, MultiVolumeWeighsOneBandPerTexture)
{
    std::vector<GLuint> bands;
    for (int b = 0; b < 7; ++b) {
        std::vector<unsigned char> v(8, 0);
        v[static_cast<size_t>(b)] = 200;
        bands.push_back(volume(2, 1, v));
    }
    GLuint palette = image(256, 1, paletteEntry), preint = image(256, 256, preintEntry);
    const struct
    {
        const char* file;
        std::vector<float> arr; // arr[0]: the ordinary volume, arr[b]: band b
        float numOfEl;
    } cases[] = {
        {"multiVolumePost_fp.cg", {0, 0, 0, 1}, 6},
        {"multiVolumePost_fp.cg", {1, 0, 0, 0, 0, 0, 1}, 6},
        {"multiVolumePost_fp.cg", {1, 1, 0.5f, 2, 1, 1, 1}, 3},
        {"multiVolumePreInt_fp.cg", {0, 0, 0, 0, 1}, 6},
        {"isoMultiVolumePost_fp.cg", {0, 1}, 6},
        {"isoMultiVolumePreInt_fp.cg", {0, 0, 0.5f, 0, 0, 0, 1}, 6},
    };
    for (const auto& c : cases) {
        const bool pre = std::string(c.file).find("PreInt") != std::string::npos;
        CGprogram p = load(c.file);
        sampler(p, "palette", pre ? preint : palette);
        sampler(p, "volume", bands[0]);
        for (int b = 1; b < 7; ++b)
            sampler(p, "volume" + std::to_string(b), bands[static_cast<size_t>(b)]);
        weights(p, c.arr, c.numOfEl);
        cgGLSetParameter3f(cgGetNamedParameter(p, "res"), 64, 64, 64); // differences inside one octant
        auto entry = [&](int octant) {
            float w = octant < static_cast<int>(c.arr.size()) && octant <= c.numOfEl ? c.arr[octant] : 0;
            return static_cast<int>(std::min(w * 200, 255.0f));
        };
        // Pre-integration: the same point front and back, then the octant behind as the back.
        for (int back = 0; back < (pre ? 2 : 1); ++back)
            for (int z = 0; z < 2; ++z) {
                int zBack = back ? 1 - z : z;
                draw(0.25f + 0.5f * z, 0.25f + 0.5f * zBack);
                for (int q = 0; q < 4; ++q) {
                    int f = entry(q + 4 * z), k = entry(q + 4 * zBack);
                    std::string what = std::string(c.file) + " z " + std::to_string(z) + " back " +
                                       std::to_string(zBack) + " quadrant " + std::to_string(q);
                    Pixel px = at(q % 2 ? 12 : 3, q / 2 ? 12 : 3);
                    if (pre)
                        expectPixel(px, f, k, f == k ? 200 : 0, 255, 1, what);
                    else
                        expectPixel(px, f, 255 - f, (7 * f) % 256, 128 + f / 2, 1, what);
                }
            }
    }
}

// The iso variant lights a slope of the combined value: a normal along x under the light
// (1, 1, 1) / sqrt 3 keeps 0.3 + 0.7 / sqrt 3 of the colour, not of the opacity.
TEST_F(FocusMultiPrograms, IsoMultiVolumeLightsSlopes)
{
    std::vector<unsigned char> ramp(64); // 0, 85, 170, 255 along x
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<unsigned char>(85 * (i % 4));
    GLuint band = volume(4, 1, ramp, GL_LINEAR);
    CGprogram p = load("isoMultiVolumePost_fp.cg");
    sampler(p, "palette", image(256, 1, paletteEntry));
    sampler(p, "volume", band);
    sampler(p, "volume1", band);
    weights(p, {0, 1}, 1);
    cgGLSetParameter3f(cgGetNamedParameter(p, "res"), 4, 4, 4);
    draw(0.5f);
    const float v = 85 * 1.375f; // at x = 7.5 / 16
    const float lit = 0.3f + 0.7f / std::sqrt(3.0f);
    Pixel px = at(7, 7);
    EXPECT_NEAR(px.r, v * lit, 2);
    EXPECT_NEAR(px.g, (255 - v) * lit, 2);
    EXPECT_NEAR(px.a, 128 + v / 2, 2);
}
