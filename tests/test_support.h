// Small helpers shared by the test programs.
#ifndef GLIMRA_TEST_SUPPORT_H
#define GLIMRA_TEST_SUPPORT_H

#include "voxel_types.h"

#include <string>
#include <vector>

struct SampleGrid;

namespace testsupport {

// A fresh directory under the system temp directory, removed with its contents.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return myPath; }
    std::string file(const std::string& name) const { return myPath + "/" + name; }

private:
    std::string myPath; // absolute path of the directory
};

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The shared folder of public data sets; empty when it is absent.
std::string dataDir();
// The build directory (where glimra and the tools are).
std::string buildDir();
// Runs a shell command, returns its exit status and its standard output.
int runCommand(const std::string& command, std::string* out = nullptr);
// The phantom sampled on size voxels of type, written at path as an
// OME-Zarr pyramid in chunks of `chunk`; *grid (when given) keeps the
// sample for reference voxels. False with *why.
bool writePhantomPyramid(const std::string& path, const int size[3], VoxelType type, int chunk, std::string* why,
                         SampleGrid* grid = nullptr);

} // namespace testsupport

// Skips the current test when the public data sets are not there.
#define SKIP_WITHOUT_DATA()                                                   \
    do {                                                                      \
        if (testsupport::dataDir().empty())                                   \
            GTEST_SKIP() << "public data sets not present";                   \
    } while (0)

#endif
