#include "data_scale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

DataScale dataScale;

namespace {

// The offset the file's comment gives for Hounsfield units ("... Hounsfield
// units + 1024" stores HU + 1024), 0 without one; false when HU are not named.
bool hounsfieldOffset(const std::string& info, double* offset)
{
    *offset = 0.0;
    if (info.find("Data type:\tzvfIntHUType") != std::string::npos ||
        info.find("Modality:\tCT") != std::string::npos)
        return true;
    const std::string words = "Hounsfield units";
    const size_t at = info.find(words);
    if (at == std::string::npos)
        return false;
    size_t i = at + words.size();
    while (i < info.size() && info[i] == ' ')
        ++i;
    if (i < info.size() && info[i] == '+')
        *offset = std::strtod(info.c_str() + i + 1, nullptr);
    return true;
}

} // namespace

int DataScale::entryOf(double v) const
{
    const double e = std::round(entry(v));
    if (!(e > 0.0))
        return 0;
    return e >= tableSize - 1 ? tableSize - 1 : static_cast<int>(e);
}

std::string DataScale::format(double v) const
{
    char text[64];
    const double a = std::fabs(step);
    const int decimals = a >= 1.0 || a == 0.0 ? 0 : a >= 0.1 ? 1 : a >= 0.01 ? 2 : a >= 0.001 ? 3 : 4;
    std::snprintf(text, sizeof text, "%.*f", decimals, decimals ? v : std::round(v));
    return text;
}

bool DataScale::parse(const std::string& text, int* e) const
{
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v))
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end)
        return false;
    // To the nearest entry: a value shown for an entry comes back to it.
    const double x = std::round(entry(v));
    *e = x < -1e9 ? -1000000000 : x > 1e9 ? 1000000000 : static_cast<int>(x);
    return true;
}

DataScale dataScaleOf(VoxelType type, double low, double high, int tableSize, const std::string& info)
{
    DataScale s;
    s.tableSize = tableSize;
    const double range = high - low;
    // Entries a converted value's bin stands for (a table kept at 256 for
    // 4096 values widens them).
    const double widen = (type == VOXEL_UCHAR || type == VOXEL_CHAR) ? 256.0 / tableSize : 4096.0 / tableSize;
    switch (type) {
    case VOXEL_UCHAR: s.step = widen; break;
    case VOXEL_CHAR: s.offset = -128.0; s.step = widen; s.scaled = true; break;
    case VOXEL_USHORT:
        if (high > 4095.0) {
            s.step = 16.0 * widen;
        } else {
            // 12-bit data: v = low + 4095 q, q the stored fraction of 65535.
            s.offset = low;
            s.step = 16.0 * 4095.0 / 65535.0 * widen;
        }
        s.scaled = true;
        break;
    case VOXEL_SHORT:
        s.offset = low;
        s.step = range * 16.0 / 65535.0 * widen;
        s.scaled = true;
        break;
    case VOXEL_INT:
    case VOXEL_UINT:
        s.offset = low;
        s.step = range * 1048576.0 / 4294967295.0 * widen;
        s.scaled = true;
        break;
    case VOXEL_FLOAT:
        s.offset = low;
        s.step = range / 4095.0 * widen;
        s.scaled = true;
        break;
    default: break;
    }
    if (!(s.step > 0.0))
        s.step = 1.0;
    double hu = 0.0;
    if (hounsfieldOffset(info, &hu)) {
        s.unit = "HU";
        s.offset -= hu;
        s.scaled = true;
    }
    return s;
}
