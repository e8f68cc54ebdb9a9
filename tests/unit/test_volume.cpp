#include "volume.h"
#include "voxel_types.h"

#include <gtest/gtest.h>

TEST(VolumeRecord, InitialValues)
{
    Volume v;
    EXPECT_EQ(v.frontFace, 2);
    EXPECT_EQ(v.backFace, 0);
    EXPECT_EQ(v.sampling, 64);
    EXPECT_EQ(v.halfSampling, 32);
    EXPECT_TRUE(v.interacting);
    EXPECT_FLOAT_EQ(v.diagonal, 1.7320508f);
    EXPECT_EQ(v.alphaFunc, static_cast<GLenum>(GL_GREATER));
    EXPECT_FLOAT_EQ(v.distance, -3.0f);
    EXPECT_FLOAT_EQ(v.orthoScale, 1.4f);
    EXPECT_TRUE(v.showBBox);
    EXPECT_FALSE(v.showVolume);
    EXPECT_EQ(v.alphaCalculation, 1);
    EXPECT_EQ(v.gradientCalculation, 4);
    EXPECT_EQ(v.nbrChannels, 1);
    EXPECT_EQ(v.faces[5][0], 4);
    EXPECT_EQ(v.faces[5][3], 5);
    EXPECT_FLOAT_EQ(v.vertices[6][0], 0.5f);
    EXPECT_FLOAT_EQ(v.normals[5][1], -1.0f);
    EXPECT_FLOAT_EQ(v.rotation[0], 0.0f);
}

TEST(VolumeRecord, BoxProportionsHalfDepth)
{
    Volume v;
    v.resolution[0] = 256;
    v.resolution[1] = 256;
    v.resolution[2] = 128;
    v.setBoxProportions(1, 1, 1);
    EXPECT_FLOAT_EQ(v.extent[0], 1.0f);
    EXPECT_FLOAT_EQ(v.extent[1], 1.0f);
    EXPECT_FLOAT_EQ(v.extent[2], 0.5f);
    EXPECT_FLOAT_EQ(v.diagonal, 1.5f);
    const float expected[8][3] = {{-.5f, -.5f, -.25f}, {.5f, -.5f, -.25f}, {.5f, .5f, -.25f},
                                  {-.5f, .5f, -.25f},  {-.5f, -.5f, .25f}, {.5f, -.5f, .25f},
                                  {.5f, .5f, .25f},    {-.5f, .5f, .25f}};
    for (int c = 0; c < 8; ++c)
        for (int a = 0; a < 3; ++a)
            EXPECT_FLOAT_EQ(v.vertices[c][a], expected[c][a]) << c << "," << a;
}

TEST(VolumeRecord, BoxProportionsAnisotropicSpacing)
{
    Volume v;
    v.resolution[0] = 512;
    v.resolution[1] = 512;
    v.resolution[2] = 100;
    v.setBoxProportions(0.5f, 0.5f, 2.0f);
    EXPECT_FLOAT_EQ(v.extent[1], 1.0f);
    EXPECT_FLOAT_EQ(v.extent[2], 0.78125f);
}

TEST(VolumeRecord, BoxProportionsDegenerateInputKeepsBox)
{
    Volume v;
    v.setBoxProportions(1, 1, 1); // resolution still 0
    EXPECT_FLOAT_EQ(v.extent[1], 1.0f);
    EXPECT_FLOAT_EQ(v.extent[2], 1.0f);
    EXPECT_FLOAT_EQ(v.diagonal, 1.7320508f);
}

TEST(VolumeRecord, SettingsAccessorsClampToZero)
{
    Volume v;
    v.setAlphaCalculation(3);
    EXPECT_EQ(v.getAlphaCalculation(), 0);
    v.setAlphaCalculation(2);
    EXPECT_EQ(v.getAlphaCalculation(), 2);
    v.setGradientCalculation(-1);
    EXPECT_EQ(v.getGradientCalculation(), 0);
    v.setGradientCalculation(4);
    EXPECT_EQ(v.getGradientCalculation(), 4);
    v.setBlending(7); // stored without a check
    EXPECT_EQ(v.getBlending(), 7);
    v.toggleBBox();
    v.toggleSlices();
    EXPECT_FALSE(v.showBBox);
    EXPECT_TRUE(v.showSlices);
}

TEST(VoxelTypes, NameLookups)
{
    struct Row { const char* name; GLenum gl; int bytes; };
    const Row rows[] = {{"UCHAR", GL_UNSIGNED_BYTE, 1}, {"CHAR", GL_BYTE, 1},
                        {"USHORT", GL_UNSIGNED_SHORT, 2}, {"SHORT", GL_SHORT, 2},
                        {"UINT", GL_UNSIGNED_INT, 4}, {"INT", GL_INT, 4}, {"FLOAT", GL_FLOAT, 4}};
    for (const Row& r : rows) {
        int bytes = 1;
        EXPECT_EQ(typeFromName(r.name, &bytes), r.gl) << r.name;
        EXPECT_EQ(bytes, r.bytes) << r.name;
    }
    int bytes = 1;
    EXPECT_EQ(typeFromName("ushort", &bytes), static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(bytes, 1);
    bytes = 7;
    EXPECT_EQ(typeFromName("DOUBLE", &bytes), static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(bytes, 7);
}

TEST(VoxelTypes, ZvfCodeLookups)
{
    const int codes[] = {1, 2, 4, 5, 7, 8, 9};
    const GLenum gl[] = {GL_UNSIGNED_BYTE, GL_BYTE, GL_UNSIGNED_SHORT, GL_SHORT,
                         GL_UNSIGNED_INT, GL_INT, GL_FLOAT};
    const int sizes[] = {1, 1, 2, 2, 4, 4, 4};
    for (int i = 0; i < 7; ++i) {
        int bytes = 1;
        EXPECT_EQ(typeFromZvf(codes[i], &bytes), gl[i]);
        EXPECT_EQ(bytes, sizes[i]);
    }
    // 12-bit, Hounsfield and double codes are taken as unsigned bytes.
    for (int code : {3, 6, 10}) {
        int bytes = 1;
        EXPECT_EQ(typeFromZvf(code, &bytes), static_cast<GLenum>(GL_UNSIGNED_BYTE));
        EXPECT_EQ(bytes, 1);
    }
}

TEST(VoxelTypes, DispatchReachesTheCType)
{
    EXPECT_EQ(dispatchVoxelType(GL_SHORT, [](auto tag) { return sizeof(typename decltype(tag)::type); }), 2u);
    EXPECT_TRUE(dispatchVoxelType(GL_BYTE, [](auto tag) {
        return std::is_signed<typename decltype(tag)::type>::value;
    }));
    EXPECT_TRUE(dispatchVoxelType(GL_FLOAT, [](auto tag) {
        return std::is_floating_point<typename decltype(tag)::type>::value;
    }));
    EXPECT_EQ(dispatchVoxelType(0x1234, [](auto tag) { return sizeof(typename decltype(tag)::type); }), 1u);
}
