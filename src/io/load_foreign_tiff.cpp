// TIFF stacks for the import, read with libtiff itself: ITK's TIFF reader
// reads past tag values of damaged files and drops its buffers on errors.
// Every page must match the first; each is read strip by strip or tile by
// tile into its place, rows turned when the page is stored bottom-up.
#include "load_foreign_parts.h"
#include "reader_process.h"

#include "error_handling.h"
#include "voxel_buffer.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace foreignimport {

namespace {

// Most pages a stack may have (directory numbers are 16-bit in older libtiffs).
const size_t kMaxPages = 65535;

// What every page of a stack must share.
struct PageFormat
{
    uint32_t width = 0;      // pixels per row
    uint32_t height = 0;     // rows
    uint16_t samples = 1;    // values per pixel (bands)
    uint16_t bits = 1;       // bits per value
    uint16_t sampleFormat = SAMPLEFORMAT_UINT; // unsigned, signed or float
    uint16_t planar = PLANARCONFIG_CONTIG;     // values of a pixel adjacent
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t compression = COMPRESSION_NONE;
};

bool samePage(const PageFormat& a, const PageFormat& b)
{
    return a.width == b.width && a.height == b.height && a.samples == b.samples && a.bits == b.bits &&
           a.sampleFormat == b.sampleFormat && a.planar == b.planar;
}

void readFormat(TIFF* t, PageFormat* p)
{
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p->width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p->height);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &p->samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &p->bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &p->sampleFormat);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &p->planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &p->compression);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &p->photometric))
        p->photometric = PHOTOMETRIC_MINISBLACK;
}

// The element type of a page; UNKNOWN for what the program cannot hold.
ItkType elementType(const PageFormat& p)
{
    const bool isFloat = p.sampleFormat == SAMPLEFORMAT_IEEEFP;
    const bool isSigned = p.sampleFormat == SAMPLEFORMAT_INT;
    if (p.sampleFormat != SAMPLEFORMAT_UINT && !isFloat && !isSigned)
        return ItkType::UNKNOWNCOMPONENTTYPE;
    switch (p.bits) {
    case 8: return isFloat ? ItkType::UNKNOWNCOMPONENTTYPE : (isSigned ? ItkType::CHAR : ItkType::UCHAR);
    case 16: return isFloat ? ItkType::UNKNOWNCOMPONENTTYPE : (isSigned ? ItkType::SHORT : ItkType::USHORT);
    case 32: return isFloat ? ItkType::FLOAT : (isSigned ? ItkType::INT : ItkType::UINT);
    case 64: return isFloat ? ItkType::DOUBLE : (isSigned ? ItkType::LONGLONG : ItkType::ULONGLONG);
    default: return ItkType::UNKNOWNCOMPONENTTYPE;
    }
}

// Why a page cannot be read, or "" when it can.
std::string pageProblem(const PageFormat& p)
{
    if (p.width < 1 || p.height < 1 || p.width > kMaxAxis || p.height > kMaxAxis)
        return "a page of " + std::to_string(p.width) + " x " + std::to_string(p.height) + " pixels";
    if (p.samples < 1 || p.samples > kMaxBands)
        return std::to_string(p.samples) + " values per pixel";
    if (elementType(p) == ItkType::UNKNOWNCOMPONENTTYPE)
        return std::to_string(p.bits) + "-bit values of sample format " + std::to_string(p.sampleFormat);
    if (p.planar != PLANARCONFIG_CONTIG && p.samples > 1)
        return "values of a pixel stored apart (planar configuration 2)";
    if (p.photometric == PHOTOMETRIC_PALETTE)
        return "a colour palette";
    if (!TIFFIsCODECConfigured(p.compression))
        return "compression " + std::to_string(p.compression) + ", which libtiff here cannot decode";
    return std::string();
}

