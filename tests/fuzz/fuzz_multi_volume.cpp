// loadData on zvf files of more than four bands, with the multi-volume
// loader installed as the program installs it. First byte: the cancelled
// step (fuzz_load.h); the rest: the file. Without an OpenGL context the
// band textures are named 0, so only the record is built.
#include "fuzz_load.h"
#include "fuzz_support.h"

#include "load.h"
#include "multi_volume.h"
#include "volume.h"

#include <zvf.h>

#include <algorithm>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string path = fuzzsupport::writeScratch("bands.zvf", data + 1, size - 1);
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
    if (loaded && v.myMVolumeInfo) {
        // Bands after the first, four to a texture, at most ten textures.
        zvfHeader h;
        std::memset(&h, 0, sizeof h);
        FILE* f = zvfReadHeader(path.c_str(), &h);
        FUZZ_CHECK(f);
        std::fclose(f);
        const int extra = h.nbands - 1;
        zvfFreeHeader(&h);
        zvfFreeHdrTF(&h);
        const MultiVolumeInfo& m = *v.myMVolumeInfo;
        FUZZ_CHECK(extra >= 4);
        FUZZ_CHECK(v.nbrChannels == 1);
        FUZZ_CHECK(m.getCount() == std::min((extra + 3) / 4, MultiVolumeInfo::kMaxTextures));
        FUZZ_CHECK(m.getTotal() == std::min(extra, 4 * MultiVolumeInfo::kMaxTextures));
        FUZZ_CHECK(m.getUsedWeights() >= 1 && m.getUsedWeights() <= MultiVolumeInfo::kWeightCount);
        for (int i = 0; i < m.getUsedWeights(); ++i)
            FUZZ_CHECK(m.getWeights()[i] == 1.0f);
    } else if (!loaded) {
        FUZZ_CHECK(v.myMVolumeInfo == nullptr);
    }
    fuzzsupport::releaseAndCheckRegistry(v, before);
    return 0;
}
