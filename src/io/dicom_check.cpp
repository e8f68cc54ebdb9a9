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

// Where the walk stands in the file: the coding of the elements, the
// containers it is inside and what it keeps of the meta group and the
// pixel format.
struct Walk
{
    Walk(Reader& r, bool preamble) : in(r), inMeta(preamble), known(preamble) {}
    Reader& in;
    bool implicitVR = false, bigEndian = false; // the data set's coding
    bool inMeta;                                // still in the file meta group
    bool known;                                 // coding known (or guessed)
    std::string syntax, storage;                // transfer syntax and media storage class
    std::vector<Level> levels;
    int bitsAllocated = -1, bitsStored = -1;    // the first given, -1 while none
};

// The head of one element as read.
struct ElementHead
{
    uint16_t group = 0;
    uint16_t element = 0;
    char vr[2] = {0, 0};       // zero where the element has none
    uint32_t length = 0;
    bool big = false;          // values are big-endian
    bool itemTag = false;      // an item or delimiter tag, (FFFE,xxxx)
    bool implicitHere = false; // coded without VR
};

// What one element step leaves the walk to do.
enum class Step
{
    next,    // go on with the next element
    failed,  // the file is refused
    stopped, // the walk ends here without refusing the file
};

bool isSQ(const char vr[2])
{
    return vr[0] == 'S' && vr[1] == 'Q';
}

// End of the meta group: switches to the data set's coding. GDCM takes files
// of no image storage class, or of a coding it does not know, down old
// ACR-NEMA paths full of assertions; false with *why for those.
bool leaveMetaGroup(Walk& w, std::string* why)
{
    w.inMeta = false;
    if (!knownStorage(w.storage)) {
        *why = "storage class \"" + w.storage + "\", which is not read as an image";
        return false;
    }
    if (!knownSyntax(w.syntax)) {
        *why = "transfer syntax \"" + w.syntax + "\", which is not read";
        return false;
    }
    if (w.syntax == "1.2.840.10008.1.2")
        w.implicitVR = true;
    else if (w.syntax == "1.2.840.10008.1.2.2")
        w.bigEndian = true;
    else if (w.syntax == "1.2.840.10008.1.2.1.99") {
        *why = "a deflated data set, which is not read";
        return false;
    }
    return true;
}

// No meta group: the coding is explicit if two capital letters follow the
// tag. False when they cannot be read.
bool guessCoding(Walk& w)
{
    unsigned char vr[2];
    if (!w.in.read(vr, 2))
        return false;
    w.implicitVR = !isVR(reinterpret_cast<const char*>(vr));
    w.in.seek(w.in.position() - 2);
    w.known = true;
    return true;
}

// Decodes the tag in b[0..3] and reads the VR and the length after it, into
// the rest of b. False with *why when the file is cut short or the VR is
// damaged.
bool readElementHead(Walk& w, unsigned char b[12], ElementHead* e, std::string* why)
{
    e->big = w.bigEndian && !w.inMeta;
    e->group = w.in.u16(b, e->big);
    e->element = w.in.u16(b + 2, e->big);
    e->itemTag = e->group == 0xFFFE;
    e->implicitHere = !w.inMeta && (w.implicitVR || (!w.levels.empty() && w.levels.back().implicitVR));
    if (e->itemTag || e->implicitHere) {
        if (!w.in.read(b + 4, 4)) {
            *why = "cut short";
            return false;
        }
        e->length = w.in.u32(b + 4, e->big);
        return true;
    }
    if (!w.in.read(e->vr, 2) || !isVR(e->vr)) {
        *why = "a damaged element after " + std::to_string(static_cast<unsigned long long>(w.in.position())) +
               " bytes";
        return false;
    }
    if (longVR(e->vr)) {
        if (!w.in.read(b + 4, 6)) {
            *why = "cut short";
            return false;
        }
        e->length = w.in.u32(b + 6, e->big);
    } else {
        if (!w.in.read(b + 4, 2)) {
            *why = "cut short";
            return false;
        }
        e->length = w.in.u16(b + 4, e->big);
    }
    return true;
}

// An item or delimiter tag: closes an undefined-length sequence, enters an
// item, or skips a pixel fragment whole.
Step walkItemTag(Walk& w, const ElementHead& e, std::string* why)
{
    if (e.element == 0xE0DD) { // end of an undefined-length sequence
        if (!w.levels.empty() && w.levels.back().end == UINT64_MAX)
            w.levels.pop_back();
        return Step::next;
    }
    if (e.element != 0xE000 || e.length == kUndefined)
        return Step::next; // item delimiter, or an item that ends with one
    if (e.length > w.in.left()) {
        *why = "an item declares " + std::to_string(e.length) + " bytes, " +
               std::to_string(static_cast<unsigned long long>(w.in.left())) + " are left";
        return Step::failed;
    }
    const bool fragments = !w.levels.empty() && w.levels.back().fragments;
    if (fragments)
        return w.in.skip(e.length) ? Step::next : Step::failed;
    if (w.levels.size() < kMaxDepth)
        w.levels.push_back(Level{w.in.position() + e.length, e.implicitHere, false});
    return Step::next;
}

