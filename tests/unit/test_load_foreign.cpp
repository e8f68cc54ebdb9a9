// Volumes of other programs' formats: NIfTI files against the raw voxels they
// hold, files and DICOM series written with ITK read back equal, orientation,
// element types, and damaged files refused with the file and the fault named.
#include "dicom_check.h"
#include "error_handling.h"
#include "histogram.h"
#include "load.h"
#include "load_foreign.h"
#include "load_test_util.h"
#include "multi_volume.h"
#include "reader_process.h"
#include "test_support.h"
#include "volume.h"
#include "voxel_types.h"

#include <itkGDCMImageIO.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>
#include <itkTIFFImageIO.h>

#include <tiffio.h>
#include <zlib.h>
#include <zvf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using testsupport::TempDir;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// 16-bit values of a raw file in the machine's order.
Bytes raw16(const std::string& path, bool bigEndian)
{
    Bytes b = bytesOf(readFile(path));
    const uint16_t one = 1;
    const bool hostBig = *reinterpret_cast<const unsigned char*>(&one) == 0;
    if (bigEndian != hostBig)
        for (size_t i = 0; i + 1 < b.size(); i += 2)
            std::swap(b[i], b[i + 1]);
    return b;
}

Bytes importedBytes(const VolumeFile& v, size_t valueBytes)
{
    const size_t n = static_cast<size_t>(v.resolution[0]) * v.resolution[1] * v.resolution[2] * v.bands;
    const unsigned char* p = static_cast<const unsigned char*>(v.data);
    return Bytes(p, p + n * valueBytes);
}

// A grid to write with one of ITK's IOs; direction columns are the stored
// axes in ITK's LPS world.
struct Grid
{
    Bytes bytes;                 // the voxels, x fastest, components adjacent
    size_t dims[3] = {1, 1, 1};  // stored axes
    double spacing[3] = {1, 1, 1};
    double direction[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}; // LAS by default
    double origin[3] = {0, 0, 0};
    itk::IOComponentEnum type = itk::IOComponentEnum::UCHAR;
    unsigned components = 1;
};

void writeGrid(itk::ImageIOBase* io, const std::string& path, const Grid& g, bool compress = false)
{
    io->SetNumberOfDimensions(3);
    itk::ImageIORegion region(3);
    for (unsigned i = 0; i < 3; ++i) {
        io->SetDimensions(i, g.dims[i]);
        io->SetSpacing(i, g.spacing[i]);
        io->SetOrigin(i, g.origin[i]);
        io->SetDirection(i, std::vector<double>{g.direction[0][i], g.direction[1][i], g.direction[2][i]});
        region.SetIndex(i, 0);
        region.SetSize(i, g.dims[i]);
    }
    io->SetComponentType(g.type);
    io->SetNumberOfComponents(g.components);
    io->SetPixelType(g.components == 1 ? itk::IOPixelEnum::SCALAR
                                       : (g.components == 3 ? itk::IOPixelEnum::RGB : itk::IOPixelEnum::VECTOR));
    io->SetUseCompression(compress);
    io->SetFileName(path);
    io->SetIORegion(region);
    io->Write(g.bytes.data());
}

class ForeignTest : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        vol.release();
        histogram.release();
        v.release();
        EXPECT_EQ(gpProgressDlg, nullptr);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    TempDir dir;
    VolumeFile vol;
    std::string error;
    Volume v;
    std::string info;
    uint32_t myBaseline = 0;
};

std::string formatsDir()
{
    return testsupport::dataDir() + "/formats";
}

// ---- the two NIfTI files of the shared data against their raw voxels ----

