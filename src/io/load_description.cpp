#include "load_description.h"

#include "error_handling.h"
#include "load_convert.h"
#include "volume_file.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

#include <sys/stat.h>

namespace {

// Description files are a few lines; anything beyond this is not read.
const size_t kMaxDescriptionBytes = size_t(1) << 20;

const char* const kObjectFileName = "ObjectFileName:";
const char* const kResolution = "Resolution:";
const char* const kSliceThickness = "SliceThickness:";
const char* const kFormat = "Format:";
const char* const kNbrChannels = "NbrChannels:";
const char* const kByteOrder = "ByteOrder:";
const char* const kEndianness = "Endianness:";
const char* const kKeys[] = {kObjectFileName, kResolution, kSliceThickness, kFormat, kNbrChannels,
                             kByteOrder, kEndianness};
const int kKeyCount = 7;
// The keys from here on are read in any case.
const int kFirstCaselessKey = 5;

// Whether word begins with key k: exactly, or in any case for the byte-order keys.
bool beginsWithKey(const std::string& word, int k)
{
    const size_t len = std::strlen(kKeys[k]);
    if (word.size() < len)
        return false;
    if (k < kFirstCaselessKey)
        return word.compare(0, len, kKeys[k]) == 0;
    return strncasecmp(word.c_str(), kKeys[k], len) == 0;
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct Token
{
    std::string text;
    int key = -1; // index into kKeys when the token is one of the keys read
};

// The words of every line that is not a "#" comment. A key written against
// its value ("Resolution:41") becomes two tokens.
std::vector<Token> tokenize(const std::string& text)
{
    std::vector<Token> tokens;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        size_t end = text.find('\n', i);
        if (end == std::string::npos)
            end = n;
        size_t p = i;
        while (p < end && isBlank(text[p]))
            ++p;
        if (p < end && text[p] != '#') {
            while (p < end) {
                size_t q = p;
                while (q < end && !isBlank(text[q]))
                    ++q;
                Token t;
                t.text.assign(text, p, q - p);
                for (int k = 0; k < kKeyCount; ++k) {
                    const size_t len = std::strlen(kKeys[k]);
                    if (beginsWithKey(t.text, k)) {
                        t.key = k;
                        if (t.text.size() > len) {
                            Token rest;
                            rest.text = t.text.substr(len);
                            t.text.resize(len);
                            tokens.push_back(t);
                            t = rest;
                        }
                        break;
                    }
                }
                tokens.push_back(t);
                p = q;
                while (p < end && isBlank(text[p]))
                    ++p;
            }
        }
        i = end + 1;
    }
    return tokens;
}

bool parseInt(const std::string& s, int* out)
{
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseFloat(const std::string& s, float* out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

void appendInt(std::string& info, int v)
{
    info += std::to_string(v);
}

void appendFloat(std::string& info, float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    info += text;
}

} // namespace

DescriptionError parseDescription(const std::string& text, Description* out, std::string* key)
{
    const std::vector<Token> tokens = tokenize(text);
    bool seen[kKeyCount] = {};
    const size_t count = tokens.size();
    // The value token at i, when there is one and it is not a key.
    auto value = [&](size_t i) -> const std::string* {
        return (i < count && tokens[i].key < 0) ? &tokens[i].text : nullptr;
    };
    for (size_t i = 0; i < count; ++i) {
        const int k = tokens[i].key;
        if (k < 0 || seen[k])
            continue;
        seen[k] = true;
        *key = kKeys[k];
        if (k == 0 || k == 3) {
            const std::string* w = value(i + 1);
            if (!w)
                return DescriptionError::BadValue;
            if (w->size() > static_cast<size_t>(kMaxDescriptionWord))
                return DescriptionError::WordTooLong;
            (k == 0 ? out->objectFileName : out->format) = *w;
            out->read[k] = true;
            i += 1;
        } else if (k == 1) {
            for (int a = 0; a < 3; ++a) {
                const std::string* w = value(i + 1 + a);
                if (!w || !parseInt(*w, &out->resolution[a]) || out->resolution[a] <= 0)
                    return DescriptionError::BadValue;
            }
            out->read[k] = true;
            i += 3;
        } else if (k == 2) {
            for (int a = 0; a < 3; ++a) {
                const std::string* w = value(i + 1 + a);
                if (!w || !parseFloat(*w, &out->sliceThickness[a]))
                    return DescriptionError::BadValue;
            }
            out->read[k] = true;
            i += 3;
        } else if (k >= kFirstCaselessKey) {
            const std::string* w = value(i + 1);
            if (w && strcasecmp(w->c_str(), "little") == 0)
                out->byteOrder = RawByteOrder::Little;
            else if (w && strcasecmp(w->c_str(), "big") == 0)
                out->byteOrder = RawByteOrder::Big;
            else
                return DescriptionError::BadByteOrder;
            i += 1;
        } else {
            // The key as the file's last word means one channel; a value that
            // is there must be 1 ... 4.
            if (i + 1 >= count) {
                out->nbrChannels = 1;
                continue;
            }
            const std::string* w = value(i + 1);
            int c = 0;
            if (!w || !parseInt(*w, &c) || c < 1 || c > 4) {
                out->nbrChannels = 1;
                return DescriptionError::BadChannels;
            }
            out->nbrChannels = c;
            out->read[k] = true;
            i += 1;
        }
    }
    const int required[3] = {0, 1, 3};
    for (int r : required) {
        if (!seen[r]) {
            *key = kKeys[r];
            return DescriptionError::MissingKey;
        }
    }
    key->clear();
    return DescriptionError::None;
}

std::string rawFilePath(const std::string& descriptionPath, const std::string& objectFileName)
{
    const size_t slash = descriptionPath.find_last_of('/');
    if (slash == std::string::npos)
        return objectFileName;
    return descriptionPath.substr(0, slash) + "/" + objectFileName;
}

uint64_t fileBytes(FILE* f)
{
    struct stat st;
    if (!f || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool rawFileBacks(uint64_t declared, uint64_t actual)
{
    // A raw file may lack as many bytes as it holds, or 1 MiB where that is
    // more: a truncated copy still loads, the missing voxels zero, while a
    // declaration far beyond the file, which would have memory allocated
    // that nothing in the file fills, is refused (as the zvf reader refuses
    // a grid no stream of its length can inflate to).
    const uint64_t slack = actual > kRawSlackBytes ? actual : kRawSlackBytes;
    return declared <= actual || declared - actual <= slack;
}

bool readDescriptionText(const std::string& fileName, std::string* text)
{
    FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f)
        return false;
    // Grown as the file delivers: a file of a few lines costs a few lines,
    // not the whole bound.
    text->clear();
    char chunk[4096];
    size_t got = 0;
    while (text->size() < kMaxDescriptionBytes &&
           (got = std::fread(chunk, 1, std::min(sizeof chunk, kMaxDescriptionBytes - text->size()), f)) > 0)
        text->append(chunk, got);
    std::fclose(f);
    return true;
}

namespace {

// How many keys, in file order, made it into the information text: all five,
// or those before the key at fault.
int keysDescribed(DescriptionError error, const std::string& key)
{
    if (error == DescriptionError::None)
        return 5;
    for (int k = 0; k < 5; ++k)
        if (key == kKeys[k])
            return k;
    return 5;
}

// The information text of the keys read, up to the one at fault.
void appendKeys(const Description& d, int described, std::string& info)
{
    if (described > 0 && d.read[0])
        info += "ObjectFileName:\t" + d.objectFileName + "\n";
    if (described > 1 && d.read[1]) {
        info += "Resolution:\t";
        appendInt(info, d.resolution[0]);
        info += " ";
        appendInt(info, d.resolution[1]);
        info += " ";
        appendInt(info, d.resolution[2]);
        info += "\n";
    }
    if (described > 2) {
        info += "SliceThickness:\t";
        appendFloat(info, d.sliceThickness[0]);
        info += " ";
        appendFloat(info, d.sliceThickness[1]);
        info += " ";
        appendFloat(info, d.sliceThickness[2]);
        info += "\n";
    }
    if (described > 3 && d.read[3])
        info += "Format:\t\t" + d.format + "\n";
}

// Why the description was refused, on both channels; the reason without the
// "Description file: " of the log.
std::string logDescriptionError(DescriptionError error, const std::string& key)
{
    std::string why;
    switch (error) {
    case DescriptionError::None:
        break;
    case DescriptionError::BadChannels:
        logBoth(__FILE__, __LINE__, "Not supported number of channels in dataset\n");
        return "NbrChannels: must be 1 to 4";
    case DescriptionError::MissingKey: why = "key \"" + key + "\" is missing"; break;
    case DescriptionError::WordTooLong: why = "word after \"" + key + "\" is too long"; break;
    case DescriptionError::BadValue: why = "value of \"" + key + "\" is unreadable"; break;
    case DescriptionError::BadByteOrder: why = "\"" + key + "\" must be little or big"; break;
    }
    logBoth(__FILE__, __LINE__, ("Description file: " + why + "\n").c_str());
    return why;
}

// Closes the raw file on every way out of the reader.
struct FileCloser
{
    void operator()(FILE* f) const { std::fclose(f); }
};
using RawFile = std::unique_ptr<FILE, FileCloser>;

// The raw file's bytes into data (total bytes, zeroed); a short file leaves
// the rest zero and says so.
void readRawVoxels(FILE* raw, const std::string& word, void* data, size_t total)
{
    const size_t got = std::fread(data, 1, total, raw);
    if (got < total)
        logNote(__FILE__, __LINE__,
                ("Description file: raw file \"" + word + "\" lacks " + std::to_string(total - got) + " of " +
                 std::to_string(total) + " bytes; they read as 0\n")
                    .c_str());
}

} // namespace

bool readDescriptionVolume(const std::string& fileName, VolumeFile* out, std::string* why,
                           const ShapeCheck& check)
{
    std::string text;
    if (!readDescriptionText(fileName, &text)) {
        *why = fileName + ": cannot be opened";
        return false;
    }
    Description d;
    std::string key;
    const DescriptionError error = parseDescription(text, &d, &key);
    std::string& info = out->info;
    appendKeys(d, keysDescribed(error, key), info);
    if (error != DescriptionError::None) {
        *why = fileName + ": " + logDescriptionError(error, key);
        return false;
    }
    info += "NbrChannels:\t\t";
    appendInt(info, d.nbrChannels);
    info += "\n";

    int bytes = 1;
    out->type = typeFromName(d.format.c_str(), &bytes);
    size_t values = 0, total = 0;
    if (!voxelCount(d.resolution, d.nbrChannels, bytes, &values, &total)) {
        logBoth(__FILE__, __LINE__, "Description file: the volume is too large\n");
        *why = fileName + ": the volume is too large";
        return false;
    }
    // The raw file is opened before anything is allocated, so that what it
    // cannot back is refused without the memory being asked for.
    const RawFile raw(std::fopen(rawFilePath(fileName, d.objectFileName).c_str(), "rb"));
    if (!raw) {
        *why = fileName + ": the raw file \"" + d.objectFileName + "\" cannot be opened";
        return false;
    }
    const uint64_t actual = fileBytes(raw.get());
    if (!rawFileBacks(total, actual)) {
        logNote(__FILE__, __LINE__,
                ("Description file: " + std::to_string(total) + " bytes declared, raw file \"" + d.objectFileName +
                 "\" has " + std::to_string(actual) + "\n")
                    .c_str());
        *why = fileName + ": " + std::to_string(total) + " bytes declared, the raw file \"" + d.objectFileName +
               "\" has " + std::to_string(actual);
        return false;
    }
    if (check) {
        VolumeShape shape;
        for (int a = 0; a < 3; ++a)
            shape.resolution[a] = d.resolution[a];
        shape.bands = d.nbrChannels;
        shape.bytesPerValue = bytes;
        const std::string refusal = check(shape);
        if (!refusal.empty()) {
            *why = refusal;
            return false;
        }
    }
    GUARDED_VOXELS_AS(out->data, "(*data)", total);
    if (!out->data) {
        g_garbageCollector.remove(out->data);
        *why = fileName + ": not enough memory for " + std::to_string(total) + " bytes";
        return false;
    }
    readRawVoxels(raw.get(), d.objectFileName, out->data, total);
    // The rest of the load takes raw values most significant byte first.
    if (bytes > 1 && readRawAsLittleEndian(d.byteOrder, out->data, out->type, d.resolution, d.nbrChannels))
        swapValueBytes(out->data, values, bytes);
    out->bigEndianValues = true;
    out->bands = d.nbrChannels;
    for (int a = 0; a < 3; ++a) {
        out->resolution[a] = d.resolution[a];
        out->spacing[a] = d.sliceThickness[a];
    }
    return true;
}
