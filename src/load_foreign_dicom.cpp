// DICOM series for the import: the folder is scanned here, every file
// walked (dicom_check) before GDCM reads it, slices ordered by position.
#include "load_foreign_parts.h"

#include "dicom_check.h"
#include "error_handling.h"
#include "voxel_buffer.h"

#include <itkGDCMImageIO.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace foreignimport {

namespace {

// Most files one DICOM series may have, and a folder scanned for one.
const size_t kMaxSlices = 65536;
const size_t kMaxFolderFiles = 100000;
// Longest DICOM text field shown (LO and SH values are at most 64 characters).
const size_t kMaxDicomText = 64;

// A text field of the file, printable and bounded; "" when absent.
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

} // namespace

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

} // namespace foreignimport