TEST_F(ForeignTest, NiftiFilesHoldTheRawVoxelsWithTheirSpacing)
{
    SKIP_WITHOUT_DATA();
    struct Case
    {
        const char* file;
        const char* raw;
        bool rawBigEndian;
        int size[3];
        float spacing[3];
        const char* lines[3];
    } cases[] = {
        {"anatomical.nii", "anatomical_33x41x25_int16_be.raw", true, {33, 41, 25}, {2, 2, 2},
         {"Format:\t\tNIfTI-1\nByte order:\tbig-endian\n", "Orientation:\tLAS in the file, shown as LAS\n",
          "Spacing:\t2.000000 2.000000 2.000000\n"}},
        {"example4d.nii.gz", "example4d_vol0_128x96x24_int16.raw", false, {128, 96, 24}, {2, 2, 2.2f},
         {"Format:\t\tNIfTI-1\nByte order:\tlittle-endian\n", "Time points:\t2, the first shown\n",
          "Resolution:\t128 96 24\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(importForeignVolume(formatsDir() + "/" + c.file, &vol, &error)) << error;
        EXPECT_EQ(vol.type, static_cast<GLenum>(GL_SHORT));
        EXPECT_EQ(vol.bands, 1);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(vol.resolution[a], c.size[a]);
            EXPECT_NEAR(vol.spacing[a], c.spacing[a], 1e-5);
        }
        EXPECT_TRUE(importedBytes(vol, 2) == raw16(testsupport::dataDir() + "/" + c.raw, c.rawBigEndian));
        for (const char* line : c.lines)
            EXPECT_NE(vol.info.find(line), std::string::npos) << line << " in\n" << vol.info;
        EXPECT_EQ(vol.info.find("Data file name:\t" + std::string(c.file) + "\n"), 0u);
        vol.release();
    }
}

// The second time point of example4d: another volume of the same shape,
// named so in the text; the first asked for by number is the raw file's;
// a time point beyond the last is refused, and a child reads the same.
TEST_F(ForeignTest, NiftiTimePointsAreReadOneAtATime)
{
    SKIP_WITHOUT_DATA();
    const std::string path = formatsDir() + "/example4d.nii.gz";
    const Bytes first = raw16(testsupport::dataDir() + "/example4d_vol0_128x96x24_int16.raw", false);
    ASSERT_TRUE(importForeignVolume(path, &vol, &error, 0)) << error;
    EXPECT_EQ(vol.timePoints, 2u);
    EXPECT_TRUE(importedBytes(vol, 2) == first);
    vol.release();

    ASSERT_TRUE(importForeignVolume(path, &vol, &error, 1)) << error;
    EXPECT_EQ(vol.timePoints, 2u);
    EXPECT_EQ(vol.type, static_cast<GLenum>(GL_SHORT));
    EXPECT_EQ(vol.resolution[0], 128);
    EXPECT_EQ(vol.resolution[1], 96);
    EXPECT_EQ(vol.resolution[2], 24);
    const Bytes second = importedBytes(vol, 2);
    ASSERT_EQ(second.size(), first.size());
    size_t differing = 0;
    for (size_t i = 0; i < first.size(); i += 2)
        differing += first[i] != second[i] || first[i + 1] != second[i + 1];
    // An EPI series: most voxels of the head change a little from one scan to the next.
    EXPECT_GT(differing, first.size() / 2 / 10);
    EXPECT_NE(vol.info.find("Time points:\t2, the 2nd shown\n"), std::string::npos) << vol.info;
    EXPECT_EQ(vol.info.find("the first shown"), std::string::npos);
    vol.release();

    // Through the child process, as the program reads it.
    ASSERT_TRUE(readTimePoint(path, 1, &vol, &error)) << error;
    EXPECT_EQ(vol.timePoints, 2u);
    EXPECT_TRUE(importedBytes(vol, 2) == second);
    vol.release();

    EXPECT_FALSE(readTimePoint(path, 2, &vol, &error));
    EXPECT_EQ(error, path + ": has 2 time points, not 3");
    EXPECT_EQ(vol.data, nullptr);
    EXPECT_FALSE(readTimePoint(formatsDir() + "/anatomical.nii", 1, &vol, &error));
    EXPECT_EQ(error, formatsDir() + "/anatomical.nii: has 1 time point, not 2");
    EXPECT_FALSE(readTimePoint(testsupport::dataDir() + "/nucleon.dat", 1, &vol, &error));
    EXPECT_EQ(error, testsupport::dataDir() + "/nucleon.dat: has no time points");
}

// functional.nii's 20 time points: each after the rescale, the last one
// named, the ordinals in English.
TEST_F(ForeignTest, RescaledNiftiTimePointsAreNamed)
{
    SKIP_WITHOUT_DATA();
    const std::string path = formatsDir() + "/functional.nii";
    const std::string file = readFile(path);
    const double slope = 0.07540696859359741, intercept = 3100.76171875;
    const size_t voxels = 17 * 21 * 3;
    for (size_t t : {size_t(1), size_t(2), size_t(10), size_t(19)}) {
        SCOPED_TRACE(t);
        ASSERT_TRUE(importForeignVolume(path, &vol, &error, t)) << error;
        ASSERT_EQ(vol.type, static_cast<GLenum>(GL_FLOAT));
        EXPECT_EQ(vol.timePoints, 20u);
        const float* v = static_cast<const float*>(vol.data);
        int wrong = 0;
        for (size_t i = 0; i < voxels; ++i) {
            const size_t at = 352 + 2 * (t * voxels + i);
            const int16_t stored = static_cast<int16_t>(static_cast<unsigned char>(file[at]) |
                                                        (static_cast<unsigned char>(file[at + 1]) << 8));
            wrong += std::fabs(v[i] - (stored * slope + intercept)) > 1e-3;
        }
        EXPECT_EQ(wrong, 0);
        const char* name = t == 1 ? "2nd" : t == 2 ? "3rd" : t == 10 ? "11th" : "20th";
        EXPECT_NE(vol.info.find(std::string("Time points:\t20, the ") + name + " shown\n"), std::string::npos)
            << vol.info;
        vol.release();
    }
}

// functional.nii stores 16-bit values with a slope and an intercept: the
// first of its 20 time points arrives as FLOAT, value * slope + intercept.
TEST_F(ForeignTest, RescaledNiftiArrivesInItsUnits)
{
    SKIP_WITHOUT_DATA();
    const std::string path = formatsDir() + "/functional.nii";
    ASSERT_TRUE(importForeignVolume(path, &vol, &error)) << error;
    ASSERT_EQ(vol.type, static_cast<GLenum>(GL_FLOAT));
    EXPECT_EQ(vol.resolution[0], 17);
    EXPECT_EQ(vol.resolution[1], 21);
    EXPECT_EQ(vol.resolution[2], 3);
    EXPECT_FLOAT_EQ(vol.spacing[2], 8.0f);
    const std::string file = readFile(path);
    const double slope = 0.07540696859359741, intercept = 3100.76171875;
    const float* v = static_cast<const float*>(vol.data);
    int wrong = 0;
    for (size_t i = 0; i < 17 * 21 * 3; ++i) {
        const int16_t stored = static_cast<int16_t>(static_cast<unsigned char>(file[352 + 2 * i]) |
                                                    (static_cast<unsigned char>(file[353 + 2 * i]) << 8));
        wrong += std::fabs(v[i] - (stored * slope + intercept)) > 1e-3;
    }
    EXPECT_EQ(wrong, 0);
    for (const char* line : {"Rescale:\tslope 0.075407 intercept 3100.761719\n", "Time points:\t20, the first shown\n",
                             "Data type:\tFLOAT\n"})
        EXPECT_NE(vol.info.find(line), std::string::npos) << line << " in\n" << vol.info;
}

// ---- DICOM: the single slices, rescale and orientation ----

TEST_F(ForeignTest, CtSliceInHounsfieldUnitsWithRowsFromAnteriorUpward)
{
    SKIP_WITHOUT_DATA();
    const std::string path = formatsDir() + "/CT_small.dcm";
    ASSERT_TRUE(importForeignVolume(path, &vol, &error)) << error;
    EXPECT_EQ(vol.resolution[0], 128);
    EXPECT_EQ(vol.resolution[1], 128);
    EXPECT_EQ(vol.resolution[2], 1);
    EXPECT_NEAR(vol.spacing[0], 0.661468, 1e-6);
    EXPECT_NEAR(vol.spacing[1], 0.661468, 1e-6);
    ASSERT_EQ(vol.type, static_cast<GLenum>(GL_INT));
    // The stored 16-bit values follow the pixel-data element (7FE0,0010) OW
    // of 32768 bytes; HU = value - 1024; the file's rows run from anterior to
    // posterior, y here from posterior to anterior.
    const std::string file = readFile(path);
    const size_t start = file.find(std::string("\xe0\x7f\x10\x00OW\0\0\0\x80\0\0", 12)) + 12;
    ASSERT_LE(start + 32768, file.size());
    const int32_t* hu = static_cast<const int32_t*>(vol.data);
    int mismatches = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const size_t at = start + 2 * (static_cast<size_t>(127 - y) * 128 + x);
            const int16_t stored = static_cast<int16_t>(static_cast<unsigned char>(file[at]) |
                                                        (static_cast<unsigned char>(file[at + 1]) << 8));
            mismatches += hu[y * 128 + x] != stored - 1024;
        }
    EXPECT_EQ(mismatches, 0);
    for (const char* line : {"Format:\t\tDICOM\n", "Modality:\tCT\n", "Slices:\t\t1\n",
                             "Rescale:\tslope 1 intercept -1024\n", "Orientation:\tLPS in the file, shown as LAS\n"})
        EXPECT_NE(vol.info.find(line), std::string::npos) << line << " in\n" << vol.info;
    // Neither the patient's name nor the identifier.
    EXPECT_EQ(vol.info.find("CompressedSamples"), std::string::npos);
    EXPECT_EQ(vol.info.find("1CT1"), std::string::npos);

    vol.release();
    ASSERT_TRUE(importForeignVolume(formatsDir() + "/MR_small.dcm", &vol, &error)) << error;
    EXPECT_EQ(vol.resolution[0], 64);
    EXPECT_EQ(vol.resolution[1], 64);
    EXPECT_EQ(vol.resolution[2], 1);
    EXPECT_NEAR(vol.spacing[0], 0.3125, 1e-6);
    EXPECT_EQ(vol.type, static_cast<GLenum>(GL_SHORT));
    EXPECT_NE(vol.info.find("Modality:\tMR\n"), std::string::npos);
}

