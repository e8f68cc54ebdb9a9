// Import of NIfTI, NRRD, MetaImage, DICOM and TIFF volumes through ITK's
// image IO. ITK parses; this file decides what a file may make us allocate,
// and lays the voxels out the way the pipeline wants them.
#include "load_foreign.h"

#include "dicom_check.h"
#include "error_handling.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <itkGDCMImageIO.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>
#include <itkTIFFImageIO.h>

#include <zlib.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

namespace {

using ItkType = itk::IOComponentEnum;

enum class Format { None, Nifti, Nrrd, Meta, Dicom, Tiff };

// Longest axis a file may declare; the texture path could not use more.
const size_t kMaxAxis = 1u << 20;
// Most values per voxel (bands) a file may declare.
const int kMaxBands = 1024;
// Most files one DICOM series may have, and a folder scanned for one.
const size_t kMaxSlices = 65536;
const size_t kMaxFolderFiles = 100000;
// Deflate never expands more than 1032 : 1.
const uint64_t kDeflateExpansion = 1032;
// Codecs whose output cannot be counted cheaply (LZW, JPEG, bzip2): a claim
// beyond 4096 times the stored bytes is taken as damage.
const uint64_t kCodecExpansion = 4096;
// How much of a NRRD header is scanned for its data file and encoding.
const size_t kMaxNrrdHeader = 1u << 20;
// Files of a folder looked at to tell whether it holds a DICOM series.
const int kMaxFilesLookedAt = 256;
// Longest DICOM text field shown (LO and SH values are at most 64 characters).
const size_t kMaxDicomText = 64;

// ---- names and files ----

std::string lowerCase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool endsWith(const std::string& s, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Size of a regular file; false when there is none.
bool fileSize(const std::string& path, uint64_t* size)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    return dir == "/" ? "/" + name : dir + "/" + name;
}

// Bytes of all regular files directly in dir (data split over files named by
// a list or a pattern cannot hold more than their folder).
uint64_t folderBytes(const std::string& dir)
{
    uint64_t total = 0;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (const dirent* e = readdir(d)) {
        uint64_t size = 0;
        if (fileSize(joinPath(dir, e->d_name), &size))
            total += size;
    }
    closedir(d);
    return total;
}

std::string formatSize(uint64_t v)
{
    return std::to_string(static_cast<unsigned long long>(v));
}

std::string formatFloat(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return text;
}

// The first line of a library's message, without ITK's source location.
std::string shortMessage(const char* text)
{
    std::string s = text ? text : "";
    const size_t nl = s.find('\n');
    if (nl != std::string::npos)
        s.erase(nl);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    if (s.size() > 200)
        s = s.substr(0, 200) + "...";
    return s;
}

// ---- recognising the formats ----

Format formatByName(const std::string& path)
{
    const std::string l = lowerCase(baseName(path));
    if (endsWith(l, ".nii") || endsWith(l, ".nii.gz") || endsWith(l, ".hdr") ||
        endsWith(l, ".hdr.gz") || endsWith(l, ".img") || endsWith(l, ".img.gz"))
        return Format::Nifti;
    if (endsWith(l, ".nrrd") || endsWith(l, ".nhdr"))
        return Format::Nrrd;
    if (endsWith(l, ".mha") || endsWith(l, ".mhd"))
        return Format::Meta;
    if (endsWith(l, ".dcm") || endsWith(l, ".dicom") || endsWith(l, ".ima"))
        return Format::Dicom;
    if (endsWith(l, ".tif") || endsWith(l, ".tiff"))
        return Format::Tiff;
    return Format::None;
}

// By the first bytes: DICOM's preamble, NIfTI's magic, NRRD's and TIFF's.
Format formatByContent(const std::string& path)
{
    unsigned char head[352] = {0};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return Format::None;
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 132 && std::memcmp(head + 128, "DICM", 4) == 0)
        return Format::Dicom;
    if (n >= 7 && std::memcmp(head, "NRRD000", 7) == 0)
        return Format::Nrrd;
    if (n >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0 ||
                   std::memcmp(head, "II+\0", 4) == 0 || std::memcmp(head, "MM\0+", 4) == 0))
        return Format::Tiff;
    if (n >= 348 && (std::memcmp(head + 344, "n+1\0", 4) == 0 || std::memcmp(head + 344, "ni1\0", 4) == 0))
        return Format::Nifti;
    if (n >= 8 && (std::memcmp(head + 4, "n+2\0", 4) == 0 || std::memcmp(head + 4, "ni2\0", 4) == 0))
        return Format::Nifti;
    return Format::None;
}

// A folder is a DICOM series when one of its first files is DICOM.
bool folderHasDicom(const std::string& dir)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    bool found = false;
    int looked = 0;
    while (const dirent* e = readdir(d)) {
        const std::string path = joinPath(dir, e->d_name);
        uint64_t size = 0;
        if (!fileSize(path, &size))
            continue;
        if (formatByName(path) == Format::Dicom || formatByContent(path) == Format::Dicom) {
            found = true;
            break;
        }
        if (++looked == kMaxFilesLookedAt)
            break;
    }
    closedir(d);
    return found;
}

const char* articleFor(Format f)
{
    return (f == Format::Nifti || f == Format::Nrrd) ? "an " : "a ";
}

const char* formatLabel(Format f)
{
    switch (f) {
    case Format::Nifti: return "NIfTI";
    case Format::Nrrd: return "NRRD";
    case Format::Meta: return "MetaImage";
    case Format::Dicom: return "DICOM";
    case Format::Tiff: return "TIFF";
    default: return "";
    }
}

// ---- NIfTI header facts ITK does not hand out ----

struct NiftiFacts
{
    int version = 1;         // 1 (348-byte header, also Analyze) or 2 (540 bytes)
    bool bigEndian = false;  // the file's byte order
    double slope = 0.0;      // scl_slope (0: none)
    double intercept = 0.0;  // scl_inter
    int qform = 0;           // qform_code
    int sform = 0;           // sform_code
    uint64_t voxOffset = 0;  // where the voxels start in a single file
    uint64_t storedBytes = 0; // dim[1] * ... * dim[dim[0]] * bitpix / 8: what the NIfTI library allocates
    bool finite = true;      // the orientation in use holds numbers only
};


