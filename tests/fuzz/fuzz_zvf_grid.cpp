// The zvf grid reader on any bytes. An accepted grid holds exactly the bytes
// its header states, the comment copies match the header, and a small grid
// written again reads back byte for byte.
#include "fuzz_support.h"

#include <zvf.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Grids up to this size are also written and read back.
const size_t kRoundTripBytes = 64 * 1024;

void checkRoundTrip(const void* grid, size_t bytes, int nx, int ny, int nz, int nbands, int dtype,
                    char** comments, int ncomments)
{
    const std::string path = fuzzsupport::scratchPath("again.zvf");
    FUZZ_CHECK(zvfWriteCubGrid(path.c_str(), grid, nx, ny, nz, nbands, dtype, comments, ncomments) == 1);
    void* back = nullptr;
    int bx = 0, by = 0, bz = 0, bb = 0, bt = 0, bn = 0;
    char** bc = nullptr;
    FUZZ_CHECK(zvfReadCubGrid(path.c_str(), &back, &bx, &by, &bz, &bb, &bt, &bc, &bn) == 1);
    FUZZ_CHECK(bx == nx && by == ny && bz == nz && bb == nbands && bt == dtype && bn == ncomments);
    FUZZ_CHECK(std::memcmp(back, grid, bytes) == 0);
    std::free(back);
    zvfFreeComments(bc, bn);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzzsupport::writeScratch("grid.zvf", data, size);
    void* grid = reinterpret_cast<void*>(1);
    int nx = -1, ny = -1, nz = -1, nbands = -1, dtype = -1, ncomments = 0;
    char** comments = nullptr;
    if (!zvfReadCubGrid(path.c_str(), &grid, &nx, &ny, &nz, &nbands, &dtype, &comments, &ncomments)) {
        FUZZ_CHECK(grid == nullptr);
        FUZZ_CHECK(comments == nullptr && nx == -1);
        return 0;
    }
    FUZZ_CHECK(grid != nullptr);
    FUZZ_CHECK(nx > 0 && ny > 0 && nz > 0 && nbands > 0);
    const int voxelSize = zvfVoxelSize(dtype);
    FUZZ_CHECK(voxelSize > 0);
    const size_t bytes = static_cast<size_t>(nx) * ny * nz * nbands * voxelSize;
    // Every byte of the grid is there (the sanitizers watch the ends).
    const unsigned char* g = static_cast<const unsigned char*>(grid);
    volatile unsigned char ends = g[0] ^ g[bytes - 1];
    (void)ends;

    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    FILE* f = zvfReadHeader(path.c_str(), &h);
    FUZZ_CHECK(f);
    std::fclose(f);
    FUZZ_CHECK(h.ncomments == ncomments);
    for (int i = 0; i < ncomments; ++i)
        FUZZ_CHECK(std::strcmp(h.comments[i], comments[i]) == 0);
    zvfFreeHeader(&h);
    zvfFreeHdrTF(&h);

    if (bytes <= kRoundTripBytes)
        checkRoundTrip(grid, bytes, nx, ny, nz, nbands, dtype, comments, ncomments);
    std::free(grid);
    zvfFreeComments(comments, ncomments);
    return 0;
}