// The headsq slices as a DICOM series: files named in shuffled order, slice
// positions along the normal decide. A smaller second series shares the folder.
class DicomSeriesTest : public ForeignTest
{
protected:
    void writeSlice(const std::string& name, const Grid& g, const char* series, int number, size_t index,
                    double z)
    {
        itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
        io->KeepOriginalUIDOn();
        itk::MetaDataDictionary& d = io->GetMetaDataDictionary();
        itk::EncapsulateMetaData<std::string>(d, "0010|0010", "Doe^Jane");
        itk::EncapsulateMetaData<std::string>(d, "0010|0020", "PID4711");
        itk::EncapsulateMetaData<std::string>(d, "0008|0060", number == 3 ? "MR" : "CT");
        itk::EncapsulateMetaData<std::string>(d, "0008|103e", number == 3 ? "small" : "head");
        itk::EncapsulateMetaData<std::string>(d, "0020|0011", std::to_string(number));
        itk::EncapsulateMetaData<std::string>(d, "0020|000d", "1.2.826.0.1.3680043.2.1125.1");
        itk::EncapsulateMetaData<std::string>(d, "0020|000e", series);
        itk::EncapsulateMetaData<std::string>(d, "0008|0016", "1.2.840.10008.5.1.4.1.1.2");
        itk::EncapsulateMetaData<std::string>(d, "0008|0018", std::string(series) + "." + std::to_string(index + 1));
        itk::EncapsulateMetaData<std::string>(d, "0020|0013", std::to_string(index + 1));
        itk::EncapsulateMetaData<std::string>(d, "0028|0004", "MONOCHROME2");
        Grid slice = g;
        slice.dims[2] = 1;
        const size_t bytes = g.dims[0] * g.dims[1] * 2;
        slice.bytes.assign(g.bytes.begin() + index * bytes, g.bytes.begin() + (index + 1) * bytes);
        slice.origin[2] = z;
        writeGrid(io, dir.file(name), slice);
    }
    // headsq (64 x 64 x 93, 3.2 x 3.2 x 1.5) with rows from posterior to
    // anterior, slices from inferior to superior; names shuffled.
    Grid writeHeadSeries(std::vector<std::string>* names)
    {
        Grid g;
        g.bytes = raw16(testsupport::dataDir() + "/headsq_64x64x93_int16.raw", false);
        g.dims[0] = 64;
        g.dims[1] = 64;
        g.dims[2] = 93;
        g.spacing[0] = g.spacing[1] = 3.2;
        g.type = itk::IOComponentEnum::SHORT;
        std::vector<size_t> order(93);
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        for (size_t i = 0; i < order.size(); ++i) {
            names->push_back("im" + std::to_string(i) + ".dcm");
            // File i holds slice order[i]; positions run against the normal's
            // sign of nothing: z = -40 + 1.5 k.
            writeSlice(names->back(), g, "1.2.826.0.1.3680043.2.1125.2", 2, order[i], -40.0 + 1.5 * order[i]);
        }
        return g;
    }
};