// Product of the header's dimensions times bitpix / 8, saturated.
uint64_t niftiStoredBytes(const int64_t* dim, int bitpix)
{
    const uint64_t cap = std::numeric_limits<uint64_t>::max();
    uint64_t n = 1;
    const int64_t count = dim[0];
    if (count < 1 || count > 7 || bitpix <= 0 || bitpix % 8 != 0)
        return cap;
    for (int64_t i = 1; i <= count; ++i) {
        const uint64_t d = dim[i] > 0 ? static_cast<uint64_t>(dim[i]) : 1;
        if (n > cap / d)
            return cap;
        n *= d;
    }
    const uint64_t size = static_cast<uint64_t>(bitpix / 8);
    return n > cap / size ? cap : n * size;
}

template <typename T> T fieldAt(const unsigned char* head, size_t offset, bool swap)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, head + offset, sizeof(T));
    if (swap)
        std::reverse(b, b + sizeof(T));
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
}

// True when the n values of type T from offset on are finite numbers.
template <typename T> bool finiteAt(const unsigned char* head, size_t offset, int n, bool swap)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(fieldAt<T>(head, offset + i * sizeof(T), swap)))
            return false;
    return true;
}

bool hostIsBigEndian()
{
    const uint16_t one = 1;
    unsigned char b;
    std::memcpy(&b, &one, 1);
    return b == 0;
}

// The fixed-offset fields of a NIfTI-1 or -2 header (plain or gzipped).
bool peekNifti(const std::string& headerPath, NiftiFacts* facts)
{
    gzFile g = gzopen(headerPath.c_str(), "rb");
    if (!g)
        return false;
    unsigned char head[544] = {0};
    const int n = gzread(g, head, sizeof head);
    gzclose(g);
    if (n < 348)
        return false;
    const int32_t size = fieldAt<int32_t>(head, 0, false);
    int32_t swapped = size;
    {
        unsigned char b[4];
        std::memcpy(b, &size, 4);
        std::reverse(b, b + 4);
        std::memcpy(&swapped, b, 4);
    }
    bool swap;
    if (size == 348 || size == 540)
        swap = false;
    else if (swapped == 348 || swapped == 540)
        swap = true;
    else
        return false;
    const int32_t hdr = swap ? swapped : size;
    facts->bigEndian = hostIsBigEndian() != swap;
    if (hdr == 348) {
        facts->version = 1;
        const float off = fieldAt<float>(head, 108, swap);
        facts->voxOffset = (std::isfinite(off) && off > 0.0f && off < 1e15f) ? static_cast<uint64_t>(off) : 0;
        facts->slope = fieldAt<float>(head, 112, swap);
        facts->intercept = fieldAt<float>(head, 116, swap);
        facts->qform = fieldAt<int16_t>(head, 252, swap);
        facts->sform = fieldAt<int16_t>(head, 254, swap);
        int64_t dim[8];
        for (int i = 0; i < 8; ++i)
            dim[i] = fieldAt<int16_t>(head, 40 + 2 * i, swap);
        facts->storedBytes = niftiStoredBytes(dim, fieldAt<int16_t>(head, 72, swap));
        // ITK's orientation code aborts the process on a NaN in the matrix.
        facts->finite = (facts->sform <= 0 || finiteAt<float>(head, 280, 12, swap)) &&
                        (facts->qform <= 0 || (finiteAt<float>(head, 256, 6, swap) && finiteAt<float>(head, 80, 3, swap)));
    } else {
        if (n < 540)
            return false;
        facts->version = 2;
        const int64_t off = fieldAt<int64_t>(head, 168, swap);
        facts->voxOffset = off > 0 ? static_cast<uint64_t>(off) : 0;
        facts->slope = fieldAt<double>(head, 176, swap);
        facts->intercept = fieldAt<double>(head, 184, swap);
        facts->qform = fieldAt<int32_t>(head, 344, swap);
        facts->sform = fieldAt<int32_t>(head, 348, swap);
        int64_t dim[8];
        for (int i = 0; i < 8; ++i)
            dim[i] = fieldAt<int64_t>(head, 16 + 8 * i, swap);
        facts->storedBytes = niftiStoredBytes(dim, fieldAt<int16_t>(head, 14, swap));
        facts->finite = (facts->sform <= 0 || finiteAt<double>(head, 400, 12, swap)) &&
                        (facts->qform <= 0 || (finiteAt<double>(head, 352, 6, swap) && finiteAt<double>(head, 112, 3, swap)));
    }
    if (!std::isfinite(facts->slope) || !std::isfinite(facts->intercept))
        facts->slope = facts->intercept = 0.0;
    return true;
}

bool isGzip(const std::string& path)
{
    unsigned char b[2] = {0, 0};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const size_t n = std::fread(b, 1, 2, f);
    std::fclose(f);
    return n == 2 && b[0] == 0x1f && b[1] == 0x8b;
}

// Inflates a gzip file up to limit bytes and counts them; false with *error
// when the stream is damaged.
bool countInflated(const std::string& path, uint64_t limit, uint64_t* count, std::string* error)
{
    gzFile g = gzopen(path.c_str(), "rb");
    if (!g) {
        *error = "cannot be opened";
        return false;
    }
    std::vector<unsigned char> chunk(1 << 16);
    uint64_t total = 0;
    bool ok = true;
    while (total < limit) {
        const unsigned want = static_cast<unsigned>(std::min<uint64_t>(chunk.size(), limit - total));
        const int got = gzread(g, chunk.data(), want);
        if (got < 0) {
            int code = 0;
            *error = std::string("compressed data do not inflate (") + shortMessage(gzerror(g, &code)) + ")";
            ok = false;
            break;
        }
        if (got == 0) {
            int code = 0;
            const char* msg = gzerror(g, &code);
            if (code != Z_OK && code != Z_STREAM_END) {
                *error = std::string("compressed data do not inflate (") + shortMessage(msg) + ")";
                ok = false;
            }
            break;
        }
        total += static_cast<uint64_t>(got);
    }
    gzclose(g);
    *count = total;
    return ok;
}

