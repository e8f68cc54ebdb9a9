// The OME-Zarr metadata parser on any bytes; the first byte picks the file
// (odd: a .zarray, even: a .zattrs). A refusal names the file. An accepted
// array keeps every bound and reads back the same once the writer has
// written it; accepted multiscales keep theirs and read back the same.
#include "fuzz_support.h"

#include "zarr_metadata.h"
#include "zarr_write.h"

#include <cmath>
#include <string>

namespace {

void checkArray(const std::string& text)
{
    ZarrArray a;
    std::string why;
    if (!parseZarrArray(text, "F/.zarray", &a, &why)) {
        FUZZ_CHECK(why.compare(0, 11, "F/.zarray: ") == 0 && why.size() > 11);
        return;
    }
    FUZZ_CHECK(a.axes >= 1 && a.axes <= kZarrMaxAxes);
    for (int i = 0; i < a.axes; ++i) {
        FUZZ_CHECK(a.shape[i] >= 1 && a.shape[i] <= kZarrMaxAxisLength);
        FUZZ_CHECK(a.chunks[i] >= 1 && a.chunks[i] <= kZarrMaxAxisLength);
    }
    FUZZ_CHECK(a.chunkBytes() >= 1 && a.chunkBytes() <= kZarrMaxChunkBytes);
    FUZZ_CHECK(isVoxelType(a.type) && (a.itemBytes == bytesOfVoxelType(a.type) || a.itemBytes == 8));
    FUZZ_CHECK(a.separator == '.' || a.separator == '/');
    FUZZ_CHECK(a.kind == ZarrKind::Float || (std::isfinite(a.fill) && a.fill == std::floor(a.fill)));
    ZarrArray b;
    FUZZ_CHECK(parseZarrArray(zarrArrayText(a), "G/.zarray", &b, &why));
    FUZZ_CHECK(b.axes == a.axes && b.dtype == a.dtype && b.separator == a.separator);
    for (int i = 0; i < a.axes; ++i)
        FUZZ_CHECK(b.shape[i] == a.shape[i] && b.chunks[i] == a.chunks[i]);
    FUZZ_CHECK(b.compressor.codec == a.compressor.codec && b.compressor.level == a.compressor.level);
    FUZZ_CHECK(a.compressor.codec != ZarrCodec::Blosc ||
               (b.compressor.blosc == a.compressor.blosc && b.compressor.shuffle == a.compressor.shuffle));
}

void checkMultiscales(const std::string& text)
{
    ZarrPyramid p;
    std::string why;
    bool plain = false;
    if (!parseMultiscales(text, "F/.zattrs", &p, &why, &plain)) {
        FUZZ_CHECK(why.compare(0, 11, "F/.zattrs: ") == 0 && why.size() > 11);
        return;
    }
    FUZZ_CHECK(!plain);
    FUZZ_CHECK(!p.levels.empty() && p.levels.size() <= static_cast<size_t>(kZarrMaxLevels));
    FUZZ_CHECK(p.axes == 0 || (p.axes >= 2 && p.axes <= kZarrMaxAxes));
    FUZZ_CHECK(p.axes == 0 || p.spaceAxes + (p.timeAxis >= 0) + (p.channelAxis >= 0) == p.axes);
    for (const ZarrLevel& level : p.levels) {
        FUZZ_CHECK(!level.path.empty() && level.path.size() <= kZarrMaxPathLength && level.path[0] != '/');
        // No part of the path leaves the pyramid's folder or is empty.
        const std::string parts = "/" + level.path + "/";
        FUZZ_CHECK(parts.find("//") == std::string::npos && parts.find("/./") == std::string::npos &&
                   parts.find("/../") == std::string::npos);
        for (int a = 0; a < kZarrMaxAxes; ++a)
            FUZZ_CHECK(std::isfinite(level.translation[a]) && level.scale[a] > 0.0);
    }
    if (p.axes == 0)
        return;
    ZarrPyramid q;
    FUZZ_CHECK(parseMultiscales(zarrAttributesText(p), "G/.zattrs", &q, &why));
    FUZZ_CHECK(q.axes == p.axes && q.timeAxis == p.timeAxis && q.channelAxis == p.channelAxis &&
               q.levels.size() == p.levels.size());
    for (size_t i = 0; i < p.levels.size(); ++i) {
        FUZZ_CHECK(q.levels[i].path == p.levels[i].path);
        for (int a = 0; a < p.axes; ++a)
            FUZZ_CHECK(q.levels[i].scale[a] == p.levels[i].scale[a] &&
                       q.levels[i].translation[a] == p.levels[i].translation[a]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1)
        checkArray(text);
    else
        checkMultiscales(text);
    return 0;
}
