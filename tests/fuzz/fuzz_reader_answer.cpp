// What a foreign reader's child process sends back, as the parent reads it:
// a sound answer gives the volume (written again, the same bytes), a
// refusal its text, anything else is refused with nothing held.
#include "fuzz_support.h"

#include "reader_process.h"
#include "voxel_types.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint32_t before = g_garbageCollector.count();
    size_t at = 0;
    const ReadAll read = [&](void* bytes, size_t n) {
        if (n > size - at)
            return false;
        std::memcpy(bytes, data + at, n);
        at += n;
        return true;
    };
    VolumeFile v;
    std::string text;
    const ReaderAnswer answer = readReaderAnswer(read, 64u << 20, &v, &text);
    if (answer == ReaderAnswer::Volume) {
        FUZZ_CHECK(v.data != nullptr && isVoxelType(v.type) && v.bands >= 1);
        std::string again;
        const bool written = writeReaderAnswer(
            [&again](const void* p, size_t n) {
                again.append(static_cast<const char*>(p), n);
                return true;
            },
            true, v, "");
        // The same bytes but the voxels' address (after the magic, kind,
        // 96-byte header, text and voxel count), which is this buffer's now.
        const size_t addressAt = 8 + 4 + 96 + v.info.size() + 8;
        FUZZ_CHECK(written && again.size() == at && addressAt + 8 <= at);
        std::memcpy(&again[addressAt], data + addressAt, 8);
        // A time-point count of 0 means one and is written as 1.
        const size_t timePointsAt = 8 + 4 + 52;
        uint32_t sent = 0, rewritten = 0;
        std::memcpy(&sent, data + timePointsAt, 4);
        std::memcpy(&rewritten, &again[timePointsAt], 4);
        FUZZ_CHECK(rewritten == (sent == 0 ? 1u : sent));
        std::memcpy(&again[timePointsAt], data + timePointsAt, 4);
        FUZZ_CHECK(std::memcmp(again.data(), data, at) == 0);
    } else {
        FUZZ_CHECK(v.data == nullptr);
        FUZZ_CHECK(answer == ReaderAnswer::Refusal ? text.size() <= (64u << 10) : !text.empty());
    }
    v.release();
    FUZZ_CHECK(g_garbageCollector.count() == before);
    return 0;
}
