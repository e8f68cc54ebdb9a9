#include "dicom_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const uint32_t kUndefined = 0xFFFFFFFFu;
// Deeper nesting or more elements than any real file has is taken as damage
// (and bounds the walk).
const size_t kMaxDepth = 64;
const uint64_t kMaxElements = 4000000;

// One container being walked: where it ends and how its elements are coded.
struct Level
{
    uint64_t end;    // byte after the container; UINT64_MAX until its delimiter
    bool implicitVR; // elements without VR (implicit, or inside UN)
    bool fragments;  // items are compressed pixel fragments, skipped whole
};

class Reader
{
public:
    Reader(FILE* f, uint64_t size) : myFile(f), mySize(size) {}
    uint64_t position() const { return myPos; }
    uint64_t left() const { return mySize - myPos; }
    bool read(void* to, size_t n)
    {
        if (left() < n || std::fread(to, 1, n, myFile) != n)
            return false;
        myPos += n;
        return true;
    }
    bool skip(uint64_t n) { return left() >= n && seek(myPos + n); }
    bool seek(uint64_t to)
    {
        if (to > mySize)
            return false;
        myPos = to;
        return std::fseek(myFile, static_cast<long>(myPos), SEEK_SET) == 0;
    }
    uint16_t u16(const unsigned char* b, bool big) const
    {
        return big ? static_cast<uint16_t>(b[0] << 8 | b[1]) : static_cast<uint16_t>(b[1] << 8 | b[0]);
    }
    uint32_t u32(const unsigned char* b, bool big) const
    {
        return big ? (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                   : (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0]);
    }

private:
    FILE* myFile;      // the open file
    uint64_t mySize;   // its length
    uint64_t myPos = 0; // next byte to read
};

// VRs whose length field has four bytes after two reserved ones.
bool longVR(const char vr[2])
{
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* l : kLong)
        if (vr[0] == l[0] && vr[1] == l[1])
            return true;
    return false;
}