// Bytes of voxels a file can fill: its size, or what it inflates to.
bool bytesInFile(const std::string& path, uint64_t skip, uint64_t limit, uint64_t* bytes,
                 std::string* error)
{
    uint64_t size = 0;
    if (!fileSize(path, &size)) {
        *error = path + ": the data file is missing";
        return false;
    }
    uint64_t have = size;
    if (isGzip(path)) {
        std::string why;
        if (!countInflated(path, limit + skip, &have, &why)) {
            *error = path + ": " + why;
            return false;
        }
    }
    *bytes = have > skip ? have - skip : 0;
    return true;
}

// ---- NRRD header facts ----

struct NrrdFacts
{
    std::string encoding = "raw"; // raw, gzip, bzip2, ascii, hex (lower case)
    std::string dataFile;         // detached data: one file; "" when attached
    bool manyFiles = false;       // LIST or a file-name pattern
    uint64_t headerBytes = 0;     // bytes up to the blank line before attached data
    bool hasSpace = false;        // "space" or "space directions" given
};

std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\0'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\0'))
        --b;
    return s.substr(a, b - a);
}

void scanNrrd(const std::string& path, NrrdFacts* facts)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return;
    std::string text(kMaxNrrdHeader, '\0');
    text.resize(std::fread(&text[0], 1, text.size(), f));
    std::fclose(f);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        const bool last = end == std::string::npos;
        if (last)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = last ? end : end + 1;
        if (line.empty()) {
            facts->headerBytes = pos;
            return;
        }
        if (line[0] == '#')
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = lowerCase(trim(line.substr(0, colon)));
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == '=')
            continue; // key/value pair, not a field
        value = trim(value);
        if (key == "encoding")
            facts->encoding = lowerCase(value);
        else if (key == "space" || key == "space directions")
            facts->hasSpace = true;
        else if (key == "data file" || key == "datafile") {
            if (value.compare(0, 4, "LIST") == 0 || value.find('%') != std::string::npos)
                facts->manyFiles = true;
            else
                facts->dataFile = value;
        }
    }
    facts->headerBytes = text.size();
}

uint64_t encodingExpansion(const std::string& encoding)
{
    if (encoding == "raw")
        return 1;
    if (encoding == "gzip" || encoding == "gz")
        return kDeflateExpansion;
    if (encoding == "hex")
        return 1;
    if (encoding == "ascii" || encoding == "text" || encoding == "txt")
        return 8; // one digit and a blank make at most an 8-byte value
    return kCodecExpansion;
}

// ---- reading through ITK ----

itk::ImageIOBase::Pointer makeIO(Format f)
{
    switch (f) {
    case Format::Nifti: return itk::NiftiImageIO::New().GetPointer();
    case Format::Nrrd: return itk::NrrdImageIO::New().GetPointer();
    case Format::Meta: return itk::MetaImageIO::New().GetPointer();
    case Format::Dicom: return itk::GDCMImageIO::New().GetPointer();
    case Format::Tiff: return itk::TIFFImageIO::New().GetPointer();
    default: return nullptr;
    }
}

// The voxel type of an ITK element type of the table, 0 for the others.
GLenum glTypeOf(ItkType t)
{
#define GLIMRA_ITK_CASE(name, code, gl, ctype) \
    if (t == itk::ImageIOBase::MapPixelType<ctype>::CType) return gl;
    GLIMRA_VOXEL_TYPES(GLIMRA_ITK_CASE)
#undef GLIMRA_ITK_CASE
    return 0;
}

template <typename S> void widenToFloat(void* data, size_t n)
{
    // In place and forward: a float is never wider than the source value.
    const unsigned char* src = static_cast<const unsigned char*>(data);
    float* dst = static_cast<float*>(data);
    for (size_t i = 0; i < n; ++i) {
        S v;
        std::memcpy(&v, src + i * sizeof(S), sizeof(S));
        dst[i] = static_cast<float>(v);
    }
}

// Element types the program lacks (64-bit integers, double) become FLOAT.
bool narrowToFloat(ItkType t, void* data, size_t n)
{
    switch (t) {
    case ItkType::LONG: widenToFloat<long>(data, n); return true;
    case ItkType::ULONG: widenToFloat<unsigned long>(data, n); return true;
    case ItkType::LONGLONG: widenToFloat<long long>(data, n); return true;
    case ItkType::ULONGLONG: widenToFloat<unsigned long long>(data, n); return true;
    case ItkType::DOUBLE: widenToFloat<double>(data, n); return true;
    default: return false;
    }
}

