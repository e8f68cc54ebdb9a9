// Grids, slice records, byte order, icon, damaged files.
#include "test_zvf_helpers.h"

#include <zlib.h>

#include <cmath>

using namespace zvftest;
using testsupport::TempDir;

namespace {

// Deterministic bytes for a grid.
std::vector<unsigned char> pattern(size_t n, unsigned seed)
{
    std::vector<unsigned char> v(n);
    uint32_t s = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        v[i] = static_cast<unsigned char>((s >> 24) ^ (i & 7));
    }
    return v;
}

std::string zlibOf(const void* data, size_t n)
{
    uLongf cap = compressBound(n);
    std::string out(cap, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(&out[0]), &cap, static_cast<const Bytef*>(data), n), Z_OK);
    out.resize(cap);
    return out;
}

// The header part (through the icon) of a written one-slice file.
std::string headerOf(const zvfHeader& h)
{
    int w = 0, hgt = 0;
    std::vector<unsigned char> data(size_t(h.vdim[0]) * h.vdim[1] * h.vdim[2] * h.nbands * zvfVoxelSize(h.dtype));
    unsigned char* icon = zvfCreateIconImage(data.data(), &h, &w, &hgt);
    std::string s = writeToString([&](FILE* f) { writeZvfHeader(f, &h, icon, w, hgt); });
    std::free(icon);
    return s;
}

struct ReadResult
{
    bool ok = false;
    std::vector<unsigned char> data;
    zvfHeader header;
    std::string err; // what was written to standard error
};

ReadResult readGrid(const std::string& path, size_t bytes)
{
    ReadResult r;
    r.header = cleared();
    void* data = reinterpret_cast<void*>(1);
    testing::internal::CaptureStderr();
    r.ok = zvfReadGrid(path.c_str(), &data, &r.header) == 1;
    r.err = testing::internal::GetCapturedStderr();
    if (r.ok) {
        EXPECT_NE(data, nullptr);
        r.data.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + bytes);
    } else {
        EXPECT_EQ(data, nullptr);
    }
    std::free(data);
    return r;
}

} // namespace

TEST(ZvfGrid, RoundTripEveryTypeGridTypeAndBandCount)
{
    TempDir dir;
    for (int dtype = 1; dtype <= 10; ++dtype)
        for (int vtype = zvfCubic; vtype <= zvfRectXYZ; ++vtype)
            for (int bands : {1, 2, 3, 6}) {
                zvfHeader h = zvfCubicHeader(5, 3, 4, dtype, bands);
                h.vtype = vtype;
                h.px = 0.5f;
                h.py = vtype == zvfCubic ? 0.5f : 0.25f;
                h.pz = vtype == zvfCubic ? 0.5f : 2.0f;
                float rx[5] = {1, 1, 2, 2, 3}, ry[3] = {1, 2, 3}, rz[4] = {4, 3, 2, 1};
                if (vtype == zvfRectXYZ) {
                    h.rx = rx;
                    h.ry = ry;
                }
                if (vtype >= zvfRectZ)
                    h.rz = rz;
                const size_t bytes = size_t(5) * 3 * 4 * bands * zvfVoxelSize(dtype);
                auto data = pattern(bytes, dtype * 100 + vtype * 10 + bands);
                std::string path = dir.file("rt.zvf");
                ASSERT_EQ(zvfWriteGrid(path.c_str(), data.data(), &h), 1);
                ReadResult r = readGrid(path, bytes);
                ASSERT_TRUE(r.ok) << dtype << " " << vtype << " " << bands << r.err;
                EXPECT_EQ(r.err, "");
                EXPECT_EQ(r.data, data) << dtype << " " << vtype << " " << bands;
                EXPECT_EQ(r.header.dtype, dtype);
                EXPECT_EQ(r.header.vtype, vtype);
                EXPECT_EQ(r.header.nbands, bands);
                if (vtype == zvfRectXYZ) {
                    EXPECT_EQ(r.header.rx[4], 3.0f);
                }
                if (vtype >= zvfRectZ) {
                    EXPECT_EQ(r.header.rz[3], 1.0f);
                }
                zvfFreeHeader(&r.header);
            }
}

