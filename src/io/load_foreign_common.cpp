// Helpers the import's readers share.
#include "load_foreign_parts.h"
#include "reader_process.h"

#include "error_handling.h"
#include "voxel_buffer.h"


#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace foreignimport {

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

std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\0'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\0'))
        --b;
    return s.substr(a, b - a);
}

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
    readerDeclaredBytes(total);
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

const char* byteOrderText(itk::ImageIOBase* io)
{
    switch (io->GetByteOrder()) {
    case itk::IOByteOrderEnum::BigEndian: return "big-endian";
    case itk::IOByteOrderEnum::LittleEndian: return "little-endian";
    default: return nullptr;
    }
}

} // namespace foreignimport