TEST_F(DicomSeriesTest, SlicesOrderedByPositionAndTheLargestSeriesOpened)
{
    SKIP_WITHOUT_DATA();
    std::vector<std::string> names;
    const Grid g = writeHeadSeries(&names);
    Grid small = g;
    small.dims[2] = 3;
    for (size_t k = 0; k < 3; ++k)
        writeSlice("s" + std::to_string(k), small, "1.2.826.0.1.3680043.2.1125.3", 3, k, 2.0 * k);

    LogCapture log;
    ASSERT_TRUE(importForeignVolume(dir.path(), &vol, &error)) << error;
    EXPECT_EQ(vol.resolution[0], 64);
    EXPECT_EQ(vol.resolution[1], 64);
    EXPECT_EQ(vol.resolution[2], 93);
    EXPECT_NEAR(vol.spacing[0], 3.2, 1e-6);
    EXPECT_NEAR(vol.spacing[2], 1.5, 1e-5);
    EXPECT_EQ(vol.type, static_cast<GLenum>(GL_SHORT));
    EXPECT_TRUE(importedBytes(vol, 2) == g.bytes);
    for (const char* line : {"Format:\t\tDICOM\n", "Modality:\tCT\n", "Series description:\thead\n", "Slices:\t\t93\n"})
        EXPECT_NE(vol.info.find(line), std::string::npos) << line << " in\n" << vol.info;
    EXPECT_EQ(vol.info.find("Doe"), std::string::npos);
    EXPECT_EQ(vol.info.find("PID4711"), std::string::npos);
    EXPECT_NE(log.text().find("Other DICOM series in " + dir.path() + ": series 3 \"small\" MR, 3 files"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(log.text().find("Doe"), std::string::npos);

    // One file of the small series opens that series.
    vol.release();
    ASSERT_TRUE(importForeignVolume(dir.file("s1"), &vol, &error)) << error;
    EXPECT_EQ(vol.resolution[2], 3);
    EXPECT_NEAR(vol.spacing[2], 2.0, 1e-6);
    EXPECT_NE(vol.info.find("Series description:\tsmall\n"), std::string::npos);
}

TEST_F(DicomSeriesTest, ASliceOfAnotherSizeOrWithoutPixelDataIsNamed)
{
    SKIP_WITHOUT_DATA();
    std::vector<std::string> names;
    Grid g = writeHeadSeries(&names);
    Grid odd = g;
    odd.dims[0] = odd.dims[1] = 32;
    writeSlice("odd.dcm", odd, "1.2.826.0.1.3680043.2.1125.2", 2, 0, 500.0);
    EXPECT_FALSE(importForeignVolume(dir.path(), &vol, &error));
    EXPECT_EQ(error, dir.file("odd.dcm") + ": a slice of 32 x 32 in a series of 64 x 64 slices");
    EXPECT_EQ(vol.data, nullptr);

    // The CT slice cut before its pixel data.
    const std::string ct = readFile(formatsDir() + "/CT_small.dcm");
    TempDir other;
    ASSERT_TRUE(writeFile(other.file("cut.dcm"), ct.substr(0, ct.find(std::string("\xe0\x7f\x10\x00", 4)))));
    EXPECT_FALSE(importForeignVolume(other.file("cut.dcm"), &vol, &error));
    EXPECT_EQ(error.compare(0, other.file("cut.dcm").size() + 2, other.file("cut.dcm") + ": "), 0) << error;
}

// ---- NRRD, MetaImage and TIFF written with ITK read back equal ----

TEST_F(ForeignTest, FilesWrittenByTheLibraryReadBackEqual)
{
    SKIP_WITHOUT_DATA();
    Grid head;
    head.bytes = raw16(testsupport::dataDir() + "/headsq_64x64x93_int16.raw", false);
    head.dims[0] = head.dims[1] = 64;
    head.dims[2] = 93;
    head.spacing[0] = head.spacing[1] = 3.2;
    head.spacing[2] = 1.5;
    head.type = itk::IOComponentEnum::SHORT;
    Grid nucleon;
    nucleon.bytes = bytesOf(readFile(testsupport::dataDir() + "/nucleon.raw"));
    nucleon.dims[0] = nucleon.dims[1] = nucleon.dims[2] = 41;
    // Three bands from the bucky ball, stored without orientation in TIFF.
    Grid rgb;
    const Bytes bucky = bytesOf(readFile(testsupport::dataDir() + "/bucky_32x32x32_uint8.raw"));
    for (unsigned char b : bucky) {
        rgb.bytes.push_back(b);
        rgb.bytes.push_back(static_cast<unsigned char>(255 - b));
        rgb.bytes.push_back(static_cast<unsigned char>(b / 2));
    }
    rgb.dims[0] = rgb.dims[1] = rgb.dims[2] = 32;
    rgb.components = 3;
    rgb.direction[1][1] = 1.0; // TIFF keeps no direction: stored order stays

    struct Case
    {
        const char* name;
        itk::ImageIOBase::Pointer io;
        const Grid* grid;
        bool compress;
        GLenum type;
        const char* format;
    } cases[] = {
        {"head.nrrd", itk::NrrdImageIO::New().GetPointer(), &head, false, GL_SHORT, "Format:\t\tNRRD (raw)\n"},
        {"head_gz.nrrd", itk::NrrdImageIO::New().GetPointer(), &head, true, GL_SHORT, "Format:\t\tNRRD (gzip)\n"},
        {"head.mhd", itk::MetaImageIO::New().GetPointer(), &head, false, GL_SHORT, "Format:\t\tMetaImage\n"},
        {"nucleon.mha", itk::MetaImageIO::New().GetPointer(), &nucleon, true, GL_UNSIGNED_BYTE,
         "Format:\t\tMetaImage\n"},
        {"head.nii.gz", itk::NiftiImageIO::New().GetPointer(), &head, true, GL_SHORT, "Format:\t\tNIfTI-1\n"},
        {"pair.hdr", itk::NiftiImageIO::New().GetPointer(), &head, false, GL_SHORT, "Format:\t\tNIfTI-1\n"},
        {"bucky.tif", itk::TIFFImageIO::New().GetPointer(), &rgb, false, GL_UNSIGNED_BYTE, "Format:\t\tTIFF\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeGrid(c.io, dir.file(c.name), *c.grid, c.compress);
        ASSERT_TRUE(importForeignVolume(dir.file(c.name), &vol, &error)) << error;
        EXPECT_EQ(vol.type, c.type);
        EXPECT_EQ(vol.bands, static_cast<int>(c.grid->components));
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(vol.resolution[a], static_cast<int>(c.grid->dims[a]));
        EXPECT_TRUE(importedBytes(vol, c.type == GL_SHORT ? 2 : 1) == c.grid->bytes);
        if (c.grid == &head) {
            EXPECT_NEAR(vol.spacing[2], 1.5, 1e-5);
        }
        EXPECT_NE(vol.info.find(c.format), std::string::npos) << vol.info;
        vol.release();
    }
    // A header whose image file went missing.
    ASSERT_EQ(std::remove(dir.file("pair.img").c_str()), 0);
    EXPECT_FALSE(importForeignVolume(dir.file("pair.hdr"), &vol, &error));
    EXPECT_EQ(error, dir.file("pair.hdr") + ": the image file of this header (pair.img) is missing");
}

// f(x, y, z) = x + 10 y + 100 z in the program's axes, stored in a MetaImage
// whose first axis runs superior, second to the patient's right (ITK's -x),
// third posterior (ITK's +y): the import undoes permutation and flips.
TEST_F(ForeignTest, StoredAxesAreBroughtToLeftAnteriorSuperior)
{
    const int nx = 5, ny = 4, nz = 3; // program's axes
    Grid g;
    g.dims[0] = nz;
    g.dims[1] = nx;
    g.dims[2] = ny;
    g.spacing[0] = 3.0;
    g.spacing[1] = 1.0;
    g.spacing[2] = 2.0;
    double d[3][3] = {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}}; // [world LPS][stored axis]
    std::memcpy(g.direction, d, sizeof d);
    g.type = itk::IOComponentEnum::SHORT;
    g.bytes.resize(nx * ny * nz * 2);
    int16_t* s = reinterpret_cast<int16_t*>(g.bytes.data());
    for (int k = 0; k < ny; ++k)         // stored axis 2: posterior, y = ny - 1 - k
        for (int j = 0; j < nx; ++j)     // stored axis 1: right, x = nx - 1 - j
            for (int i = 0; i < nz; ++i) // stored axis 0: superior, z = i
                s[(k * nx + j) * nz + i] = static_cast<int16_t>((nx - 1 - j) + 10 * (ny - 1 - k) + 100 * i);
    writeGrid(itk::MetaImageIO::New(), dir.file("turned.mha"), g);
    ASSERT_TRUE(importForeignVolume(dir.file("turned.mha"), &vol, &error)) << error;
    ASSERT_EQ(vol.resolution[0], nx);
    ASSERT_EQ(vol.resolution[1], ny);
    ASSERT_EQ(vol.resolution[2], nz);
    EXPECT_FLOAT_EQ(vol.spacing[0], 1.0f);
    EXPECT_FLOAT_EQ(vol.spacing[1], 2.0f);
    EXPECT_FLOAT_EQ(vol.spacing[2], 3.0f);
    const int16_t* v = static_cast<const int16_t*>(vol.data);
    int wrong = 0;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                wrong += v[(z * ny + y) * nx + x] != x + 10 * y + 100 * z;
    EXPECT_EQ(wrong, 0);
    EXPECT_NE(vol.info.find("Orientation:\tSRP in the file, shown as LAS\n"), std::string::npos) << vol.info;
    // Laid out along the patient's axes, the axes point exactly there.
    EXPECT_TRUE(vol.oriented);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(vol.direction[i], i % 4 == 0 ? 1.0f : 0.0f) << i;
    vol.release();

    // Turned 30 degrees about superior: what the layout could not take out
    // stays in the direction, y reversed from posterior to anterior.
    Grid oblique;
    oblique.type = itk::IOComponentEnum::SHORT;
    oblique.bytes.assign(oblique.dims[0] * oblique.dims[1] * oblique.dims[2] * 2, 0);
    const double c = std::cos(M_PI / 6), sn = std::sin(M_PI / 6);
    const double o[3][3] = {{c, -sn, 0}, {sn, c, 0}, {0, 0, 1}};
    std::memcpy(oblique.direction, o, sizeof o);
    writeGrid(itk::MetaImageIO::New(), dir.file("oblique.mha"), oblique);
    ASSERT_TRUE(importForeignVolume(dir.file("oblique.mha"), &vol, &error)) << error;
    EXPECT_TRUE(vol.oriented);
    const float want[9] = {float(c), float(sn), 0, float(-sn), float(c), 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(vol.direction[i], want[i], 1e-6) << i;
}

// All seven element types keep their type; double and 64-bit integers become FLOAT with a log line.
TEST_F(ForeignTest, ElementTypesKeptOrReadAsFloat)
{
    using T = itk::IOComponentEnum;
    struct Case
    {
        T itkType;
        size_t bytes;
        GLenum gl;
    } cases[] = {{T::UCHAR, 1, GL_UNSIGNED_BYTE}, {T::CHAR, 1, GL_BYTE},   {T::USHORT, 2, GL_UNSIGNED_SHORT},
                 {T::SHORT, 2, GL_SHORT},         {T::UINT, 4, GL_UNSIGNED_INT}, {T::INT, 4, GL_INT},
                 {T::FLOAT, 4, GL_FLOAT},         {T::DOUBLE, 8, GL_FLOAT}, {T::LONGLONG, 8, GL_FLOAT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(itk::ImageIOBase::GetComponentTypeAsString(c.itkType));
        Grid g;
        g.dims[0] = 3;
        g.dims[1] = 2;
        g.dims[2] = 2;
        g.type = c.itkType;
        g.bytes.assign(12 * c.bytes, 0);
        // Values 0 ... 11 in the element type.
        for (int i = 0; i < 12; ++i) {
            unsigned char* at = g.bytes.data() + i * c.bytes;
            if (c.itkType == T::FLOAT) { const float f = i; std::memcpy(at, &f, 4); }
            else if (c.itkType == T::DOUBLE) { const double f = i; std::memcpy(at, &f, 8); }
            else if (c.bytes == 8) { const int64_t f = i; std::memcpy(at, &f, 8); }
            else if (c.bytes == 4) { const int32_t f = i; std::memcpy(at, &f, 4); }
            else if (c.bytes == 2) { const int16_t f = static_cast<int16_t>(i); std::memcpy(at, &f, 2); }
            else *at = static_cast<unsigned char>(i);
        }
        const std::string path = dir.file("t.mha");
        writeGrid(itk::MetaImageIO::New(), path, g);
        LogCapture log;
        ASSERT_TRUE(importForeignVolume(path, &vol, &error)) << error;
        EXPECT_EQ(vol.type, c.gl);
        for (int i = 0; i < 12; ++i) {
            const unsigned char* at = static_cast<const unsigned char*>(vol.data);
            double value;
            if (c.gl == GL_FLOAT) { float f; std::memcpy(&f, at + 4 * i, 4); value = f; }
            else if (c.bytes == 4) { int32_t f; std::memcpy(&f, at + 4 * i, 4); value = f; }
            else if (c.bytes == 2) { int16_t f; std::memcpy(&f, at + 2 * i, 2); value = f; }
            else value = at[i];
            EXPECT_EQ(value, i);
        }
        const bool converted = c.bytes == 8;
        EXPECT_EQ(log.text().find(path + ": " + itk::ImageIOBase::GetComponentTypeAsString(c.itkType) +
                                  " values read as FLOAT") != std::string::npos,
                  converted)
            << log.text();
        vol.release();
    }
}

// ---- damaged files ----

std::string gzipped(const std::string& bytes)
{
    uLongf size = compressBound(bytes.size()) + 32;
    std::string out(size, '\0');
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST_F(ForeignTest, DamagedFilesNameTheFileAndTheFault)
{
    SKIP_WITHOUT_DATA();
    const std::string nii = readFile(formatsDir() + "/anatomical.nii");
    std::string wide = nii;
    wide[42] = 0x75; // dim[1] (big-endian int16) 33 -> 30000
    wide[43] = 0x30;
    std::string notANumber = nii;
    notANumber.replace(320, 4, "\x7f\xc0\0\0", 4); // srow_z[2] (big-endian float) NaN
    std::string gz = gzipped(nii);
    std::string corrupt = gz;
    for (size_t i = 2000; i < 2100; ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
    const std::string nrrd = "NRRD0004\ntype: short\ndimension: 3\nsizes: 1000 1000 1000\n"
                             "encoding: raw\nendian: little\n\n" + std::string(100, '\0');
    const std::string mha = "ObjectType = Image\nNDims = 3\nDimSize = 4000 4000 4000\n"
                            "ElementType = MET_USHORT\nElementDataFile = LOCAL\n" + std::string(64, '\0');
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* fault; // the message after "PATH: "
    } cases[] = {
        {"short.nii", nii.substr(0, 20000),
         "the header declares 33 x 41 x 25 (67650 bytes), the file holds 19648 bytes of voxels"},
        {"wide.nii", wide, "the header declares 30000 x 41 x 25 (61500000 bytes), the file holds 67650 bytes of voxels"},
        {"cut.nii.gz", gz.substr(0, gz.size() / 2), "compressed data do not inflate"},
        {"bad.nii.gz", corrupt, "compressed data do not inflate"},
        {"empty.nii", "", "the NIfTI header is damaged"},
        {"nan.nii", notANumber, "the NIfTI header holds an orientation that is not a number"},
        {"big.nrrd", nrrd, "the header declares 1000 x 1000 x 1000 (2000000000 bytes), the file holds 100 bytes of voxels"},
        {"big.mha", mha, "the header declares 4000 x 4000 x 4000"},
        {"noise.nrrd", "NRRD0004\nthis is not a header\n", "the header cannot be read"},
        {"negative.mha", "ObjectType = Image\nNDims = -3\nDimSize = 4 4 4\nElementType = MET_UCHAR\n"
                         "ElementDataFile = LOCAL\n",
         "the header cannot be read (NDims -3 (a volume has 1 to 10))"},
        {"nameless.mha", std::string("ObjectType = Image\nNDims = 3\nDimSize = 4 3 2\nElementType = MET_SHORT\n"
                                     "CompressedData = True\nElementDataFile = ") + std::string(4, '\0') + "LOCAL\n",
         "the header cannot be read (ElementDataFile is not a file name)"},
        {"cut.tif", std::string("II*\0\x08\0\0\0", 8), "the header cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(writeFile(path, c.bytes));
        EXPECT_FALSE(importForeignVolume(path, &vol, &error));
        EXPECT_EQ(error.compare(0, path.size() + 2 + std::strlen(c.fault), path + ": " + c.fault), 0) << error;
        EXPECT_EQ(vol.data, nullptr);
    }
}

// A file that cannot be imported leaves the data on screen as they were and
// says why in a box; a good one replaces them.
TEST_F(ForeignTest, FailedImportKeepsTheLoadedData)
{
    SKIP_WITHOUT_DATA();
    ProgressRecorder recorder;
    LoadResult loaded = loadData(formatsDir() + "/anatomical.nii", v, info, recorder);
    ASSERT_TRUE(loaded);
    dataLoaded(v, loaded, "anatomical.nii");
    EXPECT_EQ(v.resolution[0], 33);
    EXPECT_EQ(v.resolution[1], 41);
    EXPECT_EQ(v.resolution[2], 25);
    EXPECT_FLOAT_EQ(v.extent[1], 41.0f / 33.0f);
    EXPECT_FLOAT_EQ(v.extent[2], 25.0f / 33.0f);
    EXPECT_NE(info.find("Ratio:\t\t1.000000 1.242424 0.757576\nSwap Data:\tNO\n"), std::string::npos) << info;
    const std::vector<std::pair<int, std::string>> steps = {
        {2, "Loading data."},       {9, "Scaling data."},           {12, "Converting data."},
        {15, "Generating histogram."}, {20, "Generating 3D textures."}, {99, "Done."}};
    EXPECT_EQ(recorder.record.updates, steps);
    EXPECT_EQ(recorder.record.opened, 1);
    const std::string kept = info;

    const std::string bad = dir.file("bad.nii");
    ASSERT_TRUE(writeFile(bad, readFile(formatsDir() + "/anatomical.nii").substr(0, 1000)));
    recorder.record.updates.clear();
    loaded = loadData(bad, v, info, recorder);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(loaded.keptOld);
    dataLoaded(v, loaded, bad);
    EXPECT_TRUE(v.isData);
    EXPECT_EQ(v.resolution[0], 33);
    EXPECT_EQ(info, kept);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].second, "Warning");
    EXPECT_EQ(recorder.boxes[0].first,
              bad + ": the header declares 33 x 41 x 25 (67650 bytes), the file holds 648 bytes of voxels");
    const std::vector<std::pair<int, std::string>> updates = {{2, "Loading data."}, {100, "Failed."}};
    EXPECT_EQ(recorder.record.updates, updates);
    EXPECT_EQ(recorder.record.opened, recorder.record.closed);
}

TEST(ForeignNames, WhatCountsAsAVolumeFile)
{
    TempDir dir, empty;
    writeFile(dir.file("plain"), std::string(128, '\0') + "DICM" + std::string(64, '\0'));
    writeFile(dir.file("notes.txt"), "ObjectFileName: a.raw\n");
    struct Case
    {
        std::string path;
        bool foreign;
    } cases[] = {{"a.nii", true},       {"A.NII.GZ", true},        {"b.nrrd", true},  {"b.nhdr", true},
                 {"c.mha", true},       {"c.mhd", true},           {"d.dcm", true},   {"e.tif", true},
                 {"e.TIFF", true},      {"f.hdr", true},           {"x.zvf", false},  {"x.ZVF", false},
                 {"x.dat", false},      {dir.path(), true},        {dir.file("plain"), true},
                 {dir.file("notes.txt"), false}, {empty.path(), false}};
    for (const Case& c : cases)
        EXPECT_EQ(isForeignVolume(c.path), c.foreign) << c.path;
}

} // namespace

// zvftool convert: the NIfTI file's voxels and spacing in a zvf file.
TEST(ForeignConvert, ZvftoolWritesTheImportedVoxelsAndSpacing)
{
    SKIP_WITHOUT_DATA();
    const std::string tool = testsupport::buildDir() + "/zvftool";
    if (!testsupport::fileExists(tool))
        GTEST_SKIP() << "zvftool not built here";
    TempDir dir;
    const std::string out = dir.file("anatomical.zvf");
    ASSERT_EQ(testsupport::runCommand(tool + " convert " + formatsDir() + "/anatomical.nii " + out), 0);
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    FILE* f = zvfReadHeader(out.c_str(), &h);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FLOAT_EQ(h.px, 2.0f);
    EXPECT_FLOAT_EQ(h.pz, 2.0f);
    zvfFreeHeader(&h);
    zvfFreeHdrTF(&h);
    void* data = nullptr;
    int nx = 0, ny = 0, nz = 0, bands = 0, type = 0, ncomments = 0;
    char** comments = nullptr;
    ASSERT_EQ(zvfReadCubGrid(out.c_str(), &data, &nx, &ny, &nz, &bands, &type, &comments, &ncomments), 1);
    EXPECT_EQ(nx, 33);
    EXPECT_EQ(ny, 41);
    EXPECT_EQ(nz, 25);
    EXPECT_EQ(bands, 1);
    EXPECT_EQ(type, zvfInt16);
    const Bytes raw = raw16(testsupport::dataDir() + "/anatomical_33x41x25_int16_be.raw", true);
    EXPECT_EQ(std::memcmp(data, raw.data(), raw.size()), 0);
    std::free(data);
    zvfFreeComments(comments, ncomments);

    // A damaged file: one line naming it, status 1.
    ASSERT_TRUE(writeFile(dir.file("cut.nii"), readFile(formatsDir() + "/anatomical.nii").substr(0, 400)));
    std::string said;
    EXPECT_EQ(testsupport::runCommand(tool + " convert " + dir.file("cut.nii") + " " + out + " 2>&1", &said), 1);
    EXPECT_EQ(said, "zvftool: " + dir.file("cut.nii") +
                        ": the header declares 33 x 41 x 25 (67650 bytes), the file holds 48 bytes of voxels\n");
}

// Bands of foreign files through the pipeline: six go band by band to the
// multi-band loader, two become four channels; a NIfTI mask of the data's
// size loads, one of another size is refused with the usual box.
TEST_F(ForeignTest, BandsAndMasksThroughThePipeline)
{
    SKIP_WITHOUT_DATA();
    Grid six;
    six.dims[0] = 3;
    six.dims[1] = 2;
    six.components = 6;
    for (int i = 0; i < 6; ++i)
        for (int b = 0; b < 6; ++b)
            six.bytes.push_back(b == 0 ? 7 : 200);
    writeGrid(itk::MetaImageIO::New(), dir.file("six.mha"), six);
    ASSERT_TRUE(loadData(dir.file("six.mha"), v, info));
    ASSERT_NE(v.myMVolumeInfo, nullptr);
    EXPECT_EQ(v.myMVolumeInfo->getTotal(), 5);
    // The histogram saw band 0 (7) alone.
    ASSERT_NE(histogram.getHist(), nullptr);
    EXPECT_EQ(histogram.getHist()[7], 255.0f);
    EXPECT_EQ(histogram.getHist()[200], 0.0f);

    Grid two = six;
    two.components = 2;
    two.type = itk::IOComponentEnum::SHORT;
    two.bytes.assign(6 * 2 * 2, 1);
    writeGrid(itk::MetaImageIO::New(), dir.file("two.mha"), two);
    ASSERT_TRUE(loadData(dir.file("two.mha"), v, info));
    EXPECT_EQ(v.myMVolumeInfo, nullptr);
    EXPECT_EQ(v.nbrChannels, 4);
    EXPECT_NE(info.find("Number of bands:\t2\n"), std::string::npos) << info;

    ProgressRecorder recorder;
    const LoadResult loaded = loadData(formatsDir() + "/anatomical.nii", v, info, recorder);
    ASSERT_TRUE(loaded);
    dataLoaded(v, loaded, "anatomical.nii");
    Grid mask;
    mask.dims[0] = 33;
    mask.dims[1] = 41;
    mask.dims[2] = 25;
    mask.bytes.assign(33 * 41 * 25, 1);
    writeGrid(itk::NiftiImageIO::New(), dir.file("mask.nii"), mask);
    EXPECT_TRUE(loadMask(dir.file("mask.nii"), v, recorder));
    mask.dims[0] = 32;
    mask.bytes.resize(32 * 41 * 25);
    writeGrid(itk::NiftiImageIO::New(), dir.file("small.nii"), mask);
    EXPECT_FALSE(loadMask(dir.file("small.nii"), v, recorder));
    EXPECT_EQ(recorder.boxes, (decltype(recorder.boxes){{"Incompatible mask resolution.", "Warning"}}));
}

// The walk that runs before GDCM: real files pass, elements that declare
// more than the file has left are refused wherever they sit.
TEST(DicomElements, LengthsBeyondTheEndOfTheFileAreRefused)
{
    SKIP_WITHOUT_DATA();
    TempDir dir;
    const std::string ct = readFile(formatsDir() + "/CT_small.dcm");
    const size_t pixels = ct.find(std::string("\xe0\x7f\x10\x00", 4));
    const std::string meta = ct.substr(0, 132) + std::string("\x02\x00\x02\x00UI\x1a\x00", 8) +
                             std::string("1.2.840.10008.5.1.4.1.1.2\0", 26) +
                             std::string("\x02\x00\x10\x00UI\x14\x00", 8) +
                             std::string("1.2.840.10008.1.2.1\0", 20);
    std::string deep = meta + std::string("\x08\x00\x15\x11SQ\0\0\xff\xff\xff\xff", 12) +
                       std::string("\xfe\xff\x00\xe0\xff\xff\xff\xff", 8) +
                       std::string("\x08\x00\x50\x11UI\xf0\xff", 8) + "1.2";
    struct Case
    {
        const char* name;
        std::string bytes;
        bool needPreamble, ok, pixelData;
        const char* why;
    } cases[] = {
        {"ct.dcm", ct, true, true, true, ""},
        {"cut.dcm", ct.substr(0, pixels), true, true, false, ""},
        {"big.dcm", meta + std::string("\x10\x00\x10\x00OB\0\0\x00\x00\x00\xf0", 12) + "x", true, false, false,
         "element (0010,0010) declares 4026531840 bytes, 1 are left"},
        {"deep.dcm", deep, true, false, false, "element (0008,1150) declares 65520 bytes, 3 are left"},
        {"implicit.dcm", std::string("\x08\x00\x20\x00\xff\xff\xff\x7f", 8) + "20240101", false, false, false,
         "element (0008,0020) declares 2147483647 bytes, 8 are left"},
        {"plain.nii", readFile(formatsDir() + "/anatomical.nii"), true, false, false, "not a DICOM file"},
        {"report.dcm", ct.substr(0, 132) + std::string("\x02\x00\x02\x00UI\x1e\x00", 8) +
                           std::string("1.2.840.10008.5.1.4.1.1.88.11\0", 30) + std::string("\x08\x00\x60\x00CS\x02\x00SR", 10),
         true, false, false, "storage class \"1.2.840.10008.5.1.4.1.1.88.11\", which is not read as an image"},
        {"five.dcm", meta + std::string("\x28\x00\x02\x00US\x02\x00\x05\x00", 10), true, false, false,
         "5 samples per pixel"},
        {"bits.dcm", meta + std::string("\x28\x00\x00\x01US\x02\x00\x01\x00", 10), true, false, false,
         "1 bits allocated per value"},
        {"sign.dcm", meta + std::string("\x28\x00\x03\x01US\x02\x00\x07\x00", 10), true, false, false,
         "pixel representation 7"},
        {"meta_only.dcm", meta, true, false, false, "nothing after the file meta information"},
        {"short_padding.dcm", ct.substr(0, ct.size() - 3), true, false, false,
         "element (FFFC,FFFC) declares 126 bytes, 123 are left"},
        {"tail.dcm", ct + "abc", true, false, false, "cut inside an element"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.file(c.name), c.bytes));
        DicomCheck check;
        std::string why;
        EXPECT_EQ(checkDicomFile(dir.file(c.name), c.needPreamble, &check, &why), c.ok);
        EXPECT_EQ(why, c.why);
        if (c.ok) {
            EXPECT_EQ(check.pixelData, c.pixelData);
        }
    }
}

// TIFF stacks through libtiff: 16-bit signed pages written by ITK read back
// equal; a page of another size, a cut strip and a palette are refused.
TEST_F(ForeignTest, TiffStacksPageByPage)
{
    SKIP_WITHOUT_DATA();
    Grid head;
    head.bytes = raw16(testsupport::dataDir() + "/headsq_64x64x93_int16.raw", false);
    head.dims[0] = head.dims[1] = 64;
    head.dims[2] = 93;
    head.type = itk::IOComponentEnum::SHORT;
    head.direction[1][1] = 1.0;
    writeGrid(itk::TIFFImageIO::New(), dir.file("head.tif"), head);
    ASSERT_TRUE(importForeignVolume(dir.file("head.tif"), &vol, &error)) << error;
    EXPECT_EQ(vol.type, static_cast<GLenum>(GL_SHORT));
    EXPECT_EQ(vol.resolution[2], 93);
    EXPECT_TRUE(importedBytes(vol, 2) == head.bytes);
    EXPECT_NE(vol.info.find("Orientation:\tnot given, axes as stored\n"), std::string::npos) << vol.info;
    EXPECT_FALSE(vol.oriented);
    vol.release();

    // Pages written one by one: 4 x 3, then 5 x 3; a palette page.
    const auto writePages = [&](const std::string& name, const std::vector<uint32_t>& widths, uint16_t photometric) {
        TIFF* t = TIFFOpen(dir.file(name).c_str(), "w");
        ASSERT_NE(t, nullptr);
        for (uint32_t w : widths) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 3u);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3u);
            if (photometric == PHOTOMETRIC_PALETTE) {
                std::vector<uint16_t> map(256, 0);
                TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
            }
            std::vector<unsigned char> pixels(w * 3, 7);
            TIFFWriteEncodedStrip(t, 0, pixels.data(), static_cast<tmsize_t>(pixels.size()));
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
    };
    writePages("two.tif", {4, 4}, PHOTOMETRIC_MINISBLACK);
    ASSERT_TRUE(importForeignVolume(dir.file("two.tif"), &vol, &error)) << error;
    EXPECT_EQ(vol.resolution[0], 4);
    EXPECT_EQ(vol.resolution[2], 2);
    EXPECT_EQ(static_cast<const unsigned char*>(vol.data)[23], 7);
    vol.release();
    writePages("odd.tif", {4, 5}, PHOTOMETRIC_MINISBLACK);
    writePages("palette.tif", {4}, PHOTOMETRIC_PALETTE);
    const std::string two = readFile(dir.file("two.tif"));
    // The second page's pixels lie after the first's: cut into them.
    ASSERT_TRUE(writeFile(dir.file("cut.tif"), two.substr(0, 8 + 12 + 1)));
    struct Case
    {
        const char* name;
        const char* fault;
    } cases[] = {
        {"odd.tif", "page 2 differs from the first (5 x 3, 1 x 8 bits)"},
        {"palette.tif", "a colour palette"},
        {"cut.tif", "the header cannot be read (not a readable TIFF file)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(importForeignVolume(dir.file(c.name), &vol, &error));
        EXPECT_EQ(error, dir.file(c.name) + ": " + c.fault);
    }
}

// ---- NIfTI voxels taken straight from the file ----

// A NIfTI-1 file made field by field: dims x, y, z, t, the datatype code and
// bits, voxel i = i * 37 + 5 (a quarter of that for DT_FLOAT32 and
// DT_FLOAT64), in either byte order.
struct NiftiMade
{
    int16_t dims[4];
    int16_t datatype, bits;
    float offset, slope, intercept;
    bool bigEndian;
};

std::string niftiBytes(const NiftiMade& m)
{
    const uint16_t one = 1;
    const bool swap = m.bigEndian != (*reinterpret_cast<const unsigned char*>(&one) == 0);
    std::string h(static_cast<size_t>(m.offset), '\0');
    auto put = [&](size_t at, const void* v, size_t n) {
        std::string b(static_cast<const char*>(v), n);
        if (swap)
            std::reverse(b.begin(), b.end());
        h.replace(at, n, b);
    };
    const int16_t n = m.dims[3] > 1 ? 4 : 3;
    const int16_t dim[8] = {n, m.dims[0], m.dims[1], m.dims[2], m.dims[3], 1, 1, 1};
    const int32_t size = 348;
    put(0, &size, 4);
    for (int i = 0; i < 8; ++i) {
        const float spacing = 1.5f;
        put(40 + 2 * i, &dim[i], 2);
        put(76 + 4 * i, &spacing, 4);
    }
    put(70, &m.datatype, 2);
    put(72, &m.bits, 2);
    put(108, &m.offset, 4);
    put(112, &m.slope, 4);
    put(116, &m.intercept, 4);
    h.replace(344, 4, std::string("n+1\0", 4));
    const size_t bytes = static_cast<size_t>(m.bits / 8);
    for (size_t i = 0; i < static_cast<size_t>(m.dims[0] * m.dims[1] * m.dims[2] * m.dims[3]); ++i) {
        const uint64_t v = i * 37 + 5;
        const uint8_t u8 = static_cast<uint8_t>(v);
        const int16_t i16 = static_cast<int16_t>(v);
        const int32_t i32 = static_cast<int32_t>(v);
        const float f = static_cast<float>(v) / 4;
        const double d = static_cast<double>(v) / 4;
        const void* value = m.datatype == 16 ? static_cast<const void*>(&f)
                            : m.datatype == 64 ? static_cast<const void*>(&d)
                            : bytes == 1 ? static_cast<const void*>(&u8)
                            : bytes == 2 ? static_cast<const void*>(&i16) : static_cast<const void*>(&i32);
        char b[8];
        std::memcpy(b, value, bytes);
        if (swap)
            std::reverse(b, b + bytes);
        h.append(b, bytes);
    }
    return h;
}

// Every field, the text and the voxels equal.
void expectSameVolume(const VolumeFile& a, const VolumeFile& b)
{
    ASSERT_TRUE(a.data && b.data);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.bands, b.bands);
    EXPECT_EQ(a.timePoints, b.timePoints);
    EXPECT_EQ(a.oriented, b.oriented);
    EXPECT_EQ(a.info, b.info);
    EXPECT_EQ(std::memcmp(a.direction, b.direction, sizeof a.direction), 0);
    EXPECT_EQ(std::memcmp(a.resolution, b.resolution, sizeof a.resolution), 0);
    EXPECT_EQ(std::memcmp(a.spacing, b.spacing, sizeof a.spacing), 0);
    EXPECT_EQ(std::memcmp(a.data, b.data, importedBytes(a, bytesOfVoxelType(a.type)).size()), 0);
}