TEST(ZvfGrid, BigEndianInt16ReadsEqualToItsLittleEndianTwin)
{
    TempDir dir;
    const int nx = 7, ny = 5, nz = 3;
    std::vector<int16_t> values(nx * ny * nz);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int16_t>(i * 611 - 20000);
    zvfHeader le = zvfCubicHeader(nx, ny, nz, zvfInt16, 1);
    ASSERT_EQ(zvfWriteGrid(dir.file("le.zvf").c_str(), values.data(), &le), 1);
    std::vector<int16_t> swapped = values;
    for (int16_t& v : swapped)
        ASSERT_EQ(SwapOrder(&v, 2), 1);
    zvfHeader be = le;
    be.endian = zvfBigEndian;
    ASSERT_EQ(zvfWriteGrid(dir.file("be.zvf").c_str(), swapped.data(), &be), 1);
    // the files differ in their bytes
    EXPECT_NE(testsupport::readFile(dir.file("le.zvf")), testsupport::readFile(dir.file("be.zvf")));
    ReadResult a = readGrid(dir.file("le.zvf"), values.size() * 2);
    ReadResult b = readGrid(dir.file("be.zvf"), values.size() * 2);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(b.header.endian, zvfBigEndian);
    EXPECT_EQ(a.data, b.data);
    EXPECT_EQ(std::memcmp(a.data.data(), values.data(), values.size() * 2), 0);
}

TEST(ZvfGrid, UCharReadsIdenticallyUnderEitherEndian)
{
    TempDir dir;
    auto data = pattern(4 * 4 * 2, 3);
    zvfHeader h = zvfCubicHeader(4, 4, 2, zvfUChar, 1);
    h.endian = zvfBigEndian;
    ASSERT_EQ(zvfWriteGrid(dir.file("u.zvf").c_str(), data.data(), &h), 1);
    ReadResult r = readGrid(dir.file("u.zvf"), data.size());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data, data);
}

TEST(ZvfGrid, BigEndianDoubleHasItsEightBytesReversed)
{
    TempDir dir;
    // a file made by hand: one slice of one double 1.0 stored big-endian
    zvfHeader h = zvfCubicHeader(1, 1, 1, zvfDouble, 1);
    h.endian = zvfBigEndian;
    const unsigned char stored[8] = {0x3f, 0xf0, 0, 0, 0, 0, 0, 0};
    std::string file = headerOf(h) + record(zlibOf(stored, 8));
    testsupport::writeFile(dir.file("d.zvf"), file);
    ReadResult r = readGrid(dir.file("d.zvf"), 8);
    ASSERT_TRUE(r.ok) << r.err;
    double v;
    std::memcpy(&v, r.data.data(), 8);
    EXPECT_EQ(v, 1.0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(r.data[i], stored[7 - i]);
    double item = 1.0;
    ASSERT_EQ(SwapOrder(&item, 8), 1);
    EXPECT_EQ(std::memcmp(&item, stored, 8), 0);
}

TEST(ZvfGrid, SwapOrderSizes)
{
    unsigned char b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(SwapOrder(b, 1), 1);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(SwapOrder(b, 4), 1);
    EXPECT_EQ(b[0], 4);
    EXPECT_EQ(b[3], 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SwapOrder(b, 3), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SwapOrder:: Incorrect item size.\n");
}

TEST(ZvfGrid, RecordFormatAndOrderOfBandsAndSlices)
{
    TempDir dir;
    const int nx = 3, ny = 2, nz = 2, bands = 3;
    std::vector<uint16_t> data(nx * ny * nz * bands);
    for (int b = 0; b < bands; ++b)
        for (int z = 0; z < nz; ++z)
            for (int i = 0; i < nx * ny; ++i)
                data[(b * nz + z) * nx * ny + i] = static_cast<uint16_t>(1000 * b + 100 * z + i);
    zvfHeader h = zvfCubicHeader(nx, ny, nz, zvfUInt16, bands);
    std::string path = dir.file("order.zvf");
    ASSERT_EQ(zvfWriteGrid(path.c_str(), data.data(), &h), 1);

    // six records in the order band 0 slice 0, band 0 slice 1, band 1 slice 0, ...
    zvfHeader r = cleared();
    FILE* f = zvfReadHeader(path.c_str(), &r);
    ASSERT_NE(f, nullptr);
    for (int rec = 0; rec < 6; ++rec) {
        std::vector<uint16_t> slice(nx * ny, 0xffff);
        ASSERT_EQ(zvfReadSlice(f, slice.data(), &r), 1);
        for (int i = 0; i < nx * ny; ++i)
            EXPECT_EQ(slice[i], 1000 * (rec / 2) + 100 * (rec % 2) + i);
    }
    EXPECT_EQ(std::fgetc(f), EOF); // no end marker, nothing after the records
    std::fclose(f);

    // each record: a big-endian length, then a zlib stream with the
    // compression buffer bound (slice size x 1.01 + 12)
    std::string bytes = testsupport::readFile(path);
    size_t pos = bytes.find("#!last\n255\n") + 11 + nx * ny * 3;
    for (int rec = 0; rec < 6; ++rec) {
        ASSERT_LE(pos + 4, bytes.size());
        uint32_t L = (uint32_t(uint8_t(bytes[pos])) << 24) | (uint32_t(uint8_t(bytes[pos + 1])) << 16) |
                     (uint32_t(uint8_t(bytes[pos + 2])) << 8) | uint32_t(uint8_t(bytes[pos + 3]));
        EXPECT_LE(L, static_cast<uint32_t>(nx * ny * 2 * 1.01 + 12));
        std::vector<uint16_t> out(nx * ny);
        uLongf outLen = nx * ny * 2;
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &outLen,
                             reinterpret_cast<const Bytef*>(bytes.data() + pos + 4), L),
                  Z_OK);
        EXPECT_EQ(outLen, uLongf(nx * ny * 2));
        EXPECT_EQ(out[0], 1000 * (rec / 2) + 100 * (rec % 2));
        pos += 4 + L;
    }
    EXPECT_EQ(pos, bytes.size());
}