// What a reader found out, before the voxels are laid out.
struct RawRead
{
    void* buffer = nullptr;             // all voxels as read ("tmpdata")
    ItkType itkType = ItkType::UNKNOWNCOMPONENTTYPE; // element type in the buffer
    size_t elementBytes = 0;            // bytes per element in the buffer
    int bands = 1;                      // elements per voxel
    size_t dims[3] = {1, 1, 1};         // stored axes
    size_t timePoints = 1;              // volumes in the buffer, the first is used
    double spacing[3] = {1, 1, 1};      // along the stored axes
    double direction[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; // [world LPS][stored axis]
    bool oriented = false;              // the file says how the volume lies
    std::string info;                   // format lines gathered on the way
};

void freeRaw(RawRead* r)
{
    if (r->buffer)
        RELEASE_VOXELS(r->buffer);
}

// Dimensions, bands and element type of an IO that has read its header;
// false with *error when they are out of bounds.
bool takeLayout(const std::string& path, itk::ImageIOBase* io, RawRead* r, uint64_t* totalBytes,
                std::string* error)
{
    const unsigned n = io->GetNumberOfDimensions();
    if (n < 2 || n > 6) {
        *error = path + ": " + std::to_string(n) + " dimensions; a volume has 2 to 4";
        return false;
    }
    r->itkType = io->GetComponentType();
    r->elementBytes = io->GetComponentSize();
    if (r->itkType == ItkType::UNKNOWNCOMPONENTTYPE || r->itkType == ItkType::LDOUBLE ||
        (r->elementBytes != 1 && r->elementBytes != 2 && r->elementBytes != 4 && r->elementBytes != 8)) {
        *error = path + ": unsupported voxel type " + io->GetComponentTypeAsString(r->itkType);
        return false;
    }
    const unsigned bands = io->GetNumberOfComponents();
    if (bands < 1 || bands > static_cast<unsigned>(kMaxBands)) {
        *error = path + ": " + std::to_string(bands) + " values per voxel (at most " +
                 std::to_string(kMaxBands) + ")";
        return false;
    }
    r->bands = static_cast<int>(bands);
    uint64_t total = static_cast<uint64_t>(bands) * r->elementBytes;
    const uint64_t cap = static_cast<uint64_t>(1) << 40;
    for (unsigned i = 0; i < n; ++i) {
        const size_t d = io->GetDimensions(i);
        if (d < 1 || d > kMaxAxis) {
            *error = path + ": axis " + std::to_string(i + 1) + " declares " + formatSize(d) + " voxels";
            return false;
        }
        if (i < 3) {
            r->dims[i] = d;
            const double s = std::fabs(io->GetSpacing(i));
            r->spacing[i] = (std::isfinite(s) && s > 0.0) ? s : 1.0;
            const std::vector<double> dir = io->GetDirection(i);
            for (unsigned w = 0; w < 3; ++w)
                r->direction[w][i] = (w < dir.size() && w < n) ? dir[w] : (w == i ? 1.0 : 0.0);
        } else {
            r->timePoints *= d;
        }
        total *= d;
        if (total > cap) {
            *error = path + ": the header declares more than 1 TiB of voxels";
            return false;
        }
    }
    *totalBytes = total;
    return true;
}

std::string declaredText(const RawRead& r, uint64_t totalBytes)
{
    std::string s = formatSize(r.dims[0]) + " x " + formatSize(r.dims[1]) + " x " + formatSize(r.dims[2]);
    if (r.timePoints > 1)
        s += " x " + formatSize(r.timePoints);
    if (r.bands > 1)
        s += " voxels of " + std::to_string(r.bands) + " values";
    return s + " (" + formatSize(totalBytes) + " bytes)";
}

// Bytes of voxels the data file of a NIfTI header holds (inflated when gzipped).
bool niftiDataBytes(const std::string& path, const NiftiFacts& nifti, uint64_t* bytes, std::string* error)
{
    const std::string l = lowerCase(path);
    std::string dataPath = path;
    uint64_t skip = nifti.voxOffset;
    uint64_t size = 0;
    if (endsWith(l, ".hdr") || endsWith(l, ".hdr.gz")) {
        // The voxels of a header/image pair are in the image file.
        const std::string stem = path.substr(0, path.size() - (endsWith(l, ".gz") ? 7 : 4));
        for (const char* ext : {".img.gz", ".IMG", ".img"})
            if (fileSize(stem + ext, &size))
                dataPath = stem + ext;
        if (dataPath == path) {
            *error = path + ": the image file of this header (" + baseName(stem) + ".img) is missing";
            return false;
        }
        skip = 0;
    } else if (endsWith(l, ".img") || endsWith(l, ".img.gz")) {
        skip = 0;
    }
    return bytesInFile(dataPath, skip, std::numeric_limits<uint64_t>::max() - skip, bytes, error);
}

// What the files behind an IO can fill, per format (NIfTI above).
bool availableBytes(const std::string& path, Format format, itk::ImageIOBase* io, const NrrdFacts& nrrd,
                    uint64_t* bytes, std::string* error)
{
    uint64_t size = 0;
    switch (format) {
    case Format::Nrrd: {
        const std::string dir = directoryOf(path);
        uint64_t stored = 0;
        if (nrrd.manyFiles)
            stored = folderBytes(dir);
        else if (!nrrd.dataFile.empty()) {
            const std::string dataPath = joinPath(dir, nrrd.dataFile);
            if (!fileSize(dataPath, &stored)) {
                *error = path + ": the data file " + nrrd.dataFile + " is missing";
                return false;
            }
        } else if (fileSize(path, &size))
            stored = size > nrrd.headerBytes ? size - nrrd.headerBytes : 0;
        *bytes = stored * encodingExpansion(nrrd.encoding);
        return true;
    }
    case Format::Meta: {
        MetaImage* meta = static_cast<itk::MetaImageIO*>(io)->GetMetaImagePointer();
        const std::string name = meta && meta->ElementDataFileName() ? meta->ElementDataFileName() : "";
        const std::string dir = directoryOf(path);
        uint64_t stored = 0;
        if (name.empty() || lowerCase(name) == "local")
            fileSize(path, &stored);
        else if (name.compare(0, 4, "LIST") == 0 || name.find('%') != std::string::npos)
            stored = folderBytes(dir);
        else if (!fileSize(joinPath(dir, name), &stored)) {
            *error = path + ": the data file " + name + " is missing";
            return false;
        }
        *bytes = stored * ((meta && meta->CompressedData()) ? kDeflateExpansion : 1);
        return true;
    }
    default:
        fileSize(path, &size);
        *bytes = size * kCodecExpansion;
        return true;
    }
}

// The full region of an IO's image: ITK reads what the region says.
void requestAll(itk::ImageIOBase* io)
{
    const unsigned n = io->GetNumberOfDimensions();
    itk::ImageIORegion region(n);
    for (unsigned i = 0; i < n; ++i) {
        region.SetIndex(i, 0);
        region.SetSize(i, io->GetDimensions(i));
    }
    io->SetIORegion(region);
}

std::string dicomText(itk::GDCMImageIO* io, const char* tag)
{
    std::string v;
    if (!io->GetValueFromTag(tag, v))
        return std::string();
    v = trim(v);
    for (char& c : v)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    if (v.size() > kMaxDicomText)
        v.resize(kMaxDicomText);
    return v;
}

const char* byteOrderText(itk::ImageIOBase* io)
{
    switch (io->GetByteOrder()) {
    case itk::IOByteOrderEnum::BigEndian: return "big-endian";
    case itk::IOByteOrderEnum::LittleEndian: return "little-endian";
    default: return nullptr;
    }
}

// One NIfTI, NRRD, MetaImage or TIFF file.
bool readSingle(const std::string& path, Format format, RawRead* r, std::string* error)
{
    itk::ImageIOBase::Pointer io = makeIO(format);
    NiftiFacts nifti;
    NrrdFacts nrrd;
    uint64_t niftiBytes = 0;
    if (format == Format::Nifti) {
        const std::string l = lowerCase(path);
        std::string header = path;
        if (endsWith(l, ".img"))
            header = path.substr(0, path.size() - 4) + (endsWith(path, ".IMG") ? ".HDR" : ".hdr");
        else if (endsWith(l, ".img.gz"))
            header = path.substr(0, path.size() - 7) + ".hdr";
        if (!peekNifti(header, &nifti)) {
            uint64_t inflated = 0;
            std::string why;
            if (isGzip(header) && !countInflated(header, 1 << 20, &inflated, &why))
                *error = path + ": " + why;
            else
                *error = path + ": the NIfTI header is damaged";
            return false;
        }
        if (!nifti.finite) {
            *error = path + ": the NIfTI header holds an orientation that is not a number";
            return false;
        }
        // The NIfTI library allocates what the header declares before it
        // reads: count what the file holds (inflating it) first.
        if (!niftiDataBytes(path, nifti, &niftiBytes, error))
            return false;
    } else if (format == Format::Nrrd) {
        scanNrrd(path, &nrrd);
    }
    if (!io->CanReadFile(path.c_str())) {
        *error = path + ": the header cannot be read (not " + articleFor(format) + formatLabel(format) + " file)";
        return false;
    }
    uint64_t total = 0;
    try {
        io->SetFileName(path);
        io->ReadImageInformation();
        if (!takeLayout(path, io, r, &total, error))
            return false;
        uint64_t have = niftiBytes;
        if (format != Format::Nifti && !availableBytes(path, format, io, nrrd, &have, error))
            return false;
        // NIfTI is checked by what it stores (a rescaled file reads wider).
        const uint64_t stored = format == Format::Nifti ? nifti.storedBytes : total;
        if (stored > have || total / 8 > stored) {
            *error = path + ": the header declares " + declaredText(*r, stored) + ", the file holds " +
                     formatSize(have) + " bytes of voxels";
            return false;
        }
        GUARDED_VOXELS_AS(r->buffer, "tmpdata", static_cast<size_t>(total));
        if (!r->buffer) {
            g_garbageCollector.remove(r->buffer);
            *error = path + ": not enough memory for " + formatSize(total) + " bytes";
            return false;
        }
        requestAll(io);
        io->Read(r->buffer);
    } catch (const itk::ExceptionObject& e) {
        freeRaw(r);
        *error = path + ": " + (total ? "the voxels cannot be read (" : "the header cannot be read (") +
                 shortMessage(e.GetDescription()) + ")";
        return false;
    } catch (const std::exception& e) {
        freeRaw(r);
        *error = path + ": " + shortMessage(e.what());
        return false;
    }

    std::string& info = r->info;
    switch (format) {
    case Format::Nifti:
        info += nifti.version == 2 ? "Format:\t\tNIfTI-2\n" : "Format:\t\tNIfTI-1\n";
        if (r->elementBytes > 1)
            info += std::string("Byte order:\t") + (nifti.bigEndian ? "big-endian" : "little-endian") + "\n";
        if (nifti.slope != 0.0 && (nifti.slope != 1.0 || nifti.intercept != 0.0))
            info += "Rescale:\tslope " + formatFloat(nifti.slope) + " intercept " +
                    formatFloat(nifti.intercept) + "\n";
        r->oriented = nifti.qform > 0 || nifti.sform > 0;
        break;
    case Format::Nrrd:
        info += "Format:\t\tNRRD (" + nrrd.encoding + ")\n";
        r->oriented = nrrd.hasSpace;
        break;
    case Format::Meta:
        info += "Format:\t\tMetaImage\n";
        r->oriented = true;
        break;
    default:
        info += "Format:\t\tTIFF\n";
        r->oriented = false;
        break;
    }
    if (format != Format::Nifti && r->elementBytes > 1)
        if (const char* order = byteOrderText(io))
            info += std::string("Byte order:\t") + order + "\n";
    return true;
}

// ---- DICOM series ----

// One DICOM image file, as its header says.
struct DicomFile
{
    std::string path;      // the file
    std::string series;    // Series Instance UID
    std::string label;     // series number, description and modality (nothing of the patient)
    RawRead layout;        // size, type and axes
    uint64_t bytes = 0;    // its voxels
    double origin[3] = {0, 0, 0}; // Image Position (Patient)
};

// One file of a series and where its slice lies.
struct Slice
{
    std::string path;   // the file
    double position;    // Image Position along the slice normal
};

bool canonicalPath(const std::string& path, std::string* out)
{
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    *out = real;
    std::free(real);
    return true;
}

// Regular files of dir in name order; false when it cannot be read or holds
// more than kMaxFolderFiles.
bool listFolder(const std::string& dir, std::vector<std::string>* files, std::string* error)
{
    DIR* d = opendir(dir.c_str());
    if (!d) {
        *error = dir + ": the folder cannot be read";
        return false;
    }
    while (const dirent* e = readdir(d)) {
        const std::string path = joinPath(dir, e->d_name);
        uint64_t size = 0;
        if (!fileSize(path, &size))
            continue;
        if (files->size() == kMaxFolderFiles) {
            closedir(d);
            *error = dir + ": more than " + formatSize(kMaxFolderFiles) + " files";
            return false;
        }
        files->push_back(path);
    }
    closedir(d);
    std::sort(files->begin(), files->end());
    return true;
}

// The header of a checked DICOM file; false with *error naming it.
bool readDicomHeader(const std::string& path, DicomFile* out, std::string* error)
{
    itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
    out->path = path;
    try {
        io->SetFileName(path);
        io->ReadImageInformation();
        if (!takeLayout(path, io, &out->layout, &out->bytes, error))
            return false;
        for (unsigned a = 0; a < 3; ++a)
            out->origin[a] = io->GetOrigin(a);
    } catch (const itk::ExceptionObject& e) {
        *error = path + ": the DICOM header cannot be read (" + shortMessage(e.GetDescription()) + ")";
        return false;
    } catch (const std::exception& e) {
        *error = path + ": " + shortMessage(e.what());
        return false;
    }
    out->series = dicomText(io, "0020|000e");
    const std::string number = dicomText(io, "0020|0011");
    out->label = "series " + (number.empty() ? std::string("?") : number) + " \"" +
                 dicomText(io, "0008|103e") + "\" " + dicomText(io, "0008|0060");
    return true;
}

bool readDicomSeries(const std::string& path, bool isFolder, RawRead* r, std::string* error)
{
    const std::string dir = isFolder ? path : directoryOf(path);
    std::string chosen;
    if (!isFolder && !canonicalPath(path, &chosen)) {
        *error = path + ": cannot be opened";
        return false;
    }
    std::vector<std::string> names;
    if (!listFolder(dir, &names, error))
        return false;
    // Only files the element walk passes reach the DICOM library; other
    // files of the folder are passed over, damaged DICOM files refused.
    std::vector<DicomFile> images;
    std::string chosenSeries;
    for (const std::string& f : names) {
        std::string real;
        const bool isChosen = !isFolder && canonicalPath(f, &real) && real == chosen;
        DicomCheck check;
        std::string why;
        if (!checkDicomFile(f, !isChosen, &check, &why)) {
            if (isChosen || check.preamble) {
                *error = f + ": " + why;
                return false;
            }
            continue;
        }
        if (!check.pixelData) {
            if (isChosen) {
                *error = f + ": a DICOM file without pixel data";
                return false;
            }
            continue; // a directory record, a report
        }
        DicomFile d;
        if (!readDicomHeader(f, &d, error))
            return false;
        if (isChosen)
            chosenSeries = d.series;
        images.push_back(d);
    }
    if (images.empty()) {
        *error = path + (isFolder ? ": no DICOM images in this folder" : ": not a DICOM image");
        return false;
    }
    // Series in the order they are first met; the chosen file's, or the largest.
    std::vector<std::string> series;
    std::vector<size_t> counts;
    for (const DicomFile& d : images) {
        const size_t at = std::find(series.begin(), series.end(), d.series) - series.begin();
        if (at == series.size()) {
            series.push_back(d.series);
            counts.push_back(0);
        }
        ++counts[at];
    }
    size_t pick = 0;
    for (size_t i = 0; i < series.size(); ++i)
        if (isFolder ? counts[i] > counts[pick] : series[i] == chosenSeries)
            pick = i;
    for (size_t i = 0; i < series.size(); ++i)
        if (i != pick) {
            const DicomFile& any = *std::find_if(images.begin(), images.end(),
                                                 [&](const DicomFile& d) { return d.series == series[i]; });
            logBoth(__FILE__, __LINE__, ("Other DICOM series in " + dir + ": " + any.label + ", " +
                                         std::to_string(counts[i]) + " files\n").c_str());
        }
    std::vector<std::string> files;
    struct Header
    {
        RawRead layout;   // size, type and axes of the file
        uint64_t bytes;   // its voxels
        double origin[3]; // Image Position (Patient)
    };
    std::vector<Header> headers;
    for (const DicomFile& d : images)
        if (d.series == series[pick]) {
            files.push_back(d.path);
            Header h;
            h.layout = d.layout;
            h.bytes = d.bytes;
            std::memcpy(h.origin, d.origin, sizeof h.origin);
            headers.push_back(h);
        }
    images.clear();
    if (files.size() > kMaxSlices) {
        *error = dir + ": " + std::to_string(files.size()) + " files in one series (at most " +
                 std::to_string(kMaxSlices) + ")";
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const Header& h = headers[i];
        if (files.size() > 1 && (h.layout.dims[2] != 1 || h.layout.timePoints != 1)) {
            *error = files[i] + ": a file of several frames in a series of several files";
            return false;
        }
        uint64_t size = 0;
        fileSize(files[i], &size);
        if (h.bytes > size * kCodecExpansion) {
            *error = files[i] + ": the header declares " + declaredText(h.layout, h.bytes) + ", the file holds " +
                     formatSize(size) + " bytes";
            return false;
        }
    }
    // The slice size most files share is the series'; the first file that
    // differs is the one named. (The first files decide: a series that many
    // files disagree on is refused anyway.)
    auto sameKind = [](const RawRead& a, const RawRead& b) {
        return a.dims[0] == b.dims[0] && a.dims[1] == b.dims[1] && a.itkType == b.itkType && a.bands == b.bands;
    };
    size_t ref = 0, refCount = 0;
    for (size_t i = 0; i < headers.size() && i < 16 && refCount <= headers.size() / 2; ++i) {
        size_t count = 0;
        for (const Header& h : headers)
            count += sameKind(h.layout, headers[i].layout);
        if (count > refCount) {
            ref = i;
            refCount = count;
        }
    }
    *r = headers[ref].layout;
    const uint64_t sliceBytes = headers[ref].bytes;
    for (size_t i = 0; i < headers.size(); ++i) {
        const RawRead& l = headers[i].layout;
        if (l.dims[0] != r->dims[0] || l.dims[1] != r->dims[1]) {
            *error = files[i] + ": a slice of " + formatSize(l.dims[0]) + " x " + formatSize(l.dims[1]) +
                     " in a series of " + formatSize(r->dims[0]) + " x " + formatSize(r->dims[1]) + " slices";
            return false;
        }
        if (!sameKind(l, *r)) {
            *error = files[i] + ": a slice of another voxel type than the rest of its series";
            return false;
        }
    }
    const double a[3] = {r->direction[0][0], r->direction[1][0], r->direction[2][0]};
    const double b[3] = {r->direction[0][1], r->direction[1][1], r->direction[2][1]};
    const double normal[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::vector<Slice> slices;
    for (size_t i = 0; i < headers.size(); ++i) {
        const double* o = headers[i].origin;
        const double p = o[0] * normal[0] + o[1] * normal[1] + o[2] * normal[2];
        slices.push_back(Slice{files[i], std::isfinite(p) ? p : 0.0});
    }
    headers.clear();
    itk::GDCMImageIO::Pointer first = itk::GDCMImageIO::New();
    try {
        first->SetFileName(files[ref]);
        first->ReadImageInformation();
    } catch (const itk::ExceptionObject& e) {
        *error = files[ref] + ": the DICOM header cannot be read (" + shortMessage(e.GetDescription()) + ")";
        return false;
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const Slice& a, const Slice& b) { return a.position < b.position; });
    if (slices.size() > 1) {
        r->dims[2] = slices.size();
        const double span = slices.back().position - slices.front().position;
        if (span > 0.0)
            r->spacing[2] = span / static_cast<double>(slices.size() - 1);
        for (int w = 0; w < 3; ++w)
            r->direction[w][2] = normal[w];
    }
    size_t total = 0;
    if (!multiplySize(static_cast<size_t>(sliceBytes), slices.size(), &total) ||
        total > (static_cast<size_t>(1) << 40)) {
        *error = dir + ": the series declares more than 1 TiB of voxels";
        return false;
    }
    GUARDED_VOXELS_AS(r->buffer, "tmpdata", static_cast<size_t>(total));
    if (!r->buffer) {
        g_garbageCollector.remove(r->buffer);
        *error = path + ": not enough memory for " + formatSize(total) + " bytes";
        return false;
    }
    for (size_t i = 0; i < slices.size(); ++i) {
        itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
        try {
            io->SetFileName(slices[i].path);
            io->ReadImageInformation();
            requestAll(io);
            io->Read(static_cast<unsigned char*>(r->buffer) + i * sliceBytes);
        } catch (const itk::ExceptionObject& e) {
            freeRaw(r);
            *error = slices[i].path + ": the pixel data cannot be read (" + shortMessage(e.GetDescription()) + ")";
            return false;
        }
    }

    std::string& info = r->info;
    info = "Format:\t\tDICOM\n";
    const std::string modality = dicomText(first, "0008|0060");
    const std::string description = dicomText(first, "0008|103e");
    if (!modality.empty())
        info += "Modality:\t" + modality + "\n";
    if (!description.empty())
        info += "Series description:\t" + description + "\n";
    info += "Slices:\t\t" + std::to_string(slices.size()) + "\n";
    const std::string slope = dicomText(first, "0028|1053");
    const std::string intercept = dicomText(first, "0028|1052");
    if (!slope.empty() || !intercept.empty())
        info += "Rescale:\tslope " + (slope.empty() ? std::string("1") : slope) + " intercept " +
                (intercept.empty() ? std::string("0") : intercept) + "\n";
    if (r->elementBytes > 1)
        if (const char* order = byteOrderText(first))
            info += std::string("Byte order:\t") + order + "\n";
    std::string orientation;
    r->oriented = first->GetValueFromTag("0020|0037", orientation);
    return true;
}

// ---- laying the voxels out ----

// Which stored axis becomes x, y, z and whether it runs backwards, so that x
// points to the patient's left, y anterior, z superior.
void axesFor(const RawRead& r, int perm[3], bool flip[3])
{
    // LPS (ITK's world) to the program's LAS: y changes sign.
    double m[3][3];
    for (int w = 0; w < 3; ++w)
        for (int a = 0; a < 3; ++a)
            m[w][a] = (w == 1 ? -1.0 : 1.0) * r.direction[w][a];
    bool usedWorld[3] = {false, false, false}, usedAxis[3] = {false, false, false};
    for (int k = 0; k < 3; ++k) {
        int bw = -1, ba = -1;
        double best = -1.0;
        for (int w = 0; w < 3; ++w)
            for (int a = 0; a < 3; ++a)
                // A direction that is not a number counts as no direction.
                if (!usedWorld[w] && !usedAxis[a] &&
                    (std::isfinite(m[w][a]) ? std::fabs(m[w][a]) : 0.0) > best) {
                    best = std::isfinite(m[w][a]) ? std::fabs(m[w][a]) : 0.0;
                    bw = w;
                    ba = a;
                }
        usedWorld[bw] = usedAxis[ba] = true;
        perm[bw] = ba;
        flip[bw] = std::isfinite(m[bw][ba]) && m[bw][ba] < 0.0;
    }
}

// Letters of the stored axes in the program's terms, e.g. "LPS".
std::string axisLetters(const int perm[3], const bool flip[3])
{
    const char* plus = "LAS";
    const char* minus = "RPI";
    std::string s = "???";
    for (int w = 0; w < 3; ++w)
        s[perm[w]] = flip[w] ? minus[w] : plus[w];
    return s;
}

// Copies the first volume of src into dst with output axis t taken from
// stored axis perm[t], backwards where flip[t]. Works on whole voxels of
// voxelBytes, so the element type does not matter.
void layOut(const unsigned char* src, unsigned char* dst, const size_t dims[3], const int perm[3],
            const bool flip[3], size_t voxelBytes)
{
    const size_t stride[3] = {voxelBytes, voxelBytes * dims[0], voxelBytes * dims[0] * dims[1]};
    size_t out[3];
    std::ptrdiff_t step[3];
    std::ptrdiff_t start = 0;
    for (int t = 0; t < 3; ++t) {
        out[t] = dims[perm[t]];
        const std::ptrdiff_t s = static_cast<std::ptrdiff_t>(stride[perm[t]]);
        step[t] = flip[t] ? -s : s;
        if (flip[t])
            start += static_cast<std::ptrdiff_t>(out[t] - 1) * s;
    }
    const bool rows = perm[0] == 0 && !flip[0];
    const size_t rowBytes = out[0] * voxelBytes;
    for (size_t z = 0; z < out[2]; ++z)
        for (size_t y = 0; y < out[1]; ++y) {
            const std::ptrdiff_t row = start + static_cast<std::ptrdiff_t>(z) * step[2] +
                                       static_cast<std::ptrdiff_t>(y) * step[1];
            if (rows) {
                std::memcpy(dst, src + row, rowBytes);
                dst += rowBytes;
                continue;
            }
            std::ptrdiff_t at = row;
            for (size_t x = 0; x < out[0]; ++x, at += step[0], dst += voxelBytes)
                std::memcpy(dst, src + at, voxelBytes);
        }
}

const char* typeName(GLenum type)
{
#define GLIMRA_TYPE_NAME(name, code, gl, ctype) \
    if (type == gl) return name;
    GLIMRA_VOXEL_TYPES(GLIMRA_TYPE_NAME)
#undef GLIMRA_TYPE_NAME
    return "";
}

// The first volume of r, in the program's types and axes, into *out.
bool finish(const std::string& path, RawRead* r, ForeignVolume* out, std::string* error)
{
    const size_t voxels = r->dims[0] * r->dims[1] * r->dims[2];
    const size_t values = voxels * static_cast<size_t>(r->bands);
    GLenum type = glTypeOf(r->itkType);
    size_t elementBytes = r->elementBytes;
    if (!type) {
        if (!narrowToFloat(r->itkType, r->buffer, values)) {
            *error = path + ": unsupported voxel type " + itk::ImageIOBase::GetComponentTypeAsString(r->itkType);
            freeRaw(r);
            return false;
        }
        logBoth(__FILE__, __LINE__,
                (path + ": " + itk::ImageIOBase::GetComponentTypeAsString(r->itkType) +
                 " values read as FLOAT\n").c_str());
        type = GL_FLOAT;
        elementBytes = sizeof(float);
    }
    int perm[3] = {0, 1, 2};
    bool flip[3] = {false, false, false};
    if (r->oriented)
        axesFor(*r, perm, flip);
    const bool asStored = perm[0] == 0 && perm[1] == 1 && perm[2] == 2 && !flip[0] && !flip[1] && !flip[2];
    void* data = r->buffer;
    if (!asStored || r->timePoints > 1 || elementBytes != r->elementBytes) {
        const size_t bytes = values * elementBytes;
        GUARDED_VOXELS_AS(data, "tmpdata", bytes);
        if (!data) {
            g_garbageCollector.remove(data);
            freeRaw(r);
            *error = path + ": not enough memory for " + formatSize(bytes) + " bytes";
            return false;
        }
        layOut(static_cast<const unsigned char*>(r->buffer), static_cast<unsigned char*>(data), r->dims,
               perm, flip, elementBytes * static_cast<size_t>(r->bands));
        freeRaw(r);
    }
    r->buffer = nullptr;

    out->data = data;
    out->type = type;
    out->bands = r->bands;
    for (int t = 0; t < 3; ++t) {
        out->resolution[t] = static_cast<int>(r->dims[perm[t]]);
        out->spacing[t] = static_cast<float>(r->spacing[perm[t]]);
    }
    std::string& info = out->info;
    info = "Data file name:\t" + baseName(path) + "\n" + r->info;
    info += "Resolution:\t" + std::to_string(out->resolution[0]) + " " + std::to_string(out->resolution[1]) +
            " " + std::to_string(out->resolution[2]) + "\n";
    info += "Spacing:\t" + formatFloat(out->spacing[0]) + " " + formatFloat(out->spacing[1]) + " " +
            formatFloat(out->spacing[2]) + "\n";
    info += std::string("Data type:\t") + typeName(type) + "\n";
    info += "Number of bands:\t" + std::to_string(out->bands) + "\n";
    if (r->timePoints > 1)
        info += "Time points:\t" + formatSize(r->timePoints) + ", the first shown\n";
    if (r->oriented)
        info += "Orientation:\t" + axisLetters(perm, flip) + " in the file, shown as LAS\n";
    else
        info += "Orientation:\tnot given, axes as stored\n";
    return true;
}

// ITK's and GDCM's warnings would go to standard error on every damaged file;
// what matters reaches the user through the import's own message.
void quietLibraries()
{
    static bool done = false;
    if (done)
        return;
    itk::Object::GlobalWarningDisplayOff();
    done = true;
}

} // namespace

