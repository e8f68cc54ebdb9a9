// loadData on a description file and the raw file it names. Input: the
// cancelled step (first byte, fuzz_load.h), then the description text, then
// kRawSeparator and the raw bytes, which are written as "r.raw" beside the
// description. Names that climb out of the scratch folder are not followed.
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
    std::string text, raw;
    fuzzsupport::splitDescription(data + 1, size - 1, &text, &raw);
    if (text.find("..") != std::string::npos)
        return 0;
    fuzzsupport::writeScratch("r.raw", raw.data(), raw.size());
    const std::string path = fuzzsupport::writeScratch("d.dat", text.data(), text.size());
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
        FUZZ_CHECK(v.resolution[0] > 0 && v.resolution[1] > 0 && v.resolution[2] > 0);
        FUZZ_CHECK(v.nbrChannels == 1 || v.nbrChannels == 4);
        FUZZ_CHECK(histogram.getBins() == 256 || histogram.getBins() == 4096);
        FUZZ_CHECK(info.compare(0, 15, "ObjectFileName:") == 0);
    }
    fuzzsupport::releaseAndCheckRegistry(v, before);
    return 0;
}
