#include "test_support.h"

#include "sample_volumes.h"
#include "volume_slabs.h"
#include "zarr_pyramid.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/glimra-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()))
        myPath = buf.data();
}

TempDir::~TempDir()
{
    if (!myPath.empty())
        runCommand("rm -rf '" + myPath + "'");
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string dataDir()
{
#ifdef GLIMRA_DATA_DIR
    std::string dir = GLIMRA_DATA_DIR;
    if (fileExists(dir + "/SOURCES.md"))
        return dir;
#endif
    return std::string();
}

std::string buildDir()
{
#ifdef GLIMRA_BUILD_DIR
    return GLIMRA_BUILD_DIR;
#else
    return ".";
#endif
}

int runCommand(const std::string& command, std::string* out)
{
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        if (out)
            out->append(buf, n);
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writePhantomPyramid(const std::string& path, const int size[3], VoxelType type, int chunk, std::string* why,
                         SampleGrid* grid)
{
    SampleGrid sample;
    if (!sampleGrid("phantom", size, type, &sample, why))
        return false;
    PyramidOptions options;
    options.chunk = chunk;
    if (!writePyramid(*sampleSlabs(sample), path, options, why))
        return false;
    if (grid)
        *grid = sample;
    return true;
}

} // namespace testsupport
