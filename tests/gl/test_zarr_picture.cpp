// An OME-Zarr pyramid opens at its coarsest level: the picture equals the
// picture of that level, made here independently and held in a zvf file.
#include "render_fixture.h"
#include "test_support.h"
#include "unit/zarr_reference.h"

#include "sample_volumes.h"
#include "volume_slabs.h"
#include "zarr_pyramid.h"

#include <zvf.h>

namespace {

using ZarrPicture = RenderSlicing;

} // namespace

TEST_F(ZarrPicture, PyramidDrawsItsCoarsestLevel)
{
    testsupport::TempDir dir;
    // The phantom on 48 x 36 x 32 voxels of 3 x 4 x 6 mm: two levels in chunks of 32.
    const int size[3] = {48, 36, 32};
    SampleGrid grid;
    std::string why;
    ASSERT_TRUE(testsupport::writePhantomPyramid(dir.file("p.zarr"), size, VOXEL_USHORT, 32, &why, &grid)) << why;

    // Level 1 made here from the whole sample, with twice the spacing.
    std::vector<uint16_t> full(static_cast<size_t>(48) * 36 * 32);
    sampleSlices(grid, 0, 32, reinterpret_cast<unsigned char*>(full.data()), 0);
    std::vector<uint16_t> half = referenceHalf(full, 48, 36, 32);
    zvfHeader h = zvfCubicHeader(24, 18, 16, zvfUInt16, 1);
    h.vtype = zvfRegular;
    h.px = 6.0f;
    h.py = 8.0f;
    h.pz = 12.0f;
    ASSERT_EQ(zvfWriteGrid(dir.file("level1.zvf").c_str(), half.data(), &h), 1);
    zvfFreeHeader(&h);

    const auto fromZvf = loadedPictures(dir.file("level1.zvf"));
    const auto fromZarr = loadedPictures(dir.file("p.zarr"));
    EXPECT_EQ(volume.resolution[0], 24);
    EXPECT_EQ(volume.resolution[1], 18);
    EXPECT_EQ(volume.resolution[2], 16);
    EXPECT_FLOAT_EQ(volume.extent[2], 16.0f * 12.0f / (24.0f * 6.0f));
    const std::string& info = renderer->dataInfo();
    EXPECT_NE(info.find("Format:\t\tOME-Zarr pyramid (NGFF 0.4), 2 levels\nLevel 0:\t48 36 32 (0)\n"
                        "Level 1:\t24 18 16 (1)\nShown:\t\tlevel 1, the coarsest, read whole\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Resolution:\t24 18 16\nRatio:"), std::string::npos) << info;
    const auto fromAttributes = loadedPictures(dir.file("p.zarr/.zattrs"));
    for (size_t k = 0; k < fromZvf.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_GT(coverage(fromZvf[k]), 500);
        EXPECT_TRUE(fromZarr[k] == fromZvf[k]);
        EXPECT_TRUE(fromAttributes[k] == fromZvf[k]);
    }
}