TEST(ZvfGrid, IconOfAnInt16SliceStartsItsRangeAtZero)
{
    zvfHeader h = zvfCubicHeader(3, 1, 2, zvfInt16, 1);
    int16_t a[6] = {-100, 0, 100, 5000, 5000, 5000}; // the second slice is not looked at
    int w = 0, hgt = 0;
    unsigned char* icon = zvfCreateIconImage(a, &h, &w, &hgt);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(hgt, 1);
    EXPECT_EQ(icon[0], 0);
    EXPECT_EQ(icon[1], 127);
    EXPECT_EQ(icon[2], 255);
    std::free(icon);
    int16_t b[6] = {10, 20, 15, 0, 0, 0};
    icon = zvfCreateIconImage(b, &h, &w, &hgt);
    EXPECT_EQ(icon[0], 127);
    EXPECT_EQ(icon[1], 255);
    EXPECT_EQ(icon[2], 191);
    std::free(icon);
    int16_t zero[6] = {0, 0, 0, 0, 0, 0};
    icon = zvfCreateIconImage(zero, &h, &w, &hgt);
    EXPECT_EQ(icon[0] | icon[1] | icon[2], 0);
    std::free(icon);
    h.dtype = 12;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfCreateIconImage(zero, &h, &w, &hgt), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfCreateIconImage: unknown voxel type\n");
}

TEST(ZvfGrid, IconOfSeveralBandsIsColour)
{
    zvfHeader h = zvfCubicHeader(2, 1, 1, zvfFloat, 2);
    float v[4] = {1.0f, 0.5f, -2.0f, 0.0f};
    int w = 0, hgt = 0;
    unsigned char* icon = zvfCreateIconImage(v, &h, &w, &hgt);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon[0], 255); // red: band 0
    EXPECT_EQ(icon[3], 127);
    EXPECT_EQ(icon[1], 0);   // green: band 1, -2 .. 0
    EXPECT_EQ(icon[4], 255);
    EXPECT_EQ(icon[2], 0);   // blue: no third band
    EXPECT_EQ(icon[5], 0);
    std::free(icon);
}

