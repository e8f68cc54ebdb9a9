// Helpers of the zvf tests: headers to strings, crafted files, stderr capture.
#ifndef GLIMRA_TEST_ZVF_HELPERS_H
#define GLIMRA_TEST_ZVF_HELPERS_H

#include "test_support.h"
#include "zvf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace zvftest {

// Everything a callback writes to a FILE*, as a string.
template <typename Fn> std::string writeToString(Fn&& fn)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    fn(f);
    std::fclose(f);
    std::string s(buf, len);
    std::free(buf);
    return s;
}

// A zeroed header record.
inline zvfHeader cleared()
{
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    return h;
}

// The header lines of a valid 2 x 2 x 1 one-band zvfUChar cubic file, with
// the writer's tabs, between the format line and "#!last".
inline std::vector<std::string> validBody()
{
    return {"#!endian \tzvfLittleEndian", "#!vdim  \t2 2 1", "#!vtype \tzvfCubic", "#!px\t\t1.000000",
            "#!nbands \t1", "#!dtype \tzvfUChar", "#!units \tzvfUmm"};
}

// A whole file: magic, size line, format line, body lines, end marker and
// "255", then iconBytes bytes of icon and the tail.
inline std::string craft(const std::vector<std::string>& body, const std::string& magic = "P5",
                         const std::string& size = "2 2", int iconBytes = 4,
                         const std::string& tail = "")
{
    std::string s = magic + "\n" + size + "\n#!zvf   \t5.3\n";
    for (const std::string& l : body)
        s += l + "\n";
    s += "#!last\n255\n";
    s += std::string(static_cast<size_t>(iconBytes), '\x10');
    return s + tail;
}

// Reads the header of a file made of bytes; returns 0 on success, else
// zvfLastError. The header is released.
inline int readCode(const testsupport::TempDir& dir, const std::string& bytes,
                    zvfHeader* out = nullptr)
{
    std::string path = dir.file("crafted.zvf");
    testsupport::writeFile(path, bytes);
    zvfLastError = 0;
    zvfHeader h = cleared();
    FILE* f = zvfReadHeader(path.c_str(), &h);
    int code = f ? 0 : zvfLastError;
    if (f)
        std::fclose(f);
    if (out) {
        *out = h;
    } else {
        zvfFreeHeader(&h);
        zvfFreeHdrTF(&h);
    }
    return code;
}

// Records of a file: the big-endian length and the zlib bytes after an offset.
inline std::string record(const std::string& zlibBytes)
{
    uint32_t n = static_cast<uint32_t>(zlibBytes.size());
    std::string s;
    s += static_cast<char>((n >> 24) & 0xff);
    s += static_cast<char>((n >> 16) & 0xff);
    s += static_cast<char>((n >> 8) & 0xff);
    s += static_cast<char>(n & 0xff);
    return s + zlibBytes;
}

} // namespace zvftest

#endif
