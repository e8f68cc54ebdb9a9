// The next level of a pyramid written out voxel by voxel, independent of the
// builder: for the unit and picture tests of OME-Zarr pyramids.
#ifndef GLIMRA_TEST_ZARR_REFERENCE_H
#define GLIMRA_TEST_ZARR_REFERENCE_H

#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

// One band of nx x ny x nz values halved: each value the mean of the voxels
// of its 2 x 2 x 2 block that exist, integers rounded half away from zero.
template <typename T> std::vector<T> referenceHalf(const std::vector<T>& v, int nx, int ny, int nz)
{
    const int ox = (nx + 1) / 2, oy = (ny + 1) / 2, oz = (nz + 1) / 2;
    std::vector<T> out(static_cast<size_t>(ox) * oy * oz);
    for (int z = 0; z < oz; ++z)
        for (int y = 0; y < oy; ++y)
            for (int x = 0; x < ox; ++x) {
                double sum = 0;
                int n = 0;
                for (int dz = 0; dz < 2; ++dz)
                    for (int dy = 0; dy < 2; ++dy)
                        for (int dx = 0; dx < 2; ++dx) {
                            const int X = 2 * x + dx, Y = 2 * y + dy, Z = 2 * z + dz;
                            if (X < nx && Y < ny && Z < nz) {
                                sum += v[(static_cast<size_t>(Z) * ny + Y) * nx + X];
                                ++n;
                            }
                        }
                const double mean = sum / n;
                out[(static_cast<size_t>(z) * oy + y) * ox + x] =
                    std::is_integral<T>::value ? static_cast<T>(std::round(mean)) : static_cast<T>(mean);
            }
    return out;
}

#endif
