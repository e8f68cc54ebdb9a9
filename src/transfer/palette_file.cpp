// Palette (".pal") and lookup-table files of the transfer function.
//
// A palette file holds the control points of the four curves, red, green,
// blue, alpha: per curve the point count, one line "x y" per point (both
// scaled to 0..1) and an empty line. Any other name is a lookup table: one
// line "r, g, b, a" per table entry. Every line ends in CR LF, so a table
// line is exactly 40 bytes.
#include "transfer_function.h"

#include "error_handling.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>
#include <vector>

namespace {

// Point counts beyond this are taken for a damaged file.
const int kMaxPalettePoints = 65536;
// A channel read from a lookup table keeps at most this many points.
const int kMaxTablePoints = 256;
// Six printed decimals put a written whole position or value up to 0.002
// below itself once scaled back; the truncation that follows would take
// that for a whole step down, so saving and reading again would move points.
const float kPrintedSlack = 0.01f;

// Numbers are written and read with a '.' whatever locale the toolkit set.
class ClassicNumbers
{
public:
    ClassicNumbers() : myLocale(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0)))
    {
        if (myLocale)
            myPrevious = uselocale(myLocale);
    }
    ~ClassicNumbers()
    {
        if (myLocale) {
            uselocale(myPrevious);
            freelocale(myLocale);
        }
    }
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    locale_t myLocale;
    locale_t myPrevious = static_cast<locale_t>(0);
};

class File
{
public:
    File(const std::string& path, const char* mode) : myFile(std::fopen(path.c_str(), mode)) {}
    ~File()
    {
        if (myFile)
            std::fclose(myFile);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return myFile; }

private:
    FILE* myFile;
};

float clamp01(float v)
{
    if (!(v >= 0.0f))
        return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

const char* const kCurveNames[4] = {"curves[0].curve_points", "curves[1].curve_points", "curves[2].curve_points",
                                    "curves[3].curve_points"};

long fileSizeOf(FILE* f)
{
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::rewind(f);
    return size;
}

// The four point blocks of a palette file, x scaled to 0 ... lastX and y to
// 0 ... 255; false when a block is damaged.
bool readPaletteBlocks(FILE* f, float lastX, std::vector<CurvePoint> blocks[4])
{
    for (int c = 0; c < 4; ++c) {
        int count = 0;
        bool ok = std::fscanf(f, "%d", &count) == 1 && count >= 2 && count <= kMaxPalettePoints;
        for (int k = 0; ok && k < count; ++k) {
            float fx = 0.0f;
            float fy = 0.0f;
            ok = std::fscanf(f, "%f %f", &fx, &fy) == 2;
            // Out-of-range and unordered points are repaired by the curve.
            blocks[c].push_back({lastX * fx + kPrintedSlack, fy * 255.0f + kPrintedSlack, 0.0f});
        }
        if (!ok)
            return false;
    }
    return true;
}

// A lookup table has n lines of 40 bytes (CR LF) or of 39 (LF only).
bool tableSizeFits(long fileSize, int n)
{
    return fileSize == 40LL * n || fileSize == 39LL * n;
}

// The lookup-table reader's arrays: the four columns and the bends found in
// one of them, registered while the table is read.
class TableScratch
{
public:
    explicit TableScratch(int n)
    {
        static const char* const names[4] = {"lut[0]", "lut[1]", "lut[2]", "lut[3]"};
        for (int j = 0; j < 4; ++j)
            GUARDED_ARRAY_AS(lut[j], names[j], float, n);
        GUARDED_ARRAY(pomx, CurvePoint, n);
    }
    ~TableScratch()
    {
        for (float*& column : lut)
            if (column)
                RELEASE_ARRAY(column);
        if (pomx)
            RELEASE_ARRAY(pomx);
    }
    TableScratch(const TableScratch&) = delete;
    TableScratch& operator=(const TableScratch&) = delete;
    bool ok() const { return lut[0] && lut[1] && lut[2] && lut[3] && pomx; }

    float* lut[4] = {};          // red, green, blue, alpha, clamped to 0 ... 1
    CurvePoint* pomx = nullptr;  // bends of the column being turned into points
};

// The n "r, g, b, a" lines of a lookup table into the four columns; false at
// the first line that cannot be read.
bool readTableColumns(FILE* f, int n, float* const lut[4])
{
    for (int i = 0; i < n; ++i) {
        if (std::fscanf(f, "%f ,%f ,%f ,%f", &lut[0][i], &lut[1][i], &lut[2][i], &lut[3][i]) != 4)
            return false;
        for (int j = 0; j < 4; ++j)
            lut[j][i] = clamp01(lut[j][i]);
    }
    return true;
}

// The control points of one column of n entries: both ends and the entries
// where the table bends (the rest lie on the straight lines between them);
// at most kMaxTablePoints, the bends evenly picked when there are more.
// pomx holds n points of scratch.
std::vector<CurvePoint> pointsOfColumn(const float* v, int n, float lastX, CurvePoint* pomx)
{
    int found = 0;
    for (int i = 1; i + 1 < n; ++i) {
        const float a = 255.0f * v[i - 1];
        const float b = 255.0f * v[i];
        const float c = 255.0f * v[i + 1];
        if (std::fabs((b - a) - (c - b)) <= 0.01f)
            continue;
        pomx[found++] = {static_cast<float>(i), b + kPrintedSlack, 0.0f};
    }
    const int inner = found < kMaxTablePoints - 2 ? found : kMaxTablePoints - 2;
    std::vector<CurvePoint> points;
    points.reserve(inner + 2);
    points.push_back({0.0f, 255.0f * v[0] + kPrintedSlack, 0.0f});
    for (int m = 0; m < inner; ++m) {
        const long long pick = found == inner ? m : static_cast<long long>(m) * found / inner;
        points.push_back(pomx[pick]);
    }
    points.push_back({lastX, 255.0f * v[n - 1] + kPrintedSlack, 0.0f});
    return points;
}

} // namespace

