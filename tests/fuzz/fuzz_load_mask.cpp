// loadMask over a loaded one-channel data set of 4 x 3 x 2 voxels. First
// byte: bits 0-2 the cancelled step (fuzz_load.h, 7 never), bit 3 a
// description file (else zvf), bit 4 data of four channels, which no mask
// may go with. The rest: the mask file, or description text, kRawSeparator
// and raw bytes as in the description target. A mask load, whatever its
// outcome, leaves the data set as it was.
#include "fuzz_load.h"
#include "fuzz_support.h"

#include "load.h"
#include "volume.h"

#include <cstring>
#include <string>

namespace {

// What the data set's record says about the data: a mask load must not change it.
struct DataFacts
{
    int resolution[3];
    int nbrChannels;
    float extent[3];
    bool isData;

    explicit DataFacts(const Volume& v) : nbrChannels(v.nbrChannels), isData(v.isData)
    {
        std::memcpy(resolution, v.resolution, sizeof resolution);
        std::memcpy(extent, v.extent, sizeof extent);
    }
    bool operator==(const DataFacts& o) const
    {
        return std::memcmp(resolution, o.resolution, sizeof resolution) == 0 &&
               nbrChannels == o.nbrChannels && std::memcmp(extent, o.extent, sizeof extent) == 0 &&
               isData == o.isData;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int cancel = (data[0] & 7) == 7 ? -1 : (data[0] & 7);
    const bool description = (data[0] & 8) != 0;
    std::string path;
    if (description) {
        std::string text, raw;
        fuzzsupport::splitDescription(data + 1, size - 1, &text, &raw);
        if (text.find("..") != std::string::npos)
            return 0;
        fuzzsupport::writeScratch("r.raw", raw.data(), raw.size());
        path = fuzzsupport::writeScratch("m.dat", text.data(), text.size());
    } else {
        path = fuzzsupport::writeScratch("m.zvf", data + 1, size - 1);
    }

    const uint32_t before = g_garbageCollector.count();
    Volume v;
    v.resolution[0] = 4;
    v.resolution[1] = 3;
    v.resolution[2] = 2;
    v.nbrChannels = (data[0] & 16) ? 4 : 1;
    v.setBoxProportions(1.0f, 1.0f, 2.0f);
    v.isData = true;
    const DataFacts facts(v);

    bool loaded = false;
    size_t boxes = 0;
    {
        ProgressRecorder recorder;
        recorder.record.cancelAt = cancel;
        loaded = loadMask(path, v, recorder);
        fuzzsupport::checkProgress(recorder.record, loaded);
        // A refused file says why in one box: the size, or the reader's reason.
        boxes = recorder.boxes.size();
        for (const auto& box : recorder.boxes)
            FUZZ_CHECK(box.second == "Warning");
    }
    FUZZ_CHECK(facts == DataFacts(v));
    FUZZ_CHECK(boxes <= 1);
    if (loaded)
        FUZZ_CHECK(boxes == 0 && v.nbrChannels == 1);
    fuzzsupport::releaseAndCheckRegistry(v, before);
    return 0;
}
