// loadData on a zvf file: the first byte picks the step at which the
// progress dialog cancels (fuzz_load.h), the rest is the file. No OpenGL
// context exists, so the load stops at the voxel buffer and the histogram.
#include "fuzz_load.h"
#include "fuzz_support.h"

#include "histogram.h"
#include "load.h"
#include "volume.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string path = fuzzsupport::writeScratch("data.zvf", data + 1, size - 1);
    const uint32_t before = g_garbageCollector.count();
    Volume v;
    std::string info;
    bool loaded = false;
    {
        ProgressRecorder recorder;
        recorder.record.cancelAt = fuzzsupport::cancelStep(data[0]);
        loaded = loadData(path, v, info, recorder);
        fuzzsupport::checkProgress(recorder.record, loaded);
    }
    if (loaded) {
        // One to four interleaved channels (two and three become four) and the histogram.
        FUZZ_CHECK(v.resolution[0] > 0 && v.resolution[1] > 0 && v.resolution[2] > 0);
        FUZZ_CHECK(v.nbrChannels == 1 || v.nbrChannels == 4);
        FUZZ_CHECK(histogram.getBins() == 256 || histogram.getBins() == 4096);
        FUZZ_CHECK(info.compare(0, 15, "Data file name:") == 0);
    }
    fuzzsupport::releaseAndCheckRegistry(v, before);
    return 0;
}
