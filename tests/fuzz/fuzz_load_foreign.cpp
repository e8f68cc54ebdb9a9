// The import of other programs' volumes: the first byte picks the file name
// (and with it the format: NIfTI, gzipped NIfTI, NRRD, MetaImage, DICOM, TIFF,
// or the DICOM file's folder), the rest is the file. An import either hands
// out a volume the pipeline can take or refuses naming the file, and leaves
// the registry as it found it.
//
// The file is read as the program reads it, in a child process, so inputs
// that end the libraries' process (kept in the corpus) are refused here.
// A child's coverage never reaches the fuzzer, though: under make fuzz,
// GLIMRA_FUZZ_READ_IN_PROCESS (not empty) reads in this process, where the fuzzer sees
// the readers, and scripts/fuzz.sh checks each input that ended it through
// the child path.
#include "fuzz_support.h"

#include "load_foreign.h"
#include "reader_process.h"
#include "voxel_types.h"

#include <cstdlib>
#include <string>

namespace {

const char* const kNames[] = {"f.nii", "f.nii.gz", "f.nrrd", "f.mha", "f.dcm", "f.tif", "f.dcm"};
const size_t kNameCount = sizeof kNames / sizeof kNames[0];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t pick = data[0] % kNameCount;
    const std::string file = fuzzsupport::writeScratch(kNames[pick], data + 1, size - 1);
    const std::string path = pick == kNameCount - 1 ? fuzzsupport::scratchDir() : file;
    const uint32_t before = g_garbageCollector.count();
    fuzzsupport::LogCapture log;
    VolumeFile v;
    std::string error;
    static const char* const flag = std::getenv("GLIMRA_FUZZ_READ_IN_PROCESS");
    static const bool inProcess = flag && *flag;
    const ReadInto import = [&path](VolumeFile* read, std::string* why) {
        return importForeignVolume(path, read, why);
    };
    if (inProcess ? import(&v, &error) : readInChild(path, import, &v, &error)) {
        FUZZ_CHECK(v.data != nullptr);
        FUZZ_CHECK(isVoxelType(v.type));
        FUZZ_CHECK(v.resolution[0] > 0 && v.resolution[1] > 0 && v.resolution[2] > 0);
        FUZZ_CHECK(v.bands >= 1);
        FUZZ_CHECK(v.spacing[0] > 0.0f && v.spacing[1] > 0.0f && v.spacing[2] > 0.0f);
        FUZZ_CHECK(v.info.compare(0, 15, "Data file name:") == 0);
        // Every value can be read: the buffer is as large as it says.
        const size_t bytes = static_cast<size_t>(v.resolution[0]) * v.resolution[1] * v.resolution[2] *
                             static_cast<size_t>(v.bands) * static_cast<size_t>(bytesOfVoxelType(v.type));
        const volatile unsigned char* p = static_cast<const unsigned char*>(v.data);
        FUZZ_CHECK(p[0] == p[0] && p[bytes - 1] == p[bytes - 1]);
    } else {
        FUZZ_CHECK(v.data == nullptr);
        // The file, its folder or another file of its DICOM series is named.
        const std::string& dir = fuzzsupport::scratchDir();
        FUZZ_CHECK(error.size() > dir.size() && error.compare(0, dir.size(), dir) == 0);
    }
    v.release();
    FUZZ_CHECK(g_garbageCollector.count() == before);
    return 0;
}
