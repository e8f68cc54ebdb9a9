// The same scan opened from NIfTI, from zvf and from raw data behind a
// description file gives the same picture, in the ray caster and in slicing.
#include "render_fixture.h"
#include "test_support.h"

#include <zvf.h>

#include <unistd.h>

#include <algorithm>

namespace {

using ForeignPicture = RenderSlicing;

int largestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    int most = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        most = std::max(most, std::abs(a[i] - b[i]));
    return a.size() == b.size() ? most : 256;
}

} // namespace

TEST_F(ForeignPicture, NiftiZvfAndRawGiveTheSamePicture)
{
    const std::string data = GLIMRA_DATA_DIR;
    const std::string nifti = data + "/formats/anatomical.nii";
    const std::string raw = data + "/anatomical_33x41x25_int16_be.raw";
    if (!testsupport::fileExists(nifti) || !testsupport::fileExists(raw))
        GTEST_SKIP() << "no " << nifti;
    testsupport::TempDir dir;
    ASSERT_EQ(::symlink(raw.c_str(), dir.file("anatomical.raw").c_str()), 0);
    ASSERT_TRUE(testsupport::writeFile(dir.file("anatomical.dat"),
                                       "ObjectFileName: anatomical.raw\nResolution: 33 41 25\n"
                                       "SliceThickness: 2 2 2\nFormat: SHORT\nByteOrder: big\n"));
    // The raw voxels as a zvf file, in the machine's order.
    std::string bytes = testsupport::readFile(raw);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        if (zvfMachineEndian() == zvfLittleEndian)
            std::swap(bytes[i], bytes[i + 1]);
    zvfHeader h = zvfCubicHeader(33, 41, 25, zvfInt16, 1);
    h.px = h.py = h.pz = 2.0f;
    ASSERT_EQ(zvfWriteGrid(dir.file("anatomical.zvf").c_str(), bytes.data(), &h), 1);
    zvfFreeHeader(&h);

    const auto fromNifti = loadedPictures(nifti);
    EXPECT_EQ(volume.resolution[0], 33);
    EXPECT_FLOAT_EQ(volume.extent[1], 41.0f / 33.0f);
    const auto fromZvf = loadedPictures(dir.file("anatomical.zvf"));
    const auto fromRaw = loadedPictures(dir.file("anatomical.dat"));
    for (size_t k = 0; k < fromNifti.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_GT(coverage(fromNifti[k]), 1000);
        EXPECT_EQ(largestDifference(fromNifti[k], fromZvf[k]), 0);
        EXPECT_EQ(largestDifference(fromNifti[k], fromRaw[k]), 0);
        // The head is not mirror-symmetric: a reader that flipped an axis
        // would not agree.
        std::vector<unsigned char> mirrored(fromRaw[k].size());
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                std::copy_n(&fromRaw[k][4 * (y * kSize + x)], 4, &mirrored[4 * (y * kSize + kSize - 1 - x)]);
        EXPECT_GT(largestDifference(fromNifti[k], mirrored), 16);
    }
}
