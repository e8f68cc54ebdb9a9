// The public data sets load through description files; value range and
// histogram are checked against a computation made here from the raw bytes.
#include "error_handling.h"
#include "histogram.h"
#include "load.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <unistd.h>

using testsupport::TempDir;
using testsupport::dataDir;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

enum class Kind { U8, U16, S16 };

struct Expected
{
    std::vector<double> values; // raw values as the file means them
    Kind kind;
};

// The raw values of a file, 16-bit ones in the given byte order.
Expected rawValues(const std::string& bytes, Kind kind, bool bigEndian)
{
    Expected e;
    e.kind = kind;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (kind == Kind::U8) {
        for (size_t i = 0; i < bytes.size(); ++i)
            e.values.push_back(p[i]);
        return e;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned hi = bigEndian ? p[i] : p[i + 1];
        const unsigned lo = bigEndian ? p[i + 1] : p[i];
        const unsigned u = (hi << 8) | lo;
        e.values.push_back(kind == Kind::S16 ? static_cast<double>(static_cast<int16_t>(u)) : u);
    }
    return e;
}

std::string swapPairs(std::string s)
{
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        std::swap(s[i], s[i + 1]);
    return s;
}

std::string fixed(double v)
{
    char t[64];
    std::snprintf(t, sizeof t, "%f", v);
    return t;
}

// Loads path and compares the information text's range lines and the
// histogram with the values.
void checkLoad(const std::string& path, const Expected& e)
{
    Volume v;
    std::string info;
    const uint32_t baseline = g_garbageCollector.count();
    ASSERT_TRUE(loadData(path, v, info)) << path;
    const double lo = *std::min_element(e.values.begin(), e.values.end());
    const double hi = *std::max_element(e.values.begin(), e.values.end());
    const int bins = e.kind == Kind::U8 ? 256 : 4096;
    std::vector<double> counts(bins, 0.0);
    for (double x : e.values) {
        int bin = 0;
        if (e.kind == Kind::U8) {
            bin = static_cast<int>(x);
        } else if (e.kind == Kind::U16 && hi > 4095) {
            bin = static_cast<int>(x) / 16;
        } else {
            // Stretched to 0 ... 65535: 12-bit data keep their unit step, signed
            // data span their range.
            const double divisor = e.kind == Kind::U16 ? 4095.0 : hi - lo;
            const float q = static_cast<float>((x - lo) / divisor);
            bin = static_cast<int>(std::trunc(65535.0 * q)) / 16;
        }
        counts[bin] += 1.0;
    }
    if (e.kind != Kind::U8) {
        EXPECT_NE(info.find("Swap Data:\tYES\nMaximal value:\t" + fixed(hi) + "\nMinimal value:\t" +
                            fixed(lo) + "\n"),
                  std::string::npos)
            << info;
    } else {
        EXPECT_NE(info.find("Swap Data:\tNO\nMaximal value:\t" + fixed(hi) + "\nMinimal value:\t" + fixed(lo) +
                            "\n"),
                  std::string::npos)
            << info;
    }
    const double top = *std::max_element(counts.begin() + 1, counts.end());
    ASSERT_EQ(histogram.getBins(), bins);
    for (int b = 0; b < bins; ++b)
        ASSERT_NEAR(histogram.getHist()[b], counts[b] / top * 255.0, 1e-5 * (1.0 + counts[b] / top * 255.0))
            << path << " bin " << b;
    histogram.release();
    EXPECT_EQ(g_garbageCollector.count(), baseline);
}

} // namespace

TEST(LoadDatasets, NucleonThroughItsOwnDescription)
{
    SKIP_WITHOUT_DATA();
    const std::string raw = readFile(dataDir() + "/nucleon.raw");
    checkLoad(dataDir() + "/nucleon.dat", rawValues(raw, Kind::U8, false));
}

TEST(LoadDatasets, HydrogenAtomThroughItsOwnDescription)
{
    SKIP_WITHOUT_DATA();
    Volume v;
    std::string info;
    ASSERT_TRUE(loadData(dataDir() + "/hydrogenatom.dat", v, info));
    EXPECT_EQ(info.substr(0, info.find("Ratio")),
              "ObjectFileName:\thydrogenatom.raw\nResolution:\t128 128 128\n"
              "SliceThickness:\t1.000000 1.000000 1.000000\nFormat:\t\tUCHAR\nNbrChannels:\t\t1\n");
    histogram.release();
    const std::string raw = readFile(dataDir() + "/hydrogenatom.raw");
    checkLoad(dataDir() + "/hydrogenatom.dat", rawValues(raw, Kind::U8, false));
}

TEST(LoadDatasets, WalnutAfterSwappingACopy)
{
    SKIP_WITHOUT_DATA();
    TempDir dir;
    const std::string raw = readFile(dataDir() + "/walnut.raw"); // little-endian
    writeFile(dir.file("walnut.raw"), swapPairs(raw));
    writeFile(dir.file("walnut.dat"), readFile(dataDir() + "/walnut.dat"));
    checkLoad(dir.file("walnut.dat"), rawValues(raw, Kind::U16, false));
}

TEST(LoadDatasets, OthersThroughDescriptionsWrittenHere)
{
    SKIP_WITHOUT_DATA();
    TempDir dir;
    struct Set
    {
        const char* file;
        const char* resolution;
        const char* thickness;
        const char* format;
        Kind kind;
        bool littleEndian; // needs a swapped copy
    } sets[] = {
        {"bucky_32x32x32_uint8.raw", "32 32 32", "1 1 1", "UCHAR", Kind::U8, false},
        {"headsq_64x64x93_int16.raw", "64 64 93", "3.2 3.2 1.5", "USHORT", Kind::U16, true},
        {"example4d_vol0_128x96x24_int16.raw", "128 96 24", "2.0 2.0 2.2", "SHORT", Kind::S16, true},
        {"anatomical_33x41x25_int16_be.raw", "33 41 25", "2 2 2", "SHORT", Kind::S16, false},
    };
    for (const Set& s : sets) {
        SCOPED_TRACE(s.file);
        const std::string raw = readFile(dataDir() + "/" + s.file);
        // The description names the raw file next to it: a swapped copy, or a
        // link to the original.
        if (s.littleEndian)
            writeFile(dir.file(s.file), swapPairs(raw));
        else
            ASSERT_EQ(::symlink((dataDir() + "/" + s.file).c_str(), dir.file(s.file).c_str()), 0);
        const std::string dat = dir.file(std::string(s.file) + ".dat");
        writeFile(dat, std::string("ObjectFileName: ") + s.file + "\nResolution: " + s.resolution +
                           "\nSliceThickness: " + s.thickness + "\nFormat: " + s.format + "\n");
        checkLoad(dat, rawValues(raw, s.kind, !s.littleEndian));
    }
}
