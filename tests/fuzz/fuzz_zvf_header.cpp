// The zvf header reader on any bytes. An accepted header must pass the
// library's own validation, hand out an icon of the size it states, and read
// back the same after the writer has written it.
#include "fuzz_support.h"

#include <zvf.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Every spacing prints as a positive number with "%f", so the written header
// must read back. (Whether it does is what "%f" makes of it: the float
// nearest 0.0000005 lies below it and prints as 0.000000.)
bool spacingsSurviveWriting(const zvfHeader& h)
{
    auto printable = [](float v) {
        char text[64];
        std::snprintf(text, sizeof text, "%f", v);
        return v > 0.0f && std::strcmp(text, "0.000000") != 0; // false for NaN too
    };
    auto all = [&](const float* a, int n) {
        for (int i = 0; i < n; ++i)
            if (!a || !printable(a[i]))
                return false;
        return true;
    };
    switch (h.vtype) {
    case zvfCubic: return printable(h.px);
    case zvfRegular: return printable(h.px) && printable(h.py) && printable(h.pz);
    case zvfRectZ: return printable(h.px) && printable(h.py) && all(h.rz, h.vdim[2]);
    default: return all(h.rx, h.vdim[0]) && all(h.ry, h.vdim[1]) && all(h.rz, h.vdim[2]);
    }
}

// The comment as the writer keeps it: at most 1998 characters.
std::string writtenComment(const char* c)
{
    return std::string(c ? c : "").substr(0, 1998);
}

void checkRoundTrip(const zvfHeader& h)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    FUZZ_CHECK(out);
    const unsigned char icon[3] = {1, 2, 3};
    FUZZ_CHECK(writeZvfHeader(out, &h, icon, 1, 1) == 1);
    std::fclose(out);

    FILE* in = fmemopen(text, size, "rb");
    FUZZ_CHECK(in);
    zvfHeader back;
    std::memset(&back, 0, sizeof back);
    unsigned char* backIcon = nullptr;
    int w = 0, hh = 0, colour = 0;
    const int ok = zvfReadHeaderStream(in, &back, &backIcon, &w, &hh, &colour);
    std::fclose(in);
    if (spacingsSurviveWriting(h))
        FUZZ_CHECK(ok == 1);
    if (ok) {
        FUZZ_CHECK(w == 1 && hh == 1 && colour == (h.nbands == 1 ? 0 : 1));
        FUZZ_CHECK(back.endian == h.endian && back.vtype == h.vtype && back.units == h.units);
        FUZZ_CHECK(back.nbands == h.nbands && back.dtype == h.dtype);
        FUZZ_CHECK(std::memcmp(back.vdim, h.vdim, sizeof h.vdim) == 0);
        FUZZ_CHECK(back.ncomments == h.ncomments);
        for (int i = 0; i < h.ncomments; ++i)
            FUZZ_CHECK(writtenComment(h.comments[i]) == back.comments[i]);
        FUZZ_CHECK(back.tfnum == h.tfnum);
        for (int i = 0; h.tfdata && i < h.tfnum * 5; ++i)
            FUZZ_CHECK(std::strcmp(back.tfdata[i], h.tfdata[i]) == 0);
    }
    std::free(backIcon);
    zvfFreeHeader(&back);
    zvfFreeHdrTF(&back);
    std::free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzzsupport::writeScratch("header.zvf", data, size);
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    unsigned char* icon = nullptr;
    int width = -1, height = -1, colour = -1;
    zvfLastError = 0;
    FILE* f = zvfReadHeaderIcon(path.c_str(), &h, &icon, &width, &height, &colour);
    if (!f) {
        // A refusal names one of the library's errors and hands nothing out.
        FUZZ_CHECK(zvfLastError > 0 && zvfLastError < zvfErrCount);
        FUZZ_CHECK(icon == nullptr);
    } else {
        FUZZ_CHECK(zvfCheckHeader(&h) == 0);
        FUZZ_CHECK(icon && width >= 0 && height >= 0 && (colour == 0 || colour == 1));
        const size_t iconBytes = static_cast<size_t>(width) * height * (colour ? 3 : 1);
        // The icon is all there: the stream stands after it.
        FUZZ_CHECK(static_cast<size_t>(std::ftell(f)) <= size);
        if (iconBytes > 0)
            FUZZ_CHECK(icon[iconBytes - 1] == data[std::ftell(f) - 1]);
        std::fclose(f);
        checkRoundTrip(h);
    }
    std::free(icon);
    zvfFreeHeader(&h);
    zvfFreeHdrTF(&h);
    return 0;
}
