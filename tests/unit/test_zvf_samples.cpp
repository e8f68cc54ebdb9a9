// The procedural sample volumes and their zvf files.
#include "sample_volumes.h"
#include "test_zvf_helpers.h"

#include <cmath>

using testsupport::TempDir;

TEST(ZvfSamples, EveryNamedSampleWritesAndReadsBack)
{
    TempDir dir;
    for (const std::string& name : sampleVolumeNames()) {
        if (name == "phantom" || name == "phantom-mask")
            continue; // below, once
        SampleVolume v;
        ASSERT_TRUE(makeSampleVolume(name, &v)) << name;
        ASSERT_EQ(v.data.size(), v.voxelCount() * v.nbands * zvfVoxelSize(v.dtype));
        std::string path = dir.file(name + ".zvf");
        ASSERT_TRUE(writeSampleVolume(v, path));
        void* data = nullptr;
        zvfHeader h = zvftest::cleared();
        ASSERT_EQ(zvfReadGrid(path.c_str(), &data, &h), 1);
        EXPECT_EQ(std::memcmp(data, v.data.data(), v.data.size()), 0) << name;
        EXPECT_EQ(h.dtype, v.dtype);
        EXPECT_EQ(h.nbands, v.nbands);
        std::free(data);
        zvfFreeHeader(&h);
    }
    SampleVolume none;
    EXPECT_FALSE(makeSampleVolume("nope", &none));
}

TEST(ZvfSamples, TypesCoverEveryVoxelTypeAndItsRange)
{
    int seen = 0;
    for (const std::string& name : sampleVolumeNames()) {
        if (name.rfind("types-", 0) != 0)
            continue;
        SampleVolume v;
        ASSERT_TRUE(makeSampleVolume(name, &v));
        seen |= 1 << v.dtype;
        EXPECT_LT(v.value(0, 0, 0), v.value(v.nx - 1, v.ny - 1, v.nz - 1)) << name;
    }
    EXPECT_EQ(seen, 0x7fe); // codes 1 to 10
    SampleVolume c;
    ASSERT_TRUE(makeSampleVolume("types-char", &c));
    EXPECT_EQ(c.value(0, 0, 0), -128);
    EXPECT_EQ(c.value(31, 23, 15), 127);
}

TEST(ZvfSamples, PhantomAndItsMask)
{
    SampleVolume p, m;
    ASSERT_TRUE(makeSampleVolume("phantom", &p));
    ASSERT_TRUE(makeSampleVolume("phantom-mask", &m));
    EXPECT_GE(p.voxelCount(), 128u * 128u * 128u);
    EXPECT_EQ(p.dtype, zvfUInt16);
    EXPECT_TRUE(p.px != p.pz);
    EXPECT_EQ(m.nx, p.nx);
    EXPECT_EQ(m.nz, p.nz);
    EXPECT_EQ(m.pz, p.pz);
    EXPECT_EQ(m.dtype, zvfUChar);
    using namespace phantom;
    // the tumour: marked in the mask, tumour values in the phantom
    EXPECT_EQ(m.value(kTumourX, kTumourY, kTumourZ), 255);
    EXPECT_NEAR(p.value(kTumourX, kTumourY, kTumourZ), kTumourHU + kHUOffset, 10);
    // air in the corner, brain in the middle, bone along the x axis at the skull
    EXPECT_NEAR(p.value(0, 0, 0), kAirHU + kHUOffset, 10);
    EXPECT_EQ(m.value(0, 0, 0), 0);
    EXPECT_NEAR(p.value(80, 80, 64), kBrainHU + kHUOffset, 10);
    // several distinct structures along a line through the centre
    std::vector<int> tissues;
    for (int x = 0; x < p.nx; ++x) {
        int hu = static_cast<int>(std::lround(p.value(x, 80, 64))) - kHUOffset;
        int kinds[] = {kAirHU, kFatHU, kSoftTissueHU, kBoneHU, kBrainHU, kVentricleHU};
        for (int k : kinds)
            if (std::abs(hu - k) <= 8 && (tissues.empty() || tissues.back() != k))
                tissues.push_back(k);
    }
    EXPECT_GE(tissues.size(), 9u);
    size_t marked = 0;
    for (unsigned char b : m.data)
        marked += b == 255;
    EXPECT_GT(marked, 1000u);
    EXPECT_LT(marked, m.voxelCount() / 50);

    TempDir dir;
    ASSERT_TRUE(writeSampleVolume(p, dir.file("phantom.zvf")));
    zvfHeader h = zvftest::cleared();
    FILE* f = zvfReadHeader(dir.file("phantom.zvf").c_str(), &h);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(h.vtype, zvfRegular);
    EXPECT_FLOAT_EQ(h.pz, 1.5f);
    EXPECT_GE(h.ncomments, 1);
    zvfFreeHeader(&h);
}