TEST(ZvfGrid, CubGridFunctions)
{
    TempDir dir;
    auto data = pattern(4 * 3 * 2 * 2, 9);
    char c1[] = "alpha", c2[] = "beta";
    char* comments[] = {c1, c2};
    std::string path = dir.file("cub.zvf");
    ASSERT_EQ(zvfWriteCubGrid(path.c_str(), data.data(), 4, 3, 2, 2, zvfUChar, comments, 2), 1);
    zvfHeader h = cleared();
    FILE* f = zvfReadHeader(path.c_str(), &h);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(h.vtype, zvfCubic);
    EXPECT_EQ(h.px, 1.0f);
    EXPECT_EQ(h.py, 1.0f);
    EXPECT_EQ(h.pz, 1.0f);
    EXPECT_EQ(h.units, zvfUmm);
    EXPECT_EQ(h.endian, zvfMachineEndian());
    zvfFreeHeader(&h);

    void* out = nullptr;
    int nx = 0, ny = 0, nz = 0, nb = 0, dt = 0, nc = -1;
    char** cs = nullptr;
    ASSERT_EQ(zvfReadCubGrid(path.c_str(), &out, &nx, &ny, &nz, &nb, &dt, &cs, &nc), 1);
    EXPECT_EQ(nx, 4);
    EXPECT_EQ(ny, 3);
    EXPECT_EQ(nz, 2);
    EXPECT_EQ(nb, 2);
    EXPECT_EQ(dt, zvfUChar);
    ASSERT_EQ(nc, 2);
    EXPECT_STREQ(cs[1], "beta");
    EXPECT_EQ(std::memcmp(out, data.data(), data.size()), 0);
    zvfFreeComments(cs, nc);
    std::free(out);

    // no comments: the comment outputs stay as they were
    ASSERT_EQ(zvfWriteCubGrid(path.c_str(), data.data(), 4, 3, 2, 2, zvfUChar, nullptr, 0), 1);
    cs = reinterpret_cast<char**>(0x1234);
    nc = 77;
    ASSERT_EQ(zvfReadCubGrid(path.c_str(), &out, &nx, &ny, &nz, &nb, &dt, &cs, &nc), 1);
    EXPECT_EQ(cs, reinterpret_cast<char**>(0x1234));
    EXPECT_EQ(nc, 77);
    std::free(out);
}

TEST(ZvfGrid, WritersReportAFileThatCannotBeCreated)
{
    TempDir dir;
    unsigned char v = 1;
    std::string path = dir.file("no/such/dir.zvf");
    zvfHeader h = zvfCubicHeader(1, 1, 1, zvfUChar, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfWriteGrid(path.c_str(), &v, &h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfWriteGrid: : " + path + " -- File open error\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfWriteCubGrid(path.c_str(), &v, 1, 1, 1, 1, zvfUChar, nullptr, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfWriteCubGrid: : " + path + " -- File open error\n");
}

TEST(ZvfGrid, SliceDataFunctions)
{
    auto data = pattern(1000, 5);
    std::string bytes = writeToString([&](FILE* f) {
        EXPECT_EQ(WriteSliceData(f, data.data(), 1000), 1);
        EXPECT_EQ(WriteLong(f, 0x01020304u), 1);
    });
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x01\x02\x03\x04", 4));
    FILE* f = fmemopen(&bytes[0], bytes.size(), "rb");
    std::vector<unsigned char> out(1000);
    ASSERT_EQ(ReadSliceData(f, out.data(), 1000), 1);
    EXPECT_EQ(out, data);
    unsigned long v = 0;
    ASSERT_EQ(ReadLong(f, &v), 1);
    EXPECT_EQ(v, 0x01020304u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadLong(f, &v), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ReadLong error (1)\n");
    std::fclose(f);
}

// ---- damaged files -----------------------------------------------------------

class ZvfDamaged : public testing::Test
{
protected:
    void SetUp() override
    {
        h = zvfCubicHeader(8, 4, 3, zvfUInt16, 1);
        for (int z = 0; z < 3; ++z) {
            std::vector<uint16_t> slice(32);
            for (int i = 0; i < 32; ++i)
                slice[i] = static_cast<uint16_t>(z * 1000 + i * 7);
            slices.push_back(slice);
        }
        head = headerOf(h);
    }
    std::string rec(int z) { return record(zlibOf(slices[z].data(), 64)); }
    ReadResult read(const std::string& bytes)
    {
        testsupport::writeFile(dir.file("bad.zvf"), bytes);
        ReadResult r = readGrid(dir.file("bad.zvf"), 3 * 64);
        zvfFreeHeader(&r.header);
        return r;
    }
    TempDir dir;
    zvfHeader h;
    std::vector<std::vector<uint16_t>> slices;
    std::string head;
};

TEST_F(ZvfDamaged, IntactFileReads)
{
    ReadResult r = read(head + rec(0) + rec(1) + rec(2));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "");
}

TEST_F(ZvfDamaged, CutInsideARecordLength)
{
    std::string whole = head + rec(0) + rec(1);
    for (int cut = 0; cut < 4; ++cut) {
        std::string third = rec(2).substr(0, static_cast<size_t>(cut));
        ReadResult r = read(whole + third);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, "ReadLong error (" + std::to_string(cut + 1) + ")\n");
    }
}

TEST_F(ZvfDamaged, CutInsideRecordData)
{
    std::string third = rec(2);
    ReadResult r = read(head + rec(0) + rec(1) + third.substr(0, third.size() - 3));
    EXPECT_FALSE(r.ok);
    int L = static_cast<int>(third.size() - 4);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
              "ReadSliceData: read error (trying to read " + std::to_string(L) + " bytes of data)\n");
    EXPECT_NE(r.err.find("ReadSliceData: Uncompression Error ("), std::string::npos);
}

TEST_F(ZvfDamaged, RecordThatInflatesShortIsReportedAndReadingGoesOn)
{
    std::string shortRec = record(zlibOf(slices[1].data(), 40));
    ReadResult r = read(head + rec(0) + shortRec + rec(2));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "ReadSliceData: Incorrect data length (40, 64)\n");
    // the short slice's missing bytes are zero, the next slice is intact
    EXPECT_EQ(r.data[64 + 40], 0);
    EXPECT_EQ(std::memcmp(r.data.data() + 128, slices[2].data(), 64), 0);
}