bool TransferFunction::isPaletteName(const std::string& path)
{
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".pal") == 0;
}

bool TransferFunction::writeFile(const std::string& path) const
{
    File file(path, "wb");
    FILE* f = file.get();
    if (!f)
        return false;
    ClassicNumbers classic;
    if (isPaletteName(path)) {
        const double lastX = tableSize - 1;
        for (const Curve& c : curves) {
            std::fprintf(f, "%d\r\n", c.getCount());
            for (int k = 0; k < c.getCount(); ++k)
                std::fprintf(f, "%f %f\r\n", c.points()[k].x / lastX, c.points()[k].y / 255.0);
            std::fprintf(f, "\r\n");
        }
    } else if (palette) {
        for (int i = 0; i < tableSize; ++i)
            std::fprintf(f, "%f, %f, %f, %f\r\n", palette[4 * i] / 255.0, palette[4 * i + 1] / 255.0,
                         palette[4 * i + 2] / 255.0, palette[4 * i + 3] / 255.0);
    }
    return std::ferror(f) == 0;
}

bool readPalettePoints(const std::string& path, std::vector<CurvePoint> points[4])
{
    File file(path, "rb");
    if (!file.get())
        return false;
    ClassicNumbers classic;
    std::vector<CurvePoint> read[4];
    if (!readPaletteBlocks(file.get(), 1.0f, read))
        return false;
    for (int c = 0; c < 4; ++c) {
        // Without the slack that rounds printed numbers up for whole entries.
        for (CurvePoint& p : read[c])
            p.x -= kPrintedSlack;
        points[c] = read[c];
    }
    return true;
}

bool TransferFunction::readFile(const std::string& path, std::string* why)
{
    auto refuse = [why](const char* file, int line, const char* reason) {
        logBoth(file, line, (std::string(reason) + "\n").c_str());
        if (why)
            *why = reason;
        return false;
    };
    File file(path, "rb");
    FILE* f = file.get();
    if (!f)
        return false;
    const long fileSize = fileSizeOf(f);
    ClassicNumbers classic;
    const float lastX = static_cast<float>(tableSize - 1);

    // Every point is read before a curve changes, so a damaged file leaves
    // the curves as they were.
    std::vector<CurvePoint> points[4];
    if (isPaletteName(path)) {
        if (!readPaletteBlocks(f, lastX, points))
            return refuse(__FILE__, __LINE__, "Not supported pallete file format. (The point list is damaged)");
    } else {
        if (!tableSizeFits(fileSize, tableSize))
            return refuse(__FILE__, __LINE__, "Not supported pallete file format. (The size is not correct)");
        TableScratch table(tableSize);
        if (!table.ok()) {
            if (why)
                *why = "Allocating memory FAILED!";
            return false;
        }
        if (!readTableColumns(f, tableSize, table.lut))
            return refuse(__FILE__, __LINE__, "Not supported pallete file format. (The values are not correct)");
        for (int c = 0; c < 4; ++c)
            points[c] = pointsOfColumn(table.lut[c], tableSize, lastX, table.pomx);
    }
    for (int c = 0; c < 4; ++c) {
        curves[c].setControlPoints(points[c].data(), static_cast<int>(points[c].size()), kCurveNames[c]);
        curves[c].setKind(CURVE_LINEAR);
    }
    myUserCurves = true;
    return true;
}