// One page into dst (rows of width * samples values, top row first).
bool readPage(TIFF* t, const PageFormat& p, unsigned char* dst, size_t rowBytes, std::string* why)
{
    const size_t pageBytes = rowBytes * p.height;
    if (TIFFIsTiled(t)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(t);
        const size_t pixelBytes = rowBytes / p.width;
        if (tw < 1 || th < 1 || tileSize <= 0 || static_cast<uint64_t>(tileSize) < uint64_t(tw) * th * pixelBytes) {
            *why = "damaged tiles";
            return false;
        }
        std::vector<unsigned char> tile(static_cast<size_t>(tileSize));
        for (uint32_t y0 = 0; y0 < p.height; y0 += th)
            for (uint32_t x0 = 0; x0 < p.width; x0 += tw) {
                if (TIFFReadTile(t, tile.data(), x0, y0, 0, 0) < 0) {
                    *why = "a tile cannot be read";
                    return false;
                }
                const uint32_t rows = std::min(th, p.height - y0), cols = std::min(tw, p.width - x0);
                for (uint32_t y = 0; y < rows; ++y)
                    std::memcpy(dst + (y0 + y) * rowBytes + x0 * pixelBytes, tile.data() + y * tw * pixelBytes,
                                cols * pixelBytes);
            }
    } else {
        const uint32_t strips = TIFFNumberOfStrips(t);
        uint32_t rowsPerStrip = p.height;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        if (rowsPerStrip < 1 || rowsPerStrip > p.height)
            rowsPerStrip = p.height;
        size_t at = 0;
        for (uint32_t s = 0; s < strips && at < pageBytes; ++s) {
            const size_t want = std::min(static_cast<size_t>(rowsPerStrip) * rowBytes, pageBytes - at);
            const tmsize_t got = TIFFReadEncodedStrip(t, s, dst + at, static_cast<tmsize_t>(want));
            if (got < 0 || static_cast<size_t>(got) != want) {
                *why = "strip " + std::to_string(s + 1) + " cannot be read";
                return false;
            }
            at += want;
        }
        if (at != pageBytes) {
            *why = "its strips hold fewer rows than it declares";
            return false;
        }
    }
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    if (orientation == ORIENTATION_BOTLEFT) {
        std::vector<unsigned char> row(rowBytes);
        for (uint32_t y = 0; y < p.height / 2; ++y) {
            unsigned char* a = dst + y * rowBytes;
            unsigned char* b = dst + (p.height - 1 - y) * rowBytes;
            std::memcpy(row.data(), a, rowBytes);
            std::memcpy(a, b, rowBytes);
            std::memcpy(b, row.data(), rowBytes);
        }
    }
    return true;
}

// The voxel size a page's resolution gives (1 without one).
double spacingOf(TIFF* t, uint32_t tag)
{
    float resolution = 0.0f;
    if (!TIFFGetField(t, tag, &resolution) || !std::isfinite(resolution) || resolution <= 0.0f)
        return 1.0;
    return 1.0 / resolution;
}

} // namespace

bool readTiffStack(const std::string& path, RawRead* r, std::string* error)
{
    // libtiff reports to standard error by default; the import says what matters.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) {
        *error = path + ": the header cannot be read (not a readable TIFF file)";
        return false;
    }
    PageFormat first;
    readFormat(t, &first);
    std::string why = pageProblem(first);
    // Pages are counted as they are walked: libtiff refuses loops of directories.
    size_t pages = 1;
    while (why.empty() && TIFFReadDirectory(t)) {
        PageFormat p;
        readFormat(t, &p);
        if (!samePage(p, first))
            why = "page " + std::to_string(pages + 1) + " differs from the first (" + std::to_string(p.width) +
                  " x " + std::to_string(p.height) + ", " + std::to_string(p.samples) + " x " +
                  std::to_string(p.bits) + " bits)";
        else if (++pages > kMaxPages)
            why = "more than " + std::to_string(kMaxPages) + " pages";
    }
    if (!why.empty()) {
        TIFFClose(t);
        *error = path + ": " + why;
        return false;
    }
    r->itkType = elementType(first);
    r->elementBytes = first.bits / 8;
    r->bands = first.samples;
    r->dims[0] = first.width;
    r->dims[1] = first.height;
    r->dims[2] = pages;
    const size_t rowBytes = static_cast<size_t>(first.width) * first.samples * r->elementBytes;
    const uint64_t total = static_cast<uint64_t>(rowBytes) * first.height * pages;
    uint64_t size = 0;
    fileSize(path, &size);
    const uint64_t expansion = first.compression == COMPRESSION_NONE ? 1 : kCodecExpansion;
    if (total > (static_cast<uint64_t>(1) << 40) || total > size * expansion) {
        TIFFClose(t);
        *error = path + ": the header declares " + declaredText(*r, total) + ", the file holds " + formatSize(size) +
                 " bytes";
        return false;
    }
    readerDeclaredBytes(total);
    readerExpectsBytes(total);
    GUARDED_VOXELS_AS(r->buffer, "tmpdata", static_cast<size_t>(total));
    if (!r->buffer) {
        g_garbageCollector.remove(r->buffer);
        TIFFClose(t);
        *error = path + ": not enough memory for " + formatSize(total) + " bytes";
        return false;
    }
    unsigned char* dst = static_cast<unsigned char*>(r->buffer);
    for (size_t page = 0; page < pages; ++page) {
        if (!TIFFSetDirectory(t, static_cast<tdir_t>(page))) {
            why = "page " + std::to_string(page + 1) + " cannot be reached";
        } else if (page == 0) {
            r->spacing[0] = spacingOf(t, TIFFTAG_XRESOLUTION);
            r->spacing[1] = spacingOf(t, TIFFTAG_YRESOLUTION);
        }
        if (why.empty() && !readPage(t, first, dst + page * rowBytes * first.height, rowBytes, &why))
            why = "page " + std::to_string(page + 1) + ": " + why;
        if (!why.empty()) {
            TIFFClose(t);
            freeRaw(r);
            *error = path + ": " + why;
            return false;
        }
    }
    r->info = "Format:\t\tTIFF\n";
    if (r->elementBytes > 1)
        r->info += std::string("Byte order:\t") + (TIFFIsBigEndian(t) ? "big-endian" : "little-endian") + "\n";
    r->oriented = false;
    TIFFClose(t);
    return true;
}

} // namespace foreignimport
