// The metadata of OME-Zarr pyramids: .zattrs multiscales and .zarray files.
// nlohmann's parser reads the JSON (without recursion); everything taken
// from it is checked here before it is used.
#include "zarr_metadata.h"

#include "byte_order.h"
#include "file_facts.h"
#include "volume_file.h"
#include "zarr_codec.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <strings.h>

using Json = nlohmann::json;

namespace {

// ---- JSON ----

// Deepest nesting of lists and objects outside strings, counted up to
// limit + 1 (a deeper text is refused before it is parsed).
int jsonDepth(const std::string& text, int limit)
{
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit)
                return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

// The JSON object of a metadata file's text. False with *why.
bool parseObject(const std::string& text, const std::string& file, Json* out, std::string* why)
{
    if (text.size() > kZarrMaxMetadataBytes) {
        *why = file + ": larger than 1 MB";
        return false;
    }
    if (jsonDepth(text, kZarrMaxJsonDepth) > kZarrMaxJsonDepth) {
        *why = file + ": JSON nested deeper than " + std::to_string(kZarrMaxJsonDepth) + " levels";
        return false;
    }
    try {
        *out = Json::parse(text);
    } catch (const Json::parse_error& e) {
        *why = file + ": not JSON (syntax error at byte " + std::to_string(e.byte) + ")";
        return false;
    } catch (const std::exception&) {
        *why = file + ": not JSON";
        return false;
    }
    if (!out->is_object()) {
        *why = file + ": not a JSON object";
        return false;
    }
    return true;
}

// A whole number of the JSON, within [lo, hi].
bool integerIn(const Json& j, int64_t lo, int64_t hi, int64_t* out)
{
    int64_t v;
    if (j.is_number_unsigned()) {
        const uint64_t u = j.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            return false;
        v = static_cast<int64_t>(u);
    } else if (j.is_number_integer()) {
        v = j.get<int64_t>();
    } else {
        return false;
    }
    if (v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// An optional whole-number member: absent leaves *out, present must be in range.
bool optionalInteger(const Json& object, const char* key, int64_t lo, int64_t hi, int* out)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return true;
    int64_t v = 0;
    if (!integerIn(*it, lo, hi, &v))
        return false;
    *out = static_cast<int>(v);
    return true;
}

// A string member of at most limit bytes; false when absent or otherwise.
bool stringMember(const Json& object, const char* key, size_t limit, std::string* out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return false;
    const std::string& s = it->get_ref<const std::string&>();
    if (s.size() > limit)
        return false;
    *out = s;
    return true;
}

// A list of 1 ... kZarrMaxAxes axis lengths from 1 to kZarrMaxAxisLength.
enum class ListFault { None, NotList, BadValue };
ListFault axisLengths(const Json& j, int64_t out[kZarrMaxAxes], int* count)
{
    if (!j.is_array() || j.empty() || j.size() > static_cast<size_t>(kZarrMaxAxes))
        return ListFault::NotList;
    *count = static_cast<int>(j.size());
    for (int a = 0; a < *count; ++a)
        if (!integerIn(j[static_cast<size_t>(a)], 1, kZarrMaxAxisLength, &out[a]))
            return ListFault::BadValue;
    return ListFault::None;
}

// ---- .zarray ----

struct DtypeRow
{
    const char* code; // after the byte-order character
    ZarrKind kind;
    int bytes;
    VoxelType type;   // the program's type the values are read as
};

// Every stored type read: the seven of the program, and 64-bit values read as FLOAT.
const DtypeRow kDtypes[] = {
    {"u1", ZarrKind::Unsigned, 1, VOXEL_UCHAR}, {"i1", ZarrKind::Signed, 1, VOXEL_CHAR},
    {"u2", ZarrKind::Unsigned, 2, VOXEL_USHORT}, {"i2", ZarrKind::Signed, 2, VOXEL_SHORT},
    {"u4", ZarrKind::Unsigned, 4, VOXEL_UINT},  {"i4", ZarrKind::Signed, 4, VOXEL_INT},
    {"f4", ZarrKind::Float, 4, VOXEL_FLOAT},    {"f8", ZarrKind::Float, 8, VOXEL_FLOAT},
    {"u8", ZarrKind::Unsigned, 8, VOXEL_FLOAT}, {"i8", ZarrKind::Signed, 8, VOXEL_FLOAT},
};

// "<u2" and the like into out's type fields.
bool parseDtype(const Json& j, ZarrArray* out)
{
    if (!j.is_string())
        return false;
    const std::string& s = j.get_ref<const std::string&>();
    if (s.size() != 3 || (s[0] != '<' && s[0] != '>' && s[0] != '|'))
        return false;
    for (const DtypeRow& row : kDtypes) {
        if (s.compare(1, 2, row.code) != 0)
            continue;
        if (row.bytes > 1 && s[0] == '|')
            return false;
        out->dtype = s;
        out->kind = row.kind;
        out->itemBytes = row.bytes;
        out->type = row.type;
        out->bigEndian = row.bytes > 1 ? s[0] == '>' : hostBigEndian();
        return true;
    }
    return false;
}

// The lowest and highest value of a stored integer type.
void integerRange(const ZarrArray& a, double* lo, double* hi)
{
    const int bits = 8 * a.itemBytes;
    if (a.kind == ZarrKind::Unsigned) {
        *lo = 0.0;
        *hi = std::ldexp(1.0, bits) - 1.0;
    } else {
        *lo = -std::ldexp(1.0, bits - 1);
        *hi = std::ldexp(1.0, bits - 1) - 1.0;
    }
}

// fill_value: null (0), a number of the type, or NaN and the infinities of floats.
bool parseFill(const Json& j, ZarrArray* out)
{
    if (j.is_null()) {
        out->fill = 0.0;
        return true;
    }
    if (j.is_string()) {
        const std::string& s = j.get_ref<const std::string&>();
        if (out->kind != ZarrKind::Float)
            return false;
        if (s == "NaN")
            out->fill = std::numeric_limits<double>::quiet_NaN();
        else if (s == "Infinity" || s == "-Infinity")
            out->fill = s[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        else
            return false;
        return true;
    }
    if (!j.is_number())
        return false;
    const double v = j.get<double>();
    if (!std::isfinite(v))
        return false;
    if (out->kind != ZarrKind::Float) {
        double lo, hi;
        integerRange(*out, &lo, &hi);
        if (v != std::floor(v) || v < lo || v > hi)
            return false;
    }
    out->fill = v;
    return true;
}

// The blosc codecs this program reads (and libblosc was built with).
bool bloscCodecRead(const std::string& name)
{
    static const char* const names[] = {"blosclz", "lz4", "lz4hc", "zlib", "zstd"};
    for (const char* n : names)
        if (name == n)
            return zarrBloscCodecAvailable(name);
    return false;
}

// "compressor": null, or blosc, zlib, gzip or zstd with their settings.
bool parseCompressor(const Json& j, ZarrCompressor* out, std::string* fault)
{
    *out = ZarrCompressor();
    if (j.is_null())
        return true;
    std::string id;
    if (!j.is_object() || !stringMember(j, "id", kZarrMaxNameLength, &id)) {
        *fault = "compressor is neither null nor an object with an id";
        return false;
    }
    const std::string bad = "compressor " + id + ": ";
    if (id == "blosc") {
        out->codec = ZarrCodec::Blosc;
        if (!stringMember(j, "cname", kZarrMaxNameLength, &out->blosc) || !bloscCodecRead(out->blosc)) {
            *fault = bad + "cname is none of blosclz, lz4, lz4hc, zlib, zstd";
            return false;
        }
        if (!optionalInteger(j, "clevel", 0, 9, &out->level) || !optionalInteger(j, "shuffle", -1, 2, &out->shuffle)) {
            *fault = bad + "clevel or shuffle out of range";
            return false;
        }
        return true;
    }
    if (id == "zlib" || id == "gzip" || id == "zstd") {
        out->codec = id == "zlib" ? ZarrCodec::Zlib : id == "gzip" ? ZarrCodec::Gzip : ZarrCodec::Zstd;
        out->level = id == "zstd" ? 3 : 1;
        if (!optionalInteger(j, "level", id == "zstd" ? -131072 : -1, id == "zstd" ? 22 : 9, &out->level)) {
            *fault = bad + "level out of range";
            return false;
        }
        return true;
    }
    *fault = "compressor \"" + zarrPrintable(id) + "\" is not read (blosc, zlib, gzip, zstd or none are)";
    return false;
}

// shape and chunks, with the chunk's decompressed size bounded.
bool parseShape(const Json& root, ZarrArray* out, std::string* fault)
{
    const auto shape = root.find("shape");
    const ListFault s = shape == root.end() ? ListFault::NotList : axisLengths(*shape, out->shape, &out->axes);
    if (s != ListFault::None) {
        *fault = s == ListFault::NotList ? "shape is not a list of 1 to 5 axis lengths"
                                         : "shape holds a length that is not a whole number from 1 to 2147483647";
        return false;
    }
    const auto chunks = root.find("chunks");
    int count = 0;
    const ListFault c = chunks == root.end() ? ListFault::NotList : axisLengths(*chunks, out->chunks, &count);
    if (c == ListFault::BadValue) {
        *fault = "chunks hold a length that is not a whole number from 1 to 2147483647";
        return false;
    }
    if (c == ListFault::NotList || count != out->axes) {
        *fault = "chunks are not a list of " + std::to_string(out->axes) + " lengths, as shape";
        return false;
    }
    return true;
}

// The decompressed chunk within kZarrMaxChunkBytes.
bool chunkFits(const ZarrArray& a, std::string* fault)
{
    uint64_t bytes = static_cast<uint64_t>(a.itemBytes);
    std::string text;
    bool fits = true;
    for (int i = 0; i < a.axes; ++i) {
        const uint64_t n = static_cast<uint64_t>(a.chunks[i]);
        if (bytes > kZarrMaxChunkBytes / n)
            fits = false;
        else
            bytes *= n;
        text += (i ? " x " : "") + std::to_string(a.chunks[i]);
    }
    if (fits && bytes <= kZarrMaxChunkBytes)
        return true;
    *fault = "a chunk of " + text + " values of " + std::to_string(a.itemBytes) + " bytes is larger than 64 MB";
    return false;
}

// zarr_format, order, filters and dimension_separator.
bool parseLayout(const Json& root, ZarrArray* out, std::string* fault)
{
    const auto format = root.find("zarr_format");
    int64_t version = 0;
    if (format == root.end() || !integerIn(*format, 0, 1000, &version) || version != 2) {
        *fault = format == root.end() ? "zarr_format is missing" : "zarr_format is not 2 (only Zarr version 2 is read)";
        return false;
    }
    std::string order;
    if (!stringMember(root, "order", kZarrMaxNameLength, &order) || order != "C") {
        *fault = "order \"" + zarrPrintable(order) + "\" is not read (only C)";
        return false;
    }
    const auto filters = root.find("filters");
    if (filters != root.end() && !filters->is_null() && !(filters->is_array() && filters->empty())) {
        *fault = "filters are not read";
        return false;
    }
    const auto sep = root.find("dimension_separator");
    if (sep != root.end() && !sep->is_null()) {
        if (!sep->is_string() || (*sep != "." && *sep != "/")) {
            *fault = "dimension_separator is neither \".\" nor \"/\"";
            return false;
        }
        out->separator = sep->get_ref<const std::string&>()[0];
    }
    return true;
}

// Every field of a .zarray, in the order they are checked.
bool parseArrayFields(const Json& root, ZarrArray* out, std::string* fault)
{
    if (!parseLayout(root, out, fault) || !parseShape(root, out, fault))
        return false;
    const auto dtype = root.find("dtype");
    if (dtype == root.end() || !parseDtype(*dtype, out)) {
        const bool named = dtype != root.end() && dtype->is_string();
        *fault = "dtype " + (named ? "\"" + zarrPrintable(dtype->get<std::string>()) + "\" " : std::string()) +
                 "is not read (integers of 1, 2, 4 or 8 bytes and floats of 4 or 8 bytes are)";
        return false;
    }
    if (!chunkFits(*out, fault))
        return false;
    if (!parseFill(root.value("fill_value", Json()), out)) {
        *fault = "fill_value is not a value of dtype \"" + out->dtype + "\"";
        return false;
    }
    const auto compressor = root.find("compressor");
    if (compressor == root.end()) {
        *fault = "compressor is missing";
        return false;
    }
    return parseCompressor(*compressor, &out->compressor, fault);
}

// ---- .zattrs ----

enum class AxisRole { Time, Channel, Space };

// One entry of "axes": an object (0.4) or a name (0.3).
bool parseAxis(const Json& j, std::string* name, std::string* unit, AxisRole* role)
{
    std::string type;
    if (j.is_string()) {
        if (j.get_ref<const std::string&>().size() > kZarrMaxNameLength)
            return false;
        *name = j.get<std::string>();
    } else if (!j.is_object() || !stringMember(j, "name", kZarrMaxNameLength, name)) {
        return false;
    } else {
        if (j.contains("type") && !stringMember(j, "type", kZarrMaxNameLength, &type))
            return false;
        if (j.contains("unit") && !stringMember(j, "unit", kZarrMaxNameLength, unit))
            return false;
    }
    if (type.empty())
        type = (*name == "x" || *name == "y" || *name == "z") ? "space" : *name == "t" ? "time" : "channel";
    *role = type == "space" ? AxisRole::Space : type == "time" ? AxisRole::Time : AxisRole::Channel;
    return true;
}

// "axes": time, then channel (or another kind), then 2 or 3 space axes.
bool parseAxes(const Json& axes, ZarrPyramid* out, std::string* fault)
{
    if (!axes.is_array() || axes.size() < 2 || axes.size() > static_cast<size_t>(kZarrMaxAxes)) {
        *fault = "axes are not a list of 2 to 5 axes";
        return false;
    }
    out->axes = static_cast<int>(axes.size());
    int spaces = 0;
    int lowest = 0; // the first role an axis may still have: 0 time, 1 channel, 2 space
    for (int a = 0; a < out->axes; ++a) {
        AxisRole role;
        if (!parseAxis(axes[static_cast<size_t>(a)], &out->axisName[a], &out->axisUnit[a], &role)) {
            *fault = "axis " + std::to_string(a) + " has no name, or strings longer than 64 bytes";
            return false;
        }
        const int rank = role == AxisRole::Time ? 0 : role == AxisRole::Channel ? 1 : 2;
        if (rank < lowest) {
            *fault = "axes are not time, channel and 2 or 3 space axes in that order";
            return false;
        }
        lowest = rank == 2 ? 2 : rank + 1;
        if (role == AxisRole::Time)
            out->timeAxis = a;
        else if (role == AxisRole::Channel)
            out->channelAxis = a;
        else
            ++spaces;
    }
    if (spaces < 2 || spaces > 3) {
        *fault = "axes are not time, channel and 2 or 3 space axes in that order";
        return false;
    }
    out->spaceAxes = spaces;
    return true;
}

// Axes a file without "axes" (NGFF 0.1 and 0.2, plain arrays) has by its
// number of dimensions.
bool defaultAxes(int dims, ZarrPyramid* out)
{
    static const char* const names[] = {"t", "c", "z", "y", "x"};
    if (dims < 2 || dims > kZarrMaxAxes)
        return false;
    out->axes = dims;
    for (int a = 0; a < dims; ++a)
        out->axisName[a] = names[kZarrMaxAxes - dims + a];
    out->timeAxis = dims == 5 ? 0 : -1;
    out->channelAxis = dims >= 4 ? dims - 4 : -1;
    out->spaceAxes = dims == 2 ? 2 : 3;
    return true;
}

// A dataset path: 1 ... 255 characters of letters, digits, "._-" and "/",
// relative, with no empty, "." or ".." part.
bool validDatasetPath(const std::string& path)
{
    if (path.empty() || path.size() > kZarrMaxPathLength || path[0] == '/' || path.back() == '/')
        return false;
    for (char c : path)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' || c == '/'))
            return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// axes numbers of a "scale" or "translation" list; scales positive.
bool transformValues(const Json& j, int axes, bool positive, double out[kZarrMaxAxes])
{
    if (!j.is_array() || j.size() != static_cast<size_t>(axes))
        return false;
    for (int a = 0; a < axes; ++a) {
        const Json& v = j[static_cast<size_t>(a)];
        if (!v.is_number())
            return false;
        out[a] = v.get<double>();
        if (!std::isfinite(out[a]) || (positive && !(out[a] > 0.0)))
            return false;
    }
    return true;
}

// The scale and translation of a "coordinateTransformations" list.
bool parseTransforms(const Json& list, int axes, double scale[kZarrMaxAxes], double translation[kZarrMaxAxes])
{
    if (!list.is_array() || list.size() > 8)
        return false;
    for (const Json& t : list) {
        std::string type;
        if (!t.is_object() || !stringMember(t, "type", kZarrMaxNameLength, &type))
            return false;
        if (type == "scale" && !transformValues(t.value("scale", Json()), axes, true, scale))
            return false;
        if (type == "translation" && !transformValues(t.value("translation", Json()), axes, false, translation))
            return false;
    }
    return true;
}

// "datasets": paths and each level's scale and translation, times the
// multiscale's own transformation.
bool parseDatasets(const Json& image, ZarrPyramid* out, std::string* fault)
{
    const auto datasets = image.find("datasets");
    if (datasets == image.end() || !datasets->is_array() || datasets->empty() ||
        datasets->size() > static_cast<size_t>(kZarrMaxLevels)) {
        *fault = "datasets are not a list of 1 to " + std::to_string(kZarrMaxLevels) + " levels";
        return false;
    }
    double scale[kZarrMaxAxes] = {1, 1, 1, 1, 1}, shift[kZarrMaxAxes] = {0, 0, 0, 0, 0};
    const auto global = image.find("coordinateTransformations");
    if (global != image.end() && (out->axes == 0 || !parseTransforms(*global, out->axes, scale, shift))) {
        *fault = "the multiscale's coordinateTransformations are not read";
        return false;
    }
    for (const Json& d : *datasets) {
        ZarrLevel level;
        if (!d.is_object() || !stringMember(d, "path", kZarrMaxPathLength, &level.path) ||
            !validDatasetPath(level.path)) {
            *fault = "dataset " + std::to_string(out->levels.size()) + " has no path of letters, digits, \"._-/\"";
            return false;
        }
        const auto t = d.find("coordinateTransformations");
        if (t != d.end() && (out->axes == 0 || !parseTransforms(*t, out->axes, level.scale, level.translation))) {
            *fault = "the coordinateTransformations of dataset \"" + level.path + "\" are not " +
                     std::to_string(out->axes) + " positive scales and translations";
            return false;
        }
        for (int a = 0; a < kZarrMaxAxes; ++a) {
            level.translation[a] = scale[a] * level.translation[a] + shift[a];
            level.scale[a] *= scale[a];
        }
        out->levels.push_back(level);
    }
    return true;
}

// ---- files ----

// The text of a metadata file; *missing when there is no such file.
bool readMetadata(const std::string& path, std::string* text, std::string* why, bool* missing = nullptr)
{
    uint64_t size = 0;
    if (!fileSize(path, &size)) {
        if (missing)
            *missing = true;
        *why = path + ": missing";
        return false;
    }
    if (size > kZarrMaxMetadataBytes) {
        *why = path + ": larger than 1 MB";
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = path + ": cannot be opened";
        return false;
    }
    text->assign(static_cast<size_t>(size), '\0');
    const size_t got = size ? std::fread(&(*text)[0], 1, text->size(), f) : 0;
    std::fclose(f);
    text->resize(got);
    return true;
}

bool exists(const std::string& path)
{
    uint64_t size = 0;
    return fileSize(path, &size);
}

std::string levelFolder(const ZarrPyramid& p, const ZarrLevel& level)
{
    return level.path.empty() ? p.root : p.root + "/" + level.path;
}

// Reads folder/.zattrs into *out: true for an image; false with *why for a
// damaged file, or with *plain set for a group without multiscales.
bool readImage(const std::string& folder, ZarrPyramid* out, std::string* why, bool* plain)
{
    *plain = false;
    std::string text;
    if (!readMetadata(folder + "/.zattrs", &text, why))
        return false;
    out->root = folder;
    return parseMultiscales(text, folder + "/.zattrs", out, why, plain);
}

// Reads every level's .zarray and gives a pyramid without axes its defaults.
bool readLevels(ZarrPyramid* p, std::string* why)
{
    for (ZarrLevel& level : p->levels) {
        const std::string file = levelFolder(*p, level) + "/.zarray";
        std::string text;
        if (!readMetadata(file, &text, why) || !parseZarrArray(text, file, &level.array, why))
            return false;
    }
    if (p->axes == 0 && !defaultAxes(p->levels[0].array.axes, p)) {
        *why = levelFolder(*p, p->levels[0]) + "/.zarray: " + std::to_string(p->levels[0].array.axes) +
               " axes are not an image (2 to 5 are)";
        return false;
    }
    return checkPyramidLevels(p, why);
}

} // namespace

uint64_t ZarrArray::chunkValues() const
{
    uint64_t n = 1;
    for (int a = 0; a < axes; ++a)
        n *= static_cast<uint64_t>(chunks[a]);
    return n;
}

int ZarrPyramid::spaceAxis(int xyz) const
{
    if (xyz >= spaceAxes)
        return -1;
    return axes - 1 - xyz;
}

void ZarrPyramid::resolution(int level, int64_t xyz[3]) const
{
    for (int k = 0; k < 3; ++k) {
        const int a = spaceAxis(k);
        xyz[k] = a < 0 ? 1 : levels[static_cast<size_t>(level)].array.shape[a];
    }
}

int64_t ZarrPyramid::channels(int level) const
{
    return channelAxis < 0 ? 1 : levels[static_cast<size_t>(level)].array.shape[channelAxis];
}

int64_t ZarrPyramid::timePoints(int level) const
{
    return timeAxis < 0 ? 1 : levels[static_cast<size_t>(level)].array.shape[timeAxis];
}

int ZarrPyramid::coarsest() const
{
    int best = 0;
    double fewest = HUGE_VAL;
    for (size_t i = 0; i < levels.size(); ++i) {
        int64_t r[3];
        resolution(static_cast<int>(i), r);
        const double n = static_cast<double>(r[0]) * static_cast<double>(r[1]) * static_cast<double>(r[2]);
        if (n <= fewest) {
            fewest = n;
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::string zarrLevelFolder(const ZarrPyramid& pyramid, int level)
{
    return levelFolder(pyramid, pyramid.levels[static_cast<size_t>(level)]);
}

std::string zarrPrintable(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size() && i < 40; ++i)
        out += (s[i] >= 0x20 && s[i] < 0x7f) ? s[i] : '?';
    return out;
}

bool parseZarrArray(const std::string& text, const std::string& file, ZarrArray* out, std::string* why)
{
    *out = ZarrArray();
    Json root;
    if (!parseObject(text, file, &root, why))
        return false;
    std::string fault;
    if (parseArrayFields(root, out, &fault))
        return true;
    *why = file + ": " + fault;
    return false;
}

bool parseMultiscales(const std::string& text, const std::string& file, ZarrPyramid* out, std::string* why,
                      bool* plainGroup)
{
    const std::string root = out->root;
    *out = ZarrPyramid();
    out->root = root;
    if (plainGroup)
        *plainGroup = false;
    Json attrs;
    if (!parseObject(text, file, &attrs, why))
        return false;
    const auto ms = attrs.find("multiscales");
    if (ms == attrs.end()) {
        *why = file + ": no multiscales (not an OME-Zarr image)";
        if (plainGroup)
            *plainGroup = true;
        return false;
    }
    std::string fault;
    if (!ms->is_array() || ms->empty() || !(*ms)[0].is_object()) {
        *why = file + ": multiscales is not a list of images";
        return false;
    }
    const Json& image = (*ms)[0];
    // NGFF 0.1 to 0.4; a multiscale without a version is read as 0.4.
    out->version = "0.4";
    if (image.contains("version")) {
        const Json& v = image["version"];
        const std::string text = v.is_string() ? v.get<std::string>() : v.dump();
        if (text != "0.1" && text != "0.2" && text != "0.3" && text != "0.4") {
            *why = file + ": NGFF version " + zarrPrintable(text) + " is not read (0.1 to 0.4 are)";
            return false;
        }
        out->version = text;
    }
    stringMember(image, "name", kZarrMaxNameLength, &out->name);
    const auto axes = image.find("axes");
    if ((axes != image.end() && !parseAxes(*axes, out, &fault)) || !parseDatasets(image, out, &fault)) {
        *why = file + ": " + fault;
        return false;
    }
    return true;
}

bool checkPyramidLevels(ZarrPyramid* p, std::string* why)
{
    const ZarrArray& first = p->levels[0].array;
    for (size_t i = 0; i < p->levels.size(); ++i) {
        const ZarrArray& a = p->levels[i].array;
        const std::string file = levelFolder(*p, p->levels[i]) + "/.zarray: ";
        if (a.axes != p->axes) {
            *why = file + "shape has " + std::to_string(a.axes) + " axes, the multiscales " + std::to_string(p->axes);
            return false;
        }
        if (a.dtype != first.dtype) {
            *why = file + "dtype \"" + a.dtype + "\" differs from the first level's \"" + first.dtype + "\"";
            return false;
        }
        for (int k = 0; k < p->spaceAxes; ++k)
            if (a.shape[p->spaceAxis(k)] > kZarrMaxSpaceAxis) {
                *why = file + "a space axis of " + std::to_string(a.shape[p->spaceAxis(k)]) +
                       " voxels is longer than " + std::to_string(kZarrMaxSpaceAxis);
                return false;
            }
        if (p->channels(static_cast<int>(i)) != p->channels(0) || p->channels(0) > kZarrMaxChannels) {
            *why = file + std::to_string(p->channels(static_cast<int>(i))) +
                   " channels (at most " + std::to_string(kZarrMaxChannels) + ", as many in every level)";
            return false;
        }
    }
    return true;
}

bool isZarrPath(const std::string& path)
{
    const std::string folder = zarrFolder(path);
    const std::string base = baseName(path);
    if (base == ".zattrs" || base == ".zarray" || base == ".zgroup")
        return true;
    const std::string name = baseName(folder);
    if (name.size() >= 5 && strcasecmp(name.c_str() + name.size() - 5, ".zarr") == 0)
        return true;
    return isDirectory(folder) &&
           (exists(folder + "/.zattrs") || exists(folder + "/.zarray") || exists(folder + "/zarr.json"));
}

std::string zarrFolder(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const std::string base = baseName(p);
    if (base == ".zattrs" || base == ".zarray" || base == ".zgroup")
        return directoryOf(p);
    return p;
}

bool openZarrPyramid(const std::string& path, ZarrPyramid* out, std::string* why)
{
    *out = ZarrPyramid();
    const std::string root = zarrFolder(path);
    if (exists(root + "/.zattrs")) {
        bool plain = false;
        if (readImage(root, out, why, &plain))
            return readLevels(out, why);
        if (!plain)
            return false;
        // A group: the first image of a bioformats2raw folder, or a plain array.
        ZarrPyramid image;
        std::string imageWhy;
        bool imagePlain = false;
        if (exists(root + "/0/.zattrs") && readImage(root + "/0", &image, &imageWhy, &imagePlain)) {
            *out = image;
            return readLevels(out, why);
        }
        if (exists(root + "/0/.zattrs") && !imagePlain) {
            *why = imageWhy;
            return false;
        }
        if (!exists(root + "/.zarray"))
            return false;
    }
    if (exists(root + "/.zarray")) {
        // One plain array: a pyramid of one level, axes by its dimensions.
        *out = ZarrPyramid();
        out->root = root;
        out->levels.resize(1);
        return readLevels(out, why);
    }
    *why = exists(root + "/zarr.json") ? root + "/zarr.json: Zarr version 3 is not read (only version 2)"
                                       : root + ": no .zattrs or .zarray (not a Zarr folder)";
    return false;
}