bool isForeignVolume(const std::string& path)
{
    const std::string l = lowerCase(path);
    if (endsWith(l, ".zvf") || endsWith(l, ".dat"))
        return false;
    if (isDirectory(path))
        return folderHasDicom(path);
    return formatByName(path) != Format::None || formatByContent(path) != Format::None;
}

bool importForeignVolume(const std::string& path, ForeignVolume* out, std::string* error)
{
    *out = ForeignVolume();
    quietLibraries();
    RawRead raw;
    bool ok;
    if (isDirectory(path)) {
        ok = readDicomSeries(path, true, &raw, error);
    } else {
        uint64_t size = 0;
        if (!fileSize(path, &size)) {
            *error = path + ": cannot be opened";
            return false;
        }
        Format format = formatByContent(path);
        if (format == Format::None)
            format = formatByName(path);
        if (format == Format::None) {
            *error = path + ": not a volume format this program reads";
            return false;
        }
        ok = format == Format::Dicom ? readDicomSeries(path, false, &raw, error)
                                     : readSingle(path, format, &raw, error);
    }
    if (!ok) {
        freeRaw(&raw);
        return false;
    }
    return finish(path, &raw, out, error);
}

void releaseForeignVolume(ForeignVolume* v)
{
    if (v->data)
        RELEASE_VOXELS(v->data);
    *v = ForeignVolume();
}