// The pixel format, which GDCM asserts on: every copy of an element is
// checked (GDCM keeps the first), the pair at the end. False with *why for a
// value GDCM cannot take, false alone when the value cannot be read.
bool readPixelFormat(Walk& w, const ElementHead& e, std::string* why)
{
    unsigned char v[2];
    bool ok = w.in.read(v, 2);
    const int value = w.in.u16(v, e.big);
    int* kept = e.element == 0x0100 ? &w.bitsAllocated : e.element == 0x0101 ? &w.bitsStored : nullptr;
    if (kept && *kept == -1)
        *kept = value;
    if (ok && !pixelFormatValue(e.element, value, why))
        ok = false;
    return ok;
}

// The transfer syntax (0002,0010) or the media storage class (0002,0002) of
// the meta group. False when the value cannot be read.
bool readMetaText(Walk& w, const ElementHead& e)
{
    std::vector<char> value(e.length);
    const bool ok = w.in.read(value.data(), e.length);
    (e.element == 0x0010 ? w.syntax : w.storage) = trimmed(value);
    return ok;
}

// Sequences are walked inside; so is an implicit value that starts with an
// item, as GDCM would take it for one. Any other value is skipped. False
// when the value cannot be skipped.
bool enterOrSkip(Walk& w, const ElementHead& e)
{
    bool nested = isSQ(e.vr);
    if (!nested && e.implicitHere && e.length >= 8) {
        unsigned char peek[4];
        if (w.in.read(peek, 4)) {
            nested = w.in.u16(peek, e.big) == 0xFFFE && w.in.u16(peek + 2, e.big) == 0xE000;
            w.in.seek(w.in.position() - 4);
        }
    }
    if (nested && w.levels.size() < kMaxDepth) {
        w.levels.push_back(Level{w.in.position() + e.length, e.implicitHere, false});
        return true;
    }
    return w.in.skip(e.length);
}

// An element other than an item tag: opens a container of undefined length,
// refuses a value longer than the rest of the file, and reads, walks into
// or skips the value.
Step walkDataElement(Walk& w, const ElementHead& e, DicomCheck* out, std::string* why)
{
    const bool topLevel = w.levels.empty();
    if (e.group == 0x7FE0 && e.element == 0x0010 && topLevel)
        out->pixelData = true;
    if (e.length == kUndefined) {
        // A sequence (or UN, or encapsulated pixel data) closed by a delimiter.
        if (w.levels.size() == kMaxDepth) {
            *why = "sequences nested too deep";
            return Step::failed;
        }
        const bool un = e.vr[0] == 'U' && e.vr[1] == 'N';
        w.levels.push_back(Level{UINT64_MAX, e.implicitHere || un, e.group == 0x7FE0 && e.element == 0x0010});
        return Step::next;
    }
    if (e.length > w.in.left()) {
        *why = "element " + tagText(e.group, e.element) + " declares " + std::to_string(e.length) + " bytes, " +
               std::to_string(static_cast<unsigned long long>(w.in.left())) + " are left";
        return Step::failed;
    }
    bool ok;
    if (topLevel && e.group == 0x0028 && e.length == 2 &&
        (e.element == 0x0002 || e.element == 0x0100 || e.element == 0x0101 || e.element == 0x0103))
        ok = readPixelFormat(w, e, why);
    else if (w.inMeta && e.group == 0x0002 && (e.element == 0x0002 || e.element == 0x0010) && e.length <= 64)
        ok = readMetaText(w, e);
    else
        ok = enterOrSkip(w, e);
    return ok ? Step::next : Step::failed;
}

// Reads one element, from its tag on.
Step walkElement(Walk& w, DicomCheck* out, std::string* why)
{
    unsigned char b[12];
    if (!w.in.read(b, 4)) {
        *why = "cut short";
        return Step::failed;
    }
    if (w.inMeta && w.in.u16(b, false) != 0x0002 && !leaveMetaGroup(w, why))
        return Step::failed;
    if (!w.known && !guessCoding(w))
        return Step::stopped;
    ElementHead e;
    if (!readElementHead(w, b, &e, why))
        return Step::failed;
    if (w.inMeta && (e.itemTag || e.length == kUndefined || isSQ(e.vr))) {
        // GDCM stops the process on these in the file meta information.
        *why = "a damaged file meta information";
        return Step::failed;
    }
    if (e.itemTag)
        return walkItemTag(w, e, why);
    return walkDataElement(w, e, out, why);
}

// Walks the elements up to the end of the file (or the last one that fits),
// closing the containers passed. False when the file is refused.
bool walkElements(Walk& w, DicomCheck* out, std::string* why)
{
    bool ok = true;
    for (uint64_t count = 0; ok && w.in.left() >= 8; ++count) {
        while (!w.levels.empty() && w.levels.back().end <= w.in.position())
            w.levels.pop_back();
        if (count == kMaxElements) {
            *why = "more elements than a DICOM file holds";
            return false;
        }
        const Step step = walkElement(w, out, why);
        if (step == Step::stopped)
            break;
        ok = step == Step::next;
    }
    return ok;
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
    Walk w(in, out->preamble);
    bool ok = walkElements(w, out, why);
    std::fclose(f);
    if (ok && w.bitsStored != -1 && w.bitsAllocated != -1 && w.bitsStored > w.bitsAllocated) {
        *why = std::to_string(w.bitsStored) + " bits stored per value of " + std::to_string(w.bitsAllocated);
        ok = false;
    }
    if (ok && (w.inMeta || in.left() > 0)) {
        // GDCM reads one more tag after the meta group, and one after each
        // element; a file that stops short of one makes it stop the process.
        *why = w.inMeta ? "nothing after the file meta information" : "cut inside an element";
        ok = false;
    }
    return ok;
}