// Read straight from the file, here and through the child (which leaves
// reading to this process, or tells it slab by slab what it has read), a
// NIfTI file gives what ITK gives, the files ITK must convert and those
// whose axes are laid out anew included.
TEST_F(ForeignTest, NiftiVoxelsStraightFromTheFileReadAsThroughTheLibrary)
{
    const struct
    {
        const char* name;
        NiftiMade made;
        size_t timePoint;
    } cases[] = {
        {"short.nii", {{256, 256, 40, 1}, 4, 16, 352, 0, 0, false}, 0},  // DT_INT16, several slabs
        {"extended.nii", {{9, 7, 5, 1}, 2, 8, 480, 1, 0, false}, 0},    // DT_UINT8 after room for extensions
        {"times.nii", {{7, 5, 3, 4}, 16, 32, 352, 0, 0, false}, 2},     // DT_FLOAT32, the third time point
        {"double.nii", {{6, 5, 4, 1}, 64, 64, 352, 0, 0, false}, 0},    // DT_FLOAT64, read as FLOAT
        {"big.nii", {{9, 7, 5, 1}, 8, 32, 352, 0, 0, true}, 0},         // DT_INT32 swapped by ITK
        {"scaled.nii", {{9, 7, 5, 1}, 4, 16, 352, 2, 1, false}, 0},     // scaled by ITK
    };
    std::vector<std::pair<std::string, size_t>> files;
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(dir.file(c.name), niftiBytes(c.made)));
        files.emplace_back(dir.file(c.name), c.timePoint);
    }
    ASSERT_TRUE(writeFile(dir.file("short.nii.gz"), gzipped(niftiBytes(cases[0].made))));
    files.emplace_back(dir.file("short.nii.gz"), 0);
    Grid flipped; // stored right to left (ITK's +x): x is reversed
    flipped.dims[0] = 6;
    flipped.dims[1] = 5;
    flipped.dims[2] = 4;
    flipped.direction[0][0] = -1;
    for (int i = 0; i < 6 * 5 * 4; ++i)
        flipped.bytes.push_back(static_cast<unsigned char>(i * 7));
    writeGrid(itk::NiftiImageIO::New(), dir.file("flipped.nii"), flipped);
    files.emplace_back(dir.file("flipped.nii"), 0);

    for (const auto& [path, timePoint] : files) {
        SCOPED_TRACE(path);
        VolumeFile library;
        setPlainNiftiReads(false);
        ASSERT_TRUE(importForeignVolume(path, &library, &error, timePoint)) << error;
        setPlainNiftiReads(true);
        ASSERT_TRUE(importForeignVolume(path, &vol, &error, timePoint)) << error;
        expectSameVolume(vol, library);
        vol.release();
        ASSERT_TRUE(readTimePoint(path, timePoint, &vol, &error)) << error;
        expectSameVolume(vol, library);
        vol.release();
        // A child reading a file other than the one named reads it itself.
        const auto other = [&](VolumeFile* out, std::string* why) {
            return importForeignVolume(path, out, why, timePoint);
        };
        ASSERT_TRUE(readInChild(dir.file("another.nii"), other, &vol, &error)) << error;
        expectSameVolume(vol, library);
        vol.release();
        library.release();
    }
}
