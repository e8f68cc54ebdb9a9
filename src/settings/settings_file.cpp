#include "settings_file.h"

#include "volume.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const kSettingsFileName = "glimra.ini";

namespace {

const int kGreater = 0x204; // GL_GREATER
const int kEqual = 0x202;   // GL_EQUAL
const int kLess = 0x201;    // GL_LESS
const float kNearest = 9728.0f;

// ---- formatting, always with '.' whatever the locale ----

void appendFloat(std::string& out, float v)
{
    char buf[64];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    out.append(buf, r.ptr);
}

void appendInt(std::string& out, int v)
{
    char buf[16];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// ---- scanning one value part the way the formatted reader would ----

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Scanner
{
    const char* p;
    const char* end;

    void skipSpace()
    {
        while (p < end && isSpace(*p))
            ++p;
    }
    bool integer(int& out)
    {
        skipSpace();
        const char* q = p;
        if (q < end && *q == '+')
            ++q;
        int v = 0;
        const std::from_chars_result r = std::from_chars(q, end, v);
        if (r.ec != std::errc() || (q < end && *q == '+'))
            return false;
        out = v;
        p = r.ptr;
        return true;
    }
    bool real(float& out)
    {
        skipSpace();
        const char* q = p;
        if (q < end && *q == '+')
            ++q;
        float v = 0.0f;
        const std::from_chars_result r = std::from_chars(q, end, v, std::chars_format::general);
        if (r.ec != std::errc() || (q < end && *q == '+'))
            return false;
        out = v;
        p = r.ptr;
        return true;
    }
    bool literal(char c)
    {
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    // Nothing but white space is left.
    bool done()
    {
        skipSpace();
        return p == end;
    }
};

bool ints(Scanner sc, int* v, int n)
{
    for (int i = 0; i < n; ++i) {
        if (i > 0 && !sc.literal(','))
            return false;
        if (!sc.integer(v[i]))
            return false;
    }
    return sc.done();
}

bool floats(Scanner sc, float* v, int n)
{
    for (int i = 0; i < n; ++i) {
        if (i > 0 && !sc.literal(','))
            return false;
        if (!sc.real(v[i]))
            return false;
    }
    return sc.done();
}

float unitOrZero(float v)
{
    // NaN and negatives go to 0.
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

bool sizeAcceptable(int v)
{
    return v == -1 || (v >= 1 && v <= kMaxSettingsWindowSize);
}

bool positionAcceptable(int v)
{
    return v >= -kMaxSettingsWindowPosition && v <= kMaxSettingsWindowPosition;
}

enum Key
{
    K_PROJECTION,
    K_FPS,
    K_BG_COLOR,
    K_SAMPLING,
    K_ALPHA_TEST,
    K_ALPHA_MODE,
    K_VISUALIZATION_MODE,
    K_BLENDING,
    K_BBOX,
    K_CURVE,
    K_CLASSIFICATION,
    K_AUTOSAVE,
    K_SIZE,
    K_POSITION,
    K_SPEEDUP,
    K_ALPHA_CALCULATION,
    K_GRADIENT_CALCULATION,
    K_ALPHA_CORRECTION,
    K_FILTERING,
    K_COUNT
};

// The keys as written; a space in a key matches any white space on reading.
const char* const kKeys[K_COUNT] = {
    "Projection",       "Fps",
    "BG Color",         "Sampling",
    "Aplha test",       "Aplha mode",
    "Visualization mode", "Blending",
    "BBox",             "Curve",
    "Classification",   "Autosave",
    "Size",             "Position",
    "Speedup",          "AlphaCalculation",
    "GradientCalculation", "AlphaCorrection",
    "Filtering",
};

// Whether [b, e) is the key: white space in the key matches any run of white
// space (none included) in the text, as the formatted reader does.
bool keyMatches(const char* key, const char* b, const char* e)
{
    for (const char* k = key; *k; ++k) {
        if (*k == ' ') {
            while (b < e && isSpace(*b))
                ++b;
            continue;
        }
        if (b == e || *b != *k)
            return false;
        ++b;
    }
    return b == e;
}

int findKey(const char* b, const char* e)
{
    while (b < e && isSpace(*b))
        ++b;
    for (int k = 0; k < K_COUNT; ++k) {
        if (keyMatches(kKeys[k], b, e))
            return k;
    }
    return -1;
}

// Applies one value part to s; false when it does not parse or is refused.
bool applyLine(int key, Scanner sc, Settings& s)
{
    int i[2] = {0, 0};
    float f[3] = {0.0f, 0.0f, 0.0f};
    switch (key) {
    case K_PROJECTION:
        if (!ints(sc, i, 1))
            return false;
        s.perspective = i[0] != 0;
        return true;
    case K_FPS:
        if (!ints(sc, i, 1))
            return false;
        s.fpsVisible = i[0] != 0;
        return true;
    case K_BG_COLOR:
        if (!floats(sc, f, 3))
            return false;
        for (int c = 0; c < 3; ++c)
            s.background[c] = unitOrZero(f[c]);
        return true;
    case K_SAMPLING:
        if (!ints(sc, i, 1))
            return false;
        s.sampling = i[0];
        s.halfSampling = i[0] / 2;
        if (s.sampling < 0 || s.sampling > 512) {
            s.sampling = 64;
            s.halfSampling = 32;
        }
        return true;
    case K_ALPHA_TEST:
        if (!floats(sc, f, 1))
            return false;
        s.alphaThreshold = (f[0] >= 0.0f && f[0] <= 1.0f) ? f[0] : 0.0f;
        return true;
    case K_ALPHA_MODE:
        if (!ints(sc, i, 1))
            return false;
        s.alphaFunc = (i[0] == kGreater || i[0] == kEqual || i[0] == kLess) ? i[0] : kGreater;
        return true;
    case K_VISUALIZATION_MODE:
        if (!ints(sc, i, 1))
            return false;
        s.mode.setDrawStyle(i[0]);
        return true;
    case K_BLENDING:
        if (!ints(sc, i, 1))
            return false;
        s.blending = (i[0] >= 0 && i[0] <= 2) ? i[0] : BLENDING_COMPOSITE;
        return true;
    case K_BBOX:
        if (!ints(sc, i, 1))
            return false;
        s.showBBox = i[0] != 0;
        return true;
    case K_CURVE:
        // A kind the curve editor does not know is refused.
        if (!ints(sc, i, 1) || i[0] < 0 || i[0] > 2)
            return false;
        s.curveKind = i[0];
        return true;
    case K_CLASSIFICATION:
        if (!ints(sc, i, 1))
            return false;
        s.mode.setClassification(i[0]);
        return true;
    case K_AUTOSAVE:
        if (!ints(sc, i, 1))
            return false;
        s.autosave = i[0] != 0;
        return true;
    case K_SIZE:
        if (!ints(sc, i, 2) || !sizeAcceptable(i[0]) || !sizeAcceptable(i[1]))
            return false;
        s.width = i[0];
        s.height = i[1];
        return true;
    case K_POSITION:
        if (!ints(sc, i, 2) || !positionAcceptable(i[0]) || !positionAcceptable(i[1]))
            return false;
        s.x = i[0];
        s.y = i[1];
        return true;
    case K_SPEEDUP:
        if (!ints(sc, i, 1))
            return false;
        s.speedup = i[0] != 0;
        return true;
    case K_ALPHA_CALCULATION:
        if (!ints(sc, i, 1))
            return false;
        s.alphaCalculation = (i[0] >= 0 && i[0] <= 2) ? i[0] : 0;
        return true;
    case K_GRADIENT_CALCULATION:
        if (!ints(sc, i, 1))
            return false;
        s.gradientCalculation = (i[0] >= 0 && i[0] <= 4) ? i[0] : 0;
        return true;
    case K_ALPHA_CORRECTION:
        if (!ints(sc, i, 1))
            return false;
        s.alphaCorrection = i[0] != 0;
        return true;
    case K_FILTERING:
        // Only nearest (0) and linear (1) are filters the textures accept.
        if (!ints(sc, i, 1) || (i[0] != 0 && i[0] != 1))
            return false;
        s.textureFilter = kNearest + static_cast<float>(i[0]);
        return true;
    default:
        return false;
    }
}

// Reads at most kMaxSettingsFileBytes of a regular file; false when it cannot
// be opened. Special files are refused so that a FIFO cannot block the start.
bool readBounded(const std::string& path, std::string& text)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    text.assign(kMaxSettingsFileBytes, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, &text[got], text.size() - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    return true;
}

} // namespace

std::string formatSettings(const Settings& s)
{
    std::string out;
    out.reserve(400);
    auto line = [&out](const char* key) {
        out += key;
        out += ":\t";
    };
    auto end = [&out]() { out += "\r\n"; };
    line("Projection");
    appendInt(out, s.perspective ? 1 : 0);
    end();
    line("Fps");
    appendInt(out, s.fpsVisible ? 1 : 0);
    end();
    line("BG Color");
    for (int c = 0; c < 3; ++c) {
        if (c > 0)
            out += ',';
        appendFloat(out, s.background[c]);
    }
    end();
    line("Sampling");
    appendInt(out, s.sampling);
    end();
    line("Aplha test");
    appendFloat(out, s.alphaThreshold);
    end();
    line("Aplha mode");
    appendInt(out, s.alphaFunc);
    end();
    line("Visualization mode");
    appendInt(out, s.mode.getDrawStyle());
    end();
    line("Blending");
    appendInt(out, s.blending);
    end();
    line("BBox");
    appendInt(out, s.showBBox ? 1 : 0);
    end();
    line("Curve");
    appendInt(out, s.curveKind);
    end();
    line("Classification");
    appendInt(out, s.mode.getClassification());
    end();
    line("Autosave");
    appendInt(out, s.autosave ? 1 : 0);
    end();
    line("Size");
    appendInt(out, s.width);
    out += ',';
    appendInt(out, s.height);
    end();
    line("Position");
    appendInt(out, s.x);
    out += ',';
    appendInt(out, s.y);
    end();
    line("Speedup");
    appendInt(out, s.speedup ? 1 : 0);
    end();
    line("AlphaCalculation");
    appendInt(out, s.alphaCalculation);
    end();
    line("GradientCalculation");
    appendInt(out, s.gradientCalculation);
    end();
    line("AlphaCorrection");
    appendInt(out, s.alphaCorrection ? 1 : 0);
    end();
    line("Filtering");
    appendInt(out, static_cast<int>(s.textureFilter - kNearest));
    return out;
}

int parseSettings(const std::string& text, Settings& s)
{
    const char* p = text.data();
    const char* end = p + (text.size() < kMaxSettingsFileBytes ? text.size() : kMaxSettingsFileBytes);
    // A cut-off last line could carry a cut-off number: drop it.
    if (text.size() > kMaxSettingsFileBytes) {
        while (end > p && end[-1] != '\n')
            --end;
    }
    bool seen[K_COUNT] = {};
    int applied = 0;
    while (p < end) {
        const char* eol = p;
        while (eol < end && *eol != '\n')
            ++eol;
        const char* colon = p;
        while (colon < eol && *colon != ':')
            ++colon;
        if (colon < eol) {
            const int key = findKey(p, colon);
            // The first line of a key counts, as in the file's fixed order.
            if (key >= 0 && !seen[key]) {
                seen[key] = true;
                if (applyLine(key, Scanner{colon + 1, eol}, s))
                    ++applied;
            }
        }
        p = eol < end ? eol + 1 : end;
    }
    return applied;
}

bool readSettingsFile(const std::string& path, Settings& s)
{
    std::string text;
    if (!readBounded(path, text))
        return false;
    parseSettings(text, s);
    return true;
}

bool writeSettingsFile(const std::string& path, const Settings& s)
{
    const std::string bytes = formatSettings(s);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

