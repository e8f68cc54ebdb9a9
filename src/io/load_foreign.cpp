// Import of NIfTI, NRRD, MetaImage, DICOM and TIFF volumes through ITK's
// image IO. ITK parses; this file decides what a file may make us allocate,
// reads the voxels of NIfTI files that store them as they are used, and
// lays the voxels out the way the pipeline wants them.
#include "load_foreign.h"
#include "load_foreign_parts.h"
#include "reader_process.h"

#include "error_handling.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <itkGDCMImageIO.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>

#include <zlib.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

using namespace foreignimport;

namespace {

enum class Format { None, Nifti, Nrrd, Meta, Dicom, Tiff };

// Deflate never expands more than 1032 : 1.
const uint64_t kDeflateExpansion = 1032;
// How much of a NRRD header is scanned for its data file and encoding, and
// of a MetaImage header for its counts.
const size_t kMaxNrrdHeader = 1u << 20;
const size_t kMaxMetaHeader = 1u << 20;
// Files of a folder looked at to tell whether it holds a DICOM series.
const int kMaxFilesLookedAt = 256;

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
    bool oneFile = false;    // magic "n+1" or "n+2": header and voxels in one file
    int bitpix = 0;          // bits per voxel
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
        facts->bitpix = fieldAt<int16_t>(head, 72, swap);
        facts->storedBytes = niftiStoredBytes(dim, facts->bitpix);
        facts->oneFile = std::memcmp(head + 344, "n+1\0", 4) == 0;
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
        facts->bitpix = fieldAt<int16_t>(head, 14, swap);
        facts->storedBytes = niftiStoredBytes(dim, facts->bitpix);
        facts->oneFile = std::memcmp(head + 4, "n+2\0", 4) == 0;
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

// ---- MetaImage header ----

// MetaIO reads arrays of NDims values (and loops on a negative count) and
// sizes buffers by what it makes of the data file's name and sizes, so these
// are checked on the text first: NDims 1 to 10, ElementNumberOfChannels 1
// to kMaxBands, HeaderSize and CompressedDataSize not below -1, a data file
// name of printable characters. False with *why.
bool checkMetaHeader(const std::string& path, std::string* why)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = "cannot be opened";
        return false;
    }
    std::string text(kMaxMetaHeader, '\0');
    text.resize(std::fread(&text[0], 1, text.size(), f));
    std::fclose(f);
    bool haveDims = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = lowerCase(trim(line.substr(0, eq)));
        const std::string value = trim(line.substr(eq + 1));
        char* stop = nullptr;
        const long n = std::strtol(value.c_str(), &stop, 10);
        const bool number = !value.empty() && stop && (*stop == '\0' || *stop == ' ' || *stop == '\r');
        if (key == "ndims") {
            if (!number || n < 1 || n > 10) {
                *why = "NDims " + value + " (a volume has 1 to 10)";
                return false;
            }
            haveDims = true;
        } else if (key == "elementnumberofchannels" && (!number || n < 1 || n > kMaxBands)) {
            *why = "ElementNumberOfChannels " + value + " (1 to " + std::to_string(kMaxBands) + ")";
            return false;
        } else if ((key == "headersize" || key == "compresseddatasize") && (!number || n < -1)) {
            *why = key == "headersize" ? "HeaderSize " + value : "CompressedDataSize " + value;
            return false;
        } else if (key == "elementdatafile") {
            // The header's last line: a name, LOCAL, LIST or a pattern.
            const std::string raw = line.substr(eq + 1);
            for (char c : raw)
                if (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\t') {
                    *why = "ElementDataFile is not a file name";
                    return false;
                }
            break;
        }
    }
    if (!haveDims) {
        *why = "the header lacks NDims";
        return false;
    }
    return true;
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
    default: return nullptr;
    }
}

// The voxel type of an ITK element type of the table, 0 for the others.
VoxelType voxelTypeOf(ItkType t)
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

// One NIfTI, NRRD or MetaImage file.
// Asks a 4-D NIfTI IO for one time point only (the library reads just that
// part of the file); r then holds that one. Other files are read whole.
uint64_t requestTimePoint(itk::ImageIOBase* io, Format format, size_t timePoint, RawRead* r, uint64_t total)
{
    requestAll(io);
    if (format != Format::Nifti || io->GetNumberOfDimensions() != 4 || r->timePoints < 2 ||
        timePoint >= r->timePoints)
        return total;
    itk::ImageIORegion region = io->GetIORegion();
    region.SetIndex(3, static_cast<itk::ImageIORegion::IndexValueType>(timePoint));
    region.SetSize(3, 1);
    io->SetIORegion(region);
    r->bufferFrom = timePoint;
    return total / r->timePoints;
}

bool handedBackAsRead(const RawRead& r);