// The value representations of the standard; anything else is damage (GDCM
// asserts on some of what it cannot place).
bool isVR(const char vr[2])
{
    static const char* const kAll[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO",
                                       "LT", "OB", "OD", "OF", "OL", "OV", "OW", "PN", "SH", "SL", "SQ",
                                       "SS", "ST", "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "UV"};
    for (const char* v : kAll)
        if (vr[0] == v[0] && vr[1] == v[1])
            return true;
    return false;
}

// One value of the pixel format (0028,0002), (0028,0100), (0028,0101) or
// (0028,0103) as GDCM can take it; false with *why.
bool pixelFormatValue(uint16_t element, int value, std::string* why)
{
    switch (element) {
    case 0x0002:
        if (value == 1 || value == 3 || value == 4)
            return true;
        *why = std::to_string(value) + " samples per pixel";
        return false;
    case 0x0100:
        if (value == 8 || value == 12 || value == 16 || value == 32 || value == 64)
            return true;
        *why = std::to_string(value) + " bits allocated per value";
        return false;
    case 0x0101:
        if (value >= 1 && value <= 32)
            return true;
        *why = std::to_string(value) + " bits stored per value";
        return false;
    default:
        if (value == 0 || value == 1)
            return true;
        *why = "pixel representation " + std::to_string(value);
        return false;
    }
}

// Image storage classes GDCM reads as images: CR, DX, MG, CT, US, MR,
// secondary capture, XA, RF, NM, PET and RT images (the endings after
// 1.2.840.10008.5.1.4.1.1.).
bool knownStorage(const std::string& uid)
{
    static const std::string kRoot = "1.2.840.10008.5.1.4.1.1.";
    static const char* const kKnown[] = {"1",     "1.1",   "1.1.1", "1.2",   "1.2.1", "2",     "2.1",  "2.2",
                                         "3.1",   "4",     "4.1",   "4.3",   "4.4",   "6.1",   "7",    "7.1",
                                         "7.2",   "7.3",   "7.4",   "12.1",  "12.2",  "20",    "128",  "128.1",
                                         "130",   "481.1"};
    if (uid.compare(0, kRoot.size(), kRoot) != 0)
        return false;
    for (const char* k : kKnown)
        if (uid.compare(kRoot.size(), std::string::npos, k) == 0)
            return true;
    return false;
}

// Transfer syntaxes GDCM decodes: implicit and explicit little-endian,
// explicit big-endian, deflated, JPEG (baseline, extended, lossless),
// JPEG-LS, JPEG 2000 and RLE.
bool knownSyntax(const std::string& uid)
{
    static const char* const kKnown[] = {
        "1.2.840.10008.1.2",      "1.2.840.10008.1.2.1",    "1.2.840.10008.1.2.2",    "1.2.840.10008.1.2.1.99",
        "1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70",
        "1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.81", "1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.91",
        "1.2.840.10008.1.2.5"};
    for (const char* k : kKnown)
        if (uid == k)
            return true;
    return false;
}

std::string tagText(uint16_t group, uint16_t element)
{
    char t[16];
    std::snprintf(t, sizeof t, "(%04X,%04X)", group, element);
    return t;
}

std::string trimmed(const std::vector<char>& v)
{
    std::string s(v.begin(), v.end());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

} // namespace

bool checkDicomFile(const std::string& path, bool needPreamble, DicomCheck* out, std::string* why)
{
    *out = DicomCheck();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = "cannot be opened";
        return false;
    }
    uint64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long end = std::ftell(f);
        size = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::fseek(f, 0, SEEK_SET);
    Reader in(f, size);
    unsigned char head[132];
    out->preamble = in.read(head, sizeof head) && std::memcmp(head + 128, "DICM", 4) == 0;
    if (!out->preamble) {
        if (needPreamble) {
            std::fclose(f);
            *why = "not a DICOM file";
            return false;
        }
        in.seek(0);
    }

    // The file meta group is explicit little-endian; what follows is coded
    // as its transfer syntax says (without one: guessed from the first VR).
    bool implicitVR = false, bigEndian = false, inMeta = out->preamble, known = out->preamble;
    std::string syntax, storage; // transfer syntax and media storage class
    std::vector<Level> levels;
    int bitsAllocated = -1, bitsStored = -1; // the first given, -1 while none
    bool ok = true;
    for (uint64_t count = 0; ok && in.left() >= 8; ++count) {
        while (!levels.empty() && levels.back().end <= in.position())
            levels.pop_back();
        if (count == kMaxElements) {
            *why = "more elements than a DICOM file holds";
            ok = false;
            break;
        }
        unsigned char b[12];
        if (!in.read(b, 4)) {
            *why = "cut short";
            ok = false;
            break;
        }
        uint16_t group = in.u16(b, false);
        if (inMeta && group != 0x0002) {
            // End of the meta group: switch to the data set's coding. GDCM
            // takes files of no image storage class, or of a coding it does
            // not know, down old ACR-NEMA paths full of assertions.
            inMeta = false;
            if (!knownStorage(storage)) {
                *why = "storage class \"" + storage + "\", which is not read as an image";
                ok = false;
                break;
            }
            if (!knownSyntax(syntax)) {
                *why = "transfer syntax \"" + syntax + "\", which is not read";
                ok = false;
                break;
            }
            if (syntax == "1.2.840.10008.1.2")
                implicitVR = true;
            else if (syntax == "1.2.840.10008.1.2.2")
                bigEndian = true;
            else if (syntax == "1.2.840.10008.1.2.1.99") {
                *why = "a deflated data set, which is not read";
                ok = false;
                break;
            }
        }
        if (!known) {
            // No meta group: explicit if two capital letters follow the tag.
            unsigned char vr[2];
            if (!in.read(vr, 2))
                break;
            implicitVR = !isVR(reinterpret_cast<const char*>(vr));
            in.seek(in.position() - 2);
            known = true;
        }
        const bool big = bigEndian && !inMeta;
        group = in.u16(b, big);
        const uint16_t element = in.u16(b + 2, big);
        const bool itemTag = group == 0xFFFE;
        const bool implicitHere = !inMeta && (implicitVR || (!levels.empty() && levels.back().implicitVR));
        char vr[2] = {0, 0};
        uint32_t length = 0;
        if (itemTag || implicitHere) {
            if (!in.read(b + 4, 4)) {
                *why = "cut short";
                ok = false;
                break;
            }
            length = in.u32(b + 4, big);
        } else {
            if (!in.read(vr, 2) || !isVR(vr)) {
                *why = "a damaged element after " + std::to_string(static_cast<unsigned long long>(in.position())) +
                       " bytes";
                ok = false;
                break;
            }
            if (longVR(vr)) {
                if (!in.read(b + 4, 6)) {
                    *why = "cut short";
                    ok = false;
                    break;
                }
                length = in.u32(b + 6, big);
            } else {
                if (!in.read(b + 4, 2)) {
                    *why = "cut short";
                    ok = false;
                    break;
                }
                length = in.u16(b + 4, big);
            }
        }
        if (inMeta && (itemTag || length == kUndefined || (vr[0] == 'S' && vr[1] == 'Q'))) {
            // GDCM stops the process on these in the file meta information.
            *why = "a damaged file meta information";
            ok = false;
            break;
        }
        if (itemTag) {
            if (element == 0xE0DD) { // end of an undefined-length sequence
                if (!levels.empty() && levels.back().end == UINT64_MAX)
                    levels.pop_back();
                continue;
            }
            if (element != 0xE000 || length == kUndefined)
                continue; // item delimiter, or an item that ends with one
            if (length > in.left()) {
                *why = "an item declares " + std::to_string(length) + " bytes, " +
                       std::to_string(static_cast<unsigned long long>(in.left())) + " are left";
                ok = false;
                break;
            }
            const bool fragments = !levels.empty() && levels.back().fragments;
            if (fragments)
                ok = in.skip(length);
            else if (levels.size() < kMaxDepth)
                levels.push_back(Level{in.position() + length, implicitHere, false});
            continue;
        }
        const bool topLevel = levels.empty();
        if (group == 0x7FE0 && element == 0x0010 && topLevel)
            out->pixelData = true;
        if (length == kUndefined) {
            // A sequence (or UN, or encapsulated pixel data) closed by a delimiter.
            if (levels.size() == kMaxDepth) {
                *why = "sequences nested too deep";
                ok = false;
                break;
            }
            const bool un = vr[0] == 'U' && vr[1] == 'N';
            levels.push_back(Level{UINT64_MAX, implicitHere || un, group == 0x7FE0 && element == 0x0010});
            continue;
        }
        if (length > in.left()) {
            *why = "element " + tagText(group, element) + " declares " + std::to_string(length) + " bytes, " +
                   std::to_string(static_cast<unsigned long long>(in.left())) + " are left";
            ok = false;
            break;
        }
        if (topLevel && group == 0x0028 && length == 2 &&
            (element == 0x0002 || element == 0x0100 || element == 0x0101 || element == 0x0103)) {
            // The pixel format, which GDCM asserts on: every copy of an
            // element is checked (GDCM keeps the first), the pair at the end.
            unsigned char v[2];
            ok = in.read(v, 2);
            const int value = in.u16(v, big);
            int* kept = element == 0x0100 ? &bitsAllocated : element == 0x0101 ? &bitsStored : nullptr;
            if (kept && *kept == -1)
                *kept = value;
            if (ok && !pixelFormatValue(element, value, why))
                ok = false;
            continue;
        }
        if (inMeta && group == 0x0002 && (element == 0x0002 || element == 0x0010) && length <= 64) {
            std::vector<char> value(length);
            ok = in.read(value.data(), length);
            (element == 0x0010 ? syntax : storage) = trimmed(value);
            continue;
        }
        // Sequences are walked inside; so is an implicit value that starts
        // with an item, as GDCM would take it for one.
        bool nested = vr[0] == 'S' && vr[1] == 'Q';
        if (!nested && implicitHere && length >= 8) {
            unsigned char peek[4];
            if (in.read(peek, 4)) {
                nested = in.u16(peek, big) == 0xFFFE && in.u16(peek + 2, big) == 0xE000;
                in.seek(in.position() - 4);
            }
        }
        if (nested && levels.size() < kMaxDepth)
            levels.push_back(Level{in.position() + length, implicitHere, false});
        else
            ok = in.skip(length);
    }
    std::fclose(f);
    if (ok && bitsStored != -1 && bitsAllocated != -1 && bitsStored > bitsAllocated) {
        *why = std::to_string(bitsStored) + " bits stored per value of " + std::to_string(bitsAllocated);
        ok = false;
    }
    if (ok && (inMeta || in.left() > 0)) {
        // GDCM reads one more tag after the meta group, and one after each
        // element; a file that stops short of one makes it stop the process.
        *why = inMeta ? "nothing after the file meta information" : "cut inside an element";
        ok = false;
    }
    return ok;
}
