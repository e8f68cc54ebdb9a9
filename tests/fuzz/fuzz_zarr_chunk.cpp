// The chunk decoder on any bytes. The first four pick the compressor, the
// stored type and the number of values of the chunk; the rest is the chunk
// file. A chunk decodes into exactly its bytes or is refused with a fault,
// the same through the reader of a whole array; what decodes, compressed
// again, decodes the same.
#include "fuzz_support.h"

#include "volume_file.h"
#include "zarr_codec.h"
#include "zarr_read.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kCompressors[] = {
    "{\"id\": \"blosc\", \"cname\": \"lz4\", \"clevel\": 5, \"shuffle\": 1}", "{\"id\": \"zlib\", \"level\": 1}",
    "{\"id\": \"gzip\", \"level\": 1}", "{\"id\": \"zstd\", \"level\": 3}", "null"};
const char* const kDtypes[] = {"|u1", "|i1", "<u2", ">u2", "<i2", ">i4", "<u4", "<f4", ">f8", "<i8"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const int values = 1 + (data[2] | (data[3] << 8)) % 4096;
    const std::string zarray = std::string("{\"zarr_format\": 2, \"shape\": [1, ") + std::to_string(values) +
                               "], \"chunks\": [1, " + std::to_string(values) + "], \"dtype\": \"" +
                               kDtypes[data[1] % 10] + "\", \"compressor\": " + kCompressors[data[0] % 5] +
                               ", \"fill_value\": 0, \"order\": \"C\", \"filters\": null}";
    ZarrArray a;
    std::string fault;
    FUZZ_CHECK(parseZarrArray(zarray, "F", &a, &fault));
    const uint8_t* chunk = data + 4;
    const size_t bytes = size - 4;
    // Exactly the chunk's bytes: the sanitizers see any write beyond.
    std::vector<unsigned char> raw(static_cast<size_t>(a.chunkBytes()));
    const bool decoded = decodeChunk(a.compressor, chunk, bytes, raw.data(), raw.size(), &fault);
    FUZZ_CHECK(decoded || !fault.empty());
    std::vector<unsigned char> converted(raw.size());
    fault.clear();
    FUZZ_CHECK(decodeZarrChunk(a, chunk, bytes, converted.data(), &fault) == decoded);
    if (decoded) {
        std::vector<unsigned char> packed, again(raw.size());
        FUZZ_CHECK(encodeChunk(a.compressor, a.itemBytes, raw.data(), raw.size(), &packed, &fault));
        FUZZ_CHECK(decodeChunk(a.compressor, packed.data(), packed.size(), again.data(), again.size(), &fault));
        FUZZ_CHECK(again == raw);
    }
    // The same chunk as the one file of a plain array.
    fuzzsupport::writeScratch(".zarray", zarray.data(), zarray.size());
    fuzzsupport::writeScratch("0.0", chunk, bytes);
    VolumeFile v;
    std::string why;
    const bool read = readZarrVolume(fuzzsupport::scratchDir(), &v, &why);
    FUZZ_CHECK(read == (decoded && bytes <= maxEncodedBytes(a.compressor, a.chunkBytes())));
    FUZZ_CHECK(read || why.find("/0.0: ") != std::string::npos);
    if (read) {
        FUZZ_CHECK(v.resolution[0] == values && v.resolution[1] == 1 && v.resolution[2] == 1);
        FUZZ_CHECK(std::memcmp(v.data, converted.data(), static_cast<size_t>(values) * bytesOfVoxelType(a.type)) == 0);
    }
    return 0;
}