TEST_F(ZvfDamaged, RecordThatInflatesLongFailsWithBufferError)
{
    std::vector<uint16_t> longer(40, 3);
    ReadResult r = read(head + rec(0) + record(zlibOf(longer.data(), 80)) + rec(2));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "ReadSliceData: Uncompression Error (-5)\n");
}

TEST_F(ZvfDamaged, CorruptRecordDataFails)
{
    std::string bad = rec(1);
    for (size_t i = 6; i < bad.size(); ++i)
        bad[i] = static_cast<char>(bad[i] ^ 0x5a);
    ReadResult r = read(head + rec(0) + bad + rec(2));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.rfind("ReadSliceData: Uncompression Error (", 0), 0u) << r.err;
}

TEST_F(ZvfDamaged, RecordLengthBeyondTheFileIsNotAllocated)
{
    std::string huge = "\xff\xff\xff\xf0" + std::string(20, 'z');
    ReadResult r = read(head + rec(0) + huge);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.err.find("ReadSliceData: read error (trying to read -16 bytes of data)\n"), std::string::npos);
    EXPECT_NE(r.err.find("Uncompression Error"), std::string::npos);
}

TEST_F(ZvfDamaged, HeaderErrorIsReportedWithPath)
{
    ReadResult r = read("P5\n8 4\n#!zvf 5.3\n#!last\n255\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "zvfReadHeader error: zvf format error - endian missing (" + dir.file("bad.zvf") + ")\n");
}

TEST_F(ZvfDamaged, HugeDeclaredDimensionsAreRefused)
{
    for (const char* vdim : {"100000 100000 100000", "2000000000 2000000000 2000000000", "65536 65536 65536"}) {
        std::string file = head;
        size_t p = file.find("8 4 3");
        file.replace(p, 5, vdim);
        file += rec(0) + rec(1) + rec(2);
        ReadResult r = read(file);
        EXPECT_FALSE(r.ok) << vdim;
        EXPECT_FALSE(r.err.empty());
    }
    std::string file = head;
    file.replace(file.find("8 4 3"), 5, "100000 100000 100000");
    testing::internal::CaptureStderr();
    testsupport::writeFile(dir.file("huge.zvf"), file);
    void* data = nullptr;
    zvfHeader hh = cleared();
    EXPECT_EQ(zvfReadGrid(dir.file("huge.zvf").c_str(), &data, &hh), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zvfReadGrid: file too short for the volume dimensions (" + dir.file("huge.zvf") + ")\n");
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(zvfLastError, 16);
}

TEST_F(ZvfDamaged, NoRecordsAtAll)
{
    ReadResult r = read(head);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "ReadLong error (1)\n");
}

TEST_F(ZvfDamaged, PipedFileWithALengthBeyondItsEnd)
{
    // a stream whose length is unknown: the buffer grows only as data arrives
    std::string bytes = head + rec(0) + "\x7f\xff\xff\xff" + std::string(100, 'q');
    testsupport::writeFile(dir.file("pipe.zvf"), bytes);
    FILE* p = popen(("cat '" + dir.file("pipe.zvf") + "'").c_str(), "r");
    ASSERT_NE(p, nullptr);
    zvfHeader hh = cleared();
    ASSERT_EQ(zvfReadHeaderStream(p, &hh, nullptr, nullptr, nullptr, nullptr), 1);
    std::vector<uint16_t> slice(32);
    ASSERT_EQ(zvfReadSlice(p, slice.data(), &hh), 1);
    EXPECT_EQ(slice, slices[0]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfReadSlice(p, slice.data(), &hh), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("read error (trying to read 2147483647 bytes"), std::string::npos) << err;
    pclose(p);
}

TEST(ZvfGrid, FullDiskIsAFailure)
{
    if (!testsupport::fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // a small icon that fits the stream buffer, then records that overflow it
    std::vector<unsigned char> big = pattern(16 * 16 * 1024, 4);
    zvfHeader h = zvfCubicHeader(16, 16, 1024, zvfUChar, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfWriteGrid("/dev/full", big.data(), &h), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WriteSliceData: Write Error\n"), std::string::npos) << err;
    unsigned char one = 1;
    h = zvfCubicHeader(1, 1, 1, zvfUChar, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfWriteGrid("/dev/full", &one, &h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfWriteGrid: : /dev/full -- File write error\n");
}

TEST(ZvfGrid, RandomDamageFailsCleanly)
{
    // flipped bytes, cuts and inserted digits anywhere in a small file: the
    // reader answers with success or failure, never more (run under ASan)
    TempDir dir;
    zvfHeader h = zvfCubicHeader(6, 5, 4, zvfInt16, 2);
    h.vtype = zvfRectZ;
    float rz[4] = {1, 2, 3, 4};
    h.rz = rz;
    ASSERT_TRUE(zvfAddHdrTF(&h, "0 1", "2", "3", "4", "5"));
    auto data = pattern(6 * 5 * 4 * 2 * 2, 11);
    std::string path = dir.file("src.zvf");
    ASSERT_EQ(zvfWriteGrid(path.c_str(), data.data(), &h), 1);
    zvfFreeHdrTF(&h);
    const std::string good = testsupport::readFile(path);
    uint32_t s = 12345;
    auto next = [&s]() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    };
    const char digits[] = "0123456789-9e9 \n\t#";
    for (int round = 0; round < 1000; ++round) {
        std::string bad = good;
        int kind = round % 3;
        if (round % 5 == 4) {
            // a header line repeated, dropped or given another number
            size_t end = good.find("#!last");
            std::vector<size_t> starts;
            for (size_t i = 0; i < end; i = good.find('\n', i) + 1)
                starts.push_back(i);
            size_t line = starts[next() % starts.size()];
            size_t stop = good.find('\n', line) + 1;
            std::string text = good.substr(line, stop - line);
            const char* numbers[] = {"0", "-1", "2147483647", "-2147483648", "99999999999", "1e30", "nan", "3"};
            switch (next() % 3) {
            case 0: bad.insert(line, text); break;
            case 1: bad.erase(line, stop - line); break;
            default: {
                size_t d = text.find_first_of("0123456789");
                if (d != std::string::npos)
                    bad.replace(line + d, 1, numbers[next() % 8]);
            }
            }
        } else if (kind == 0) {
            for (int k = 0; k < 3; ++k)
                bad[next() % bad.size()] = static_cast<char>(next());
        } else if (kind == 1) {
            bad.resize(next() % bad.size());
        } else {
            size_t at = next() % bad.size();
            bad.insert(at, 1 + next() % 6, digits[next() % (sizeof digits - 1)]);
        }
        std::string p = dir.file("bad.zvf");
        testsupport::writeFile(p, bad);
        void* out = nullptr;
        zvfHeader r = cleared();
        testing::internal::CaptureStderr();
        int ok = zvfReadGrid(p.c_str(), &out, &r);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok != 0, out != nullptr);
        std::free(out);
        zvfFreeHeader(&r);
        zvfFreeHdrTF(&r);
    }
}