bool g_plainNiftiReads = true; // setPlainNiftiReads
// Bytes read between two words to the parent on the voxels final so far.
const uint64_t kPlainSlab = 4u << 20;

// Where the voxels of a NIfTI file start when they can be taken as the file
// stores them, without ITK (whose read puts them in a buffer of its own and
// copies them over): header and voxels in one uncompressed file, in this
// machine's byte order, unscaled, one value of bitpix bits per voxel and as
// many bytes as ITK counts. False for all other files.
bool plainNifti(const std::string& path, const NiftiFacts& nifti, itk::ImageIOBase* io, const RawRead& r,
                uint64_t total, uint64_t* offset)
{
    if (!g_plainNiftiReads || !nifti.oneFile || !endsWith(lowerCase(path), ".nii") || isGzip(path))
        return false;
    if (nifti.bigEndian != hostIsBigEndian() || nifti.intercept != 0.0 || (nifti.slope != 0.0 && nifti.slope != 1.0))
        return false;
    if (io->GetPixelType() != itk::IOPixelEnum::SCALAR || r.bands != 1 ||
        r.elementBytes * 8 != static_cast<size_t>(nifti.bitpix) || total != nifti.storedBytes)
        return false;
    // The header, and for NIfTI-1 the four bytes that say whether extensions follow.
    if (nifti.voxOffset < (nifti.version == 1 ? 352u : 544u))
        return false;
    *offset = nifti.voxOffset;
    return true;
}

// bytes of the file at offset into buffer, in slabs. When tell (the buffer
// is handed back as read), a reader's child first offers the parent to read
// them itself, and otherwise tells it after each slab that the voxels so
// far are final. False with *why.
bool readPlain(const std::string& path, uint64_t offset, void* buffer, uint64_t bytes, bool tell, std::string* why)
{
    if (tell && readerVoxelsInFile(buffer, path, offset))
        return true;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    char* p = static_cast<char*>(buffer);
    uint64_t done = 0;
    while (done < bytes) {
        const uint64_t end = std::min(bytes, done + kPlainSlab);
        while (done < end) {
            const ssize_t n = pread(fd, p + done, static_cast<size_t>(end - done), static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *why = n < 0 ? std::strerror(errno) : "the file ends early";
                close(fd);
                return false;
            }
            done += static_cast<uint64_t>(n);
        }
        if (tell)
            readerVoxelsFinal(buffer, done);
    }
    close(fd);
    return true;
}

bool readSingle(const std::string& path, Format format, size_t timePoint, RawRead* r, std::string* error)
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
    } else if (format == Format::Meta) {
        std::string why;
        if (!checkMetaHeader(path, &why)) {
            *error = path + ": the header cannot be read (" + why + ")";
            return false;
        }
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
        r->oriented = format == Format::Nifti  ? nifti.qform > 0 || nifti.sform > 0
                      : format == Format::Nrrd ? nrrd.hasSpace
                                               : true;
        const uint64_t wanted = requestTimePoint(io, format, timePoint, r, total);
        uint64_t offset = 0;
        const bool plain = format == Format::Nifti && plainNifti(path, nifti, io, *r, total, &offset);
        readerExpectsBytes(wanted);
        GUARDED_VOXELS_AS(r->buffer, "tmpdata", static_cast<size_t>(wanted));
        if (!r->buffer) {
            g_garbageCollector.remove(r->buffer);
            *error = path + ": not enough memory for " + formatSize(total) + " bytes";
            return false;
        }
        if (plain) {
            // One time point of a 4-D file lies whole after the ones before.
            std::string why;
            if (!readPlain(path, offset + r->bufferFrom * wanted, r->buffer, wanted, handedBackAsRead(*r), &why)) {
                freeRaw(r);
                *error = path + ": the voxels cannot be read (" + why + ")";
                return false;
            }
        } else {
            io->Read(r->buffer);
        }
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
        break;
    case Format::Nrrd:
        info += "Format:\t\tNRRD (" + nrrd.encoding + ")\n";
        break;
    default:
        info += "Format:\t\tMetaImage\n";
        break;
    }
    if (format != Format::Nifti && r->elementBytes > 1)
        if (const char* order = byteOrderText(io))
            info += std::string("Byte order:\t") + order + "\n";
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

// Where the laid-out axes point among left, anterior and superior: stored
// axis perm[t] becomes axis t, reversed where flip[t].
void keepDirection(const RawRead& r, const int perm[3], const bool flip[3], VolumeFile* out)
{
    out->oriented = true;
    for (int w = 0; w < 3; ++w)
        for (int t = 0; t < 3; ++t) {
            // LPS to LAS: y changes sign; a reversed axis its direction.
            const double d = (w == 1 ? -1.0 : 1.0) * (flip[t] ? -1.0 : 1.0) * r.direction[w][perm[t]];
            out->direction[w * 3 + t] = std::isfinite(d) ? static_cast<float>(d) : (w == t ? 1.0f : 0.0f);
        }
}

// Whether finish hands the reader's buffer back as it is (one volume, a
// type of the program's, the stored axes as they are): a reader in a child
// may then tell the parent of the voxels it has read.
bool handedBackAsRead(const RawRead& r)
{
    int perm[3] = {0, 1, 2};
    bool flip[3] = {false, false, false};
    if (r.oriented)
        axesFor(r, perm, flip);
    return r.timePoints == 1 && voxelTypeOf(r.itkType) != 0 && perm[0] == 0 && perm[1] == 1 && perm[2] == 2 &&
           !flip[0] && !flip[1] && !flip[2];
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

const char* typeName(VoxelType type)
{
#define GLIMRA_TYPE_NAME(name, code, gl, ctype) \
    if (type == gl) return name;
    GLIMRA_VOXEL_TYPES(GLIMRA_TYPE_NAME)
#undef GLIMRA_TYPE_NAME
    return "";
}

// Volume timePoint of r, in the program's types and axes, into *out.
bool finish(const std::string& path, RawRead* r, size_t timePoint, VolumeFile* out, std::string* error)
{
    const size_t voxels = r->dims[0] * r->dims[1] * r->dims[2];
    const size_t values = voxels * static_cast<size_t>(r->bands);
    if (timePoint >= r->timePoints) {
        *error = path + ": has " + formatSize(r->timePoints) + " time point" + (r->timePoints == 1 ? "" : "s") +
                 ", not " + formatSize(timePoint + 1);
        freeRaw(r);
        return false;
    }
    // The time point's values, where the reader left them.
    unsigned char* source =
        static_cast<unsigned char*>(r->buffer) + (timePoint - r->bufferFrom) * values * r->elementBytes;
    VoxelType type = voxelTypeOf(r->itkType);
    size_t elementBytes = r->elementBytes;
    if (!type) {
        if (!narrowToFloat(r->itkType, source, values)) {
            *error = path + ": unsupported voxel type " + itk::ImageIOBase::GetComponentTypeAsString(r->itkType);
            freeRaw(r);
            return false;
        }
        logNote(__FILE__, __LINE__,
                (path + ": " + itk::ImageIOBase::GetComponentTypeAsString(r->itkType) +
                 " values read as FLOAT\n").c_str());
        type = VOXEL_FLOAT;
        elementBytes = sizeof(float);
    }
    int perm[3] = {0, 1, 2};
    bool flip[3] = {false, false, false};
    if (r->oriented)
        axesFor(*r, perm, flip);
    void* data = r->buffer;
    if (!handedBackAsRead(*r)) {
        const size_t bytes = values * elementBytes;
        GUARDED_VOXELS_AS(data, "tmpdata", bytes);
        if (!data) {
            g_garbageCollector.remove(data);
            freeRaw(r);
            *error = path + ": not enough memory for " + formatSize(bytes) + " bytes";
            return false;
        }
        layOut(source, static_cast<unsigned char*>(data), r->dims,
               perm, flip, elementBytes * static_cast<size_t>(r->bands));
        freeRaw(r);
    }
    r->buffer = nullptr;

    out->data = data;
    out->type = type;
    out->bands = r->bands;
    out->timePoints = r->timePoints;
    for (int t = 0; t < 3; ++t) {
        out->resolution[t] = static_cast<int>(r->dims[perm[t]]);
        out->spacing[t] = static_cast<float>(r->spacing[perm[t]]);
    }
    if (r->oriented)
        keepDirection(*r, perm, flip, out);
    std::string& info = out->info;
    info = "Data file name:\t" + baseName(path) + "\n" + r->info;
    info += "Resolution:\t" + std::to_string(out->resolution[0]) + " " + std::to_string(out->resolution[1]) +
            " " + std::to_string(out->resolution[2]) + "\n";
    info += "Spacing:\t" + formatFloat(out->spacing[0]) + " " + formatFloat(out->spacing[1]) + " " +
            formatFloat(out->spacing[2]) + "\n";
    info += std::string("Data type:\t") + typeName(type) + "\n";
    info += "Number of bands:\t" + std::to_string(out->bands) + "\n";
    if (r->timePoints > 1)
        info += timePointsLine(r->timePoints, timePoint);
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

void setPlainNiftiReads(bool on)
{
    g_plainNiftiReads = on;
}

bool importForeignVolume(const std::string& path, VolumeFile* out, std::string* error, size_t timePoint)
{
    out->release();
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
        ok = format == Format::Dicom  ? readDicomSeries(path, false, &raw, error)
             : format == Format::Tiff ? readTiffStack(path, &raw, error)
                                      : readSingle(path, format, timePoint, &raw, error);
    }
    if (!ok) {
        freeRaw(&raw);
        return false;
    }
    return finish(path, &raw, timePoint, out, error);
}


