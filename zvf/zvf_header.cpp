/* The zvf header: reader, validation, writer, comment lists. */
#include "zvf.h"
#include "zvf_internal.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

int zvfLastError = 0;

const char* const zvfErrorText[zvfErrCount] = {
    "no zvf error",
    "file open error",
    "PNM header error",
    "incorrect PNM type",
    "icon image error",
    "not an zvf format file",
    "error reading PNM header line",
    "unknown 'endian' value",
    "unknown 'vtype' value",
    "unknown 'ctype' value",
    "unknown 'nbands' value",
    "unknown 'dtype' value",
    "unknown 'units' value",
    "comment line allocation error",
    "allocation error",
    "zvf format error - endian missing",
    "zvf format error - incorrect volume dimensions",
    "zvf format error - vtype missing",
    "zvf format error - units missing",
    "zvf format error - nbands missing",
    "zvf format error - dtype missing",
    "zvf format error - comments missing",
    "zvf format error - px equal 0 or missing",
    "zvf format error - py equal 0 or missing",
    "zvf format error - pz equal 0 or missing",
    "zvf format error - rx sum is 0",
    "zvf format error - ry sum is 0",
    "zvf format error - rz sum is 0",
    "zvf format error - rx equal 0",
    "zvf format error - ry equal 0",
    "zvf format error - rz equal 0",
    "zvf format error - too many transfer functions",
    "zvf format error - too few transfer functions",
    "zvf format error - transfer function array allocation error",
    "zvf format error - tfnum missing",
};

namespace {

const char* const kEndianNames[] = {"zvfBigEndian", "zvfLittleEndian"};
const char* const kGridNames[] = {"zvfCubic", "zvfRegular", "zvfRectZ", "zvfRectXYZ"};
const char* const kUnitNames[] = {"zvfUum", "zvfUmm", "zvfUm"};
const char* const kTypeNames[] = {"zvfUChar", "zvfChar",   "zvfUInt12", "zvfUInt16", "zvfInt16",
                                  "zvfIntHU", "zvfUInt32", "zvfInt32",  "zvfFloat",  "zvfDouble"};
const int kTypeSizes[] = {1, 1, 2, 2, 2, 2, 4, 4, 4, 8};

/* The banner: six 62-character texts written with "#%s\n". */
const char* const kBanner[6] = {
    "**************************************************************",
    "**                          zvf                             **",
    "**      Format for storage of 3D volumetric data sets       **",
    "**                                                          **",
    "**      Library source: the zvf/ directory of glimra        **",
    "**************************************************************",
};

const int kLineBuffer = 2050; /* one read takes at most 2049 characters */
const int kCommentCut = 1998; /* longer comments are cut when written */

int lookupWord(const char* word, const char* const* names, int count)
{
    for (int i = 0; i < count; ++i)
        if (strcmp(word, names[i]) == 0)
            return i + 1;
    return 0;
}

/* Reads one line of at most 2049 characters. A longer line is cut there and
 * the rest of it is skipped, so that it cannot be taken for a key line. */
bool readLine(FILE* f, char* line)
{
    if (!fgets(line, kLineBuffer, f))
        return false;
    size_t n = strlen(line);
    if (n == kLineBuffer - 1 && line[n - 1] != '\n') {
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n') {
        }
    }
    return true;
}

/* "KEY" then any run of blanks and tabs (also none); the rest of the line or
 * null when the line does not begin with the key. As in a scanf pattern, the
 * white space directive also skips line feeds. */
const char* afterKey(const char* line, const char* key)
{
    size_t n = strlen(key);
    if (strncmp(line, key, n) != 0)
        return nullptr;
    const char* p = line + n;
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

/* One "%s" word (cut to the buffer size); false when there is none. */
bool scanWord(const char* p, char* word, size_t size)
{
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    size_t n = 0;
    while (p[n] && !isspace(static_cast<unsigned char>(p[n])))
        ++n;
    if (n == 0)
        return false;
    if (n >= size)
        n = size - 1;
    memcpy(word, p, n);
    word[n] = '\0';
    return true;
}

/* One "%d": an optional sign and decimal digits after white space. Values out
 * of the int range are clamped (scanf leaves them undefined). */
bool scanInt(const char** pp, int* value)
{
    const char* p = *pp;
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* q = p;
    if (*q == '+' || *q == '-')
        ++q;
    if (!isdigit(static_cast<unsigned char>(*q)))
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(p, &end, 10);
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    *value = static_cast<int>(v);
    *pp = end;
    return true;
}

/* One "%f". */
bool scanFloat(const char* p, float* value)
{
    char* end = nullptr;
    float v = strtof(p, &end);
    if (end == p)
        return false;
    *value = v;
    return true;
}

/* Step 1 of the reader: the number-format check. */
bool numberFormatOk()
{
    float v = 0.0f;
    if (sscanf("0.5", "%f", &v) == 1 && v == 0.5f)
        return true;
    v = 0.0f;
    if (sscanf("0,5", "%f", &v) == 1 && v == 0.5f) {
        fprintf(stderr, "Incorrect format of floats. Set environmet variable LC_NUMERIC to en_US \n");
        return true;
    }
    fprintf(stderr, "Unrecognized float format\n");
    return false;
}

/* Array that grows with the lines read, up to a fixed number of entries. */
struct Growing
{
    float* values = nullptr; /* the header's array */
    int64_t count = 0;       /* entries stored */
    int64_t capacity = 0;    /* entries allocated */
    int64_t limit = 0;       /* entries allowed (the dimension at "#!vtype") */
};

bool growTo(Growing& g, float** holder, int64_t need)
{
    if (need <= g.capacity)
        return true;
    int64_t cap = g.capacity ? g.capacity * 2 : 64;
    if (cap > g.limit)
        cap = g.limit;
    if (cap < need)
        cap = need;
    float* p = static_cast<float*>(realloc(g.values, static_cast<size_t>(cap) * sizeof(float)));
    if (!p)
        return false;
    memset(p + g.capacity, 0, static_cast<size_t>(cap - g.capacity) * sizeof(float));
    g.values = p;
    g.capacity = cap;
    *holder = p;
    return true;
}

/* Stores the next value of a rectilinear axis; values beyond the array size
 * of the axis are ignored. False on allocation failure. */
bool pushValue(Growing& g, float** holder, float value)
{
    if (g.count >= g.limit)
        return true;
    if (!growTo(g, holder, g.count + 1))
        return false;
    g.values[g.count++] = value;
    return true;
}

bool isZero(float v)
{
    return !(v >= 1e-20f); /* below 1e-20, negative or not a number */
}

/* What the reader has stored so far beyond the header record itself. */
struct ReaderState
{
    Growing gx, gy, gz;     /* rectilinear axes */
    int64_t tfCapacity = 0; /* tfnum * 5 slots allowed */
    int64_t tfSlots = 0;    /* slots allocated in tfdata */
    int64_t tfFilled = 0;   /* strings stored */
};

/* Lines 1 and 2 of the header: the PNM magic (P5 grey, P6 colour) and the
 * icon size. 0, or the error code. */
int readPnmLines(FILE* f, char* line, int* colour, int* width, int* height)
{
    /* line 1: PNM magic */
    int magic = 0;
    if (!readLine(f, line) || sscanf(line, "P%d", &magic) != 1)
        return zvfErrPnmHeader;
    if (magic != 5 && magic != 6)
        return zvfErrPnmType;
    *colour = magic == 6;

    /* line 2: icon size */
    if (!readLine(f, line))
        return zvfErrNotZvf;
    const char* p = line;
    if (!scanInt(&p, width) || !scanInt(&p, height))
        return zvfErrNotZvf;
    return 0;
}

/* Line 3 of the header: "#!zvf" and the version, "major.minor". 0, or the
 * error code. */
int readFormatLine(FILE* f, char* line, zvfHeader* h)
{
    if (!readLine(f, line))
        return zvfErrNotZvf;
    const char* p = afterKey(line, "#!zvf");
    int major = 0, minor = 0;
    if (!p || !scanInt(&p, &major) || *p != '.')
        return zvfErrNotZvf;
    ++p;
    /* "%d.%d": the second number may not begin with white space */
    if (!isdigit(static_cast<unsigned char>(*p)) && *p != '+' && *p != '-')
        return zvfErrNotZvf;
    if (!scanInt(&p, &minor))
        return zvfErrNotZvf;
    h->major = major;
    h->minor = minor;
    return 0;
}

/* "#!vtype": the arrays of the rectilinear axes restart, sized by the
 * dimensions read so far. */
void restartGrid(zvfHeader* h, ReaderState& st, int vtype)
{
    h->vtype = vtype;
    free(st.gx.values);
    free(st.gy.values);
    free(st.gz.values);
    st.gx = Growing();
    st.gy = Growing();
    st.gz = Growing();
    h->rx = h->ry = h->rz = nullptr;
    if (vtype == zvfRectXYZ) {
        st.gx.limit = h->vdim[0] > 0 ? h->vdim[0] : 0;
        st.gy.limit = h->vdim[1] > 0 ? h->vdim[1] : 0;
    }
    if (vtype == zvfRectZ || vtype == zvfRectXYZ)
        st.gz.limit = h->vdim[2] > 0 ? h->vdim[2] : 0;
}

/* "#!comment": the rest of the line, without its line feed and the blanks
 * and tabs after the key, joins the header's comments. False on allocation
 * failure. */
bool addComment(char* line, zvfHeader* h)
{
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\n')
        line[n - 1] = '\0';
    const char* text = line + 9;
    while (*text == ' ' || *text == '\t')
        ++text;
    return zvfAddHdrComment(h, text);
}

/* "#!tfnum": a new list of transfer function strings replaces an earlier
 * one (of tfSlots slots so far). 0, or the error code of a negative count. */
int startTfList(zvfHeader* h, ReaderState& st, int count)
{
    for (int64_t i = 0; i < st.tfSlots; ++i)
        free(h->tfdata[i]);
    free(h->tfdata);
    h->tfdata = nullptr;
    h->tfnum = 0;
    st.tfSlots = st.tfFilled = 0;
    if (count < 0)
        return zvfErrTFAlloc;
    h->tfnum = count;
    st.tfCapacity = static_cast<int64_t>(count) * 5;
    return 0;
}

/* Makes room for one more transfer function string once every slot is
 * filled: doubles the slots, up to tfnum * 5. False on allocation failure. */
bool growTfSlots(zvfHeader* h, ReaderState& st)
{
    if (st.tfFilled < st.tfSlots)
        return true;
    int64_t cap = st.tfSlots ? st.tfSlots * 2 : 20;
    if (cap > st.tfCapacity)
        cap = st.tfCapacity;
    char** grown = static_cast<char**>(realloc(h->tfdata, static_cast<size_t>(cap) * sizeof(char*)));
    if (!grown)
        return false;
    memset(grown + st.tfSlots, 0, static_cast<size_t>(cap - st.tfSlots) * sizeof(char*));
    h->tfdata = grown;
    st.tfSlots = cap;
    return true;
}

/* "#!tfdata" with p past the key and its white space: "%c %[ \t.0-9_a-zA-Z-] ",
 * the channel letter, then the text, which is stored. 0, or the error code. */
int addTfString(const char* p, zvfHeader* h, ReaderState& st)
{
    ++p;
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    size_t n = 0;
    while (p[n] && (p[n] == ' ' || p[n] == '\t' || p[n] == '.' || p[n] == '_' ||
                    p[n] == '-' || isdigit(static_cast<unsigned char>(p[n])) ||
                    (p[n] >= 'a' && p[n] <= 'z') || (p[n] >= 'A' && p[n] <= 'Z')))
        ++n;
    if (n == 0)
        return 0;
    if (h->tfnum == 0)
        return zvfErrTfnumMissing;
    if (st.tfFilled >= st.tfCapacity)
        return zvfErrTooManyTF;
    if (!growTfSlots(h, st))
        return zvfErrTFAlloc;
    char* copy = static_cast<char*>(malloc(n + 1));
    if (!copy)
        return zvfErrTFAlloc;
    memcpy(copy, p, n);
    copy[n] = '\0';
    h->tfdata[st.tfFilled++] = copy;
    return 0;
}

/* One "#!" line between the format line and "#!las": stores what its key
 * says in h and st. Lines of no known key, or whose value cannot be read,
 * are passed over. 0, or the error code of a bad value. */
int readKeyLine(char* line, zvfHeader* h, ReaderState& st)
{
    char word[kLineBuffer];
    const char* p;
    int a = 0, b = 0, c = 0;
    float v = 0.0f;
    if ((p = afterKey(line, "#!vdim")) && scanInt(&p, &a) && scanInt(&p, &b) && scanInt(&p, &c)) {
        h->vdim[0] = a;
        h->vdim[1] = b;
        h->vdim[2] = c;
    } else if ((p = afterKey(line, "#!endian")) && scanWord(p, word, sizeof word)) {
        int code = lookupWord(word, kEndianNames, 2);
        if (!code)
            return zvfErrEndian;
        h->endian = code;
    } else if ((p = afterKey(line, "#!vtype")) && scanWord(p, word, sizeof word)) {
        int code = lookupWord(word, kGridNames, 4);
        if (!code)
            return zvfErrVtype;
        restartGrid(h, st, code);
    } else if ((p = afterKey(line, "#!ctype")) && scanWord(p, word, sizeof word)) {
        if (strcmp(word, "zvfMono") == 0)
            h->nbands = 1;
        else if (strcmp(word, "zvfColor") == 0)
            h->nbands = 3;
        else
            return zvfErrCtype;
    } else if ((p = afterKey(line, "#!nbands")) && scanInt(&p, &a)) {
        if (a < 1)
            return zvfErrNbands;
        h->nbands = a;
    } else if ((p = afterKey(line, "#!dtype")) && scanWord(p, word, sizeof word)) {
        int code = lookupWord(word, kTypeNames, 10);
        if (!code)
            return zvfErrDtype;
        h->dtype = code;
    } else if ((p = afterKey(line, "#!units")) && scanWord(p, word, sizeof word)) {
        int code = lookupWord(word, kUnitNames, 3);
        if (!code)
            return zvfErrUnits;
        h->units = code;
    } else if (strncmp(line, "#!comment", 9) == 0) {
        if (!addComment(line, h))
            return zvfErrAlloc;
    } else if ((p = afterKey(line, "#!px")) && scanFloat(p, &v)) {
        if (h->vtype == zvfRectXYZ) {
            if (!pushValue(st.gx, &h->rx, v))
                return zvfErrAlloc;
        } else {
            h->px = v;
            if (h->vtype == zvfCubic)
                h->py = h->pz = v;
        }
    } else if ((p = afterKey(line, "#!py")) && scanFloat(p, &v)) {
        if (h->vtype == zvfRectXYZ) {
            if (!pushValue(st.gy, &h->ry, v))
                return zvfErrAlloc;
        } else {
            h->py = v;
        }
    } else if ((p = afterKey(line, "#!pz")) && scanFloat(p, &v)) {
        if (h->vtype == zvfRectXYZ || h->vtype == zvfRectZ) {
            if (!pushValue(st.gz, &h->rz, v))
                return zvfErrAlloc;
        } else {
            h->pz = v;
        }
    } else if ((p = afterKey(line, "#!tfnum")) && scanInt(&p, &a)) {
        return startTfList(h, st, a);
    } else if ((p = afterKey(line, "#!tfdata")) && *p) {
        return addTfString(p, h, st);
    }
    return 0;
}

/* The icon after the header, width * height grey or RGB bytes; an empty
 * icon is one allocated byte. 0 with *iconOut set, or the error code. */
int readIcon(FILE* f, int width, int height, int colour, unsigned char** iconOut)
{
    if (width < 0 || height < 0)
        return zvfErrAlloc;
    uint64_t iconBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                         (colour ? 3u : 1u);
    long long remaining = zvf_detail::remainingBytes(f);
    if (remaining >= 0 && iconBytes > static_cast<uint64_t>(remaining))
        return zvfErrIcon; /* fewer bytes than the icon needs */
    unsigned char* icon = nullptr;
    size_t capacity = 0;
    long long got = 0;
    if (iconBytes > 0) {
        got = zvf_detail::readGrowing(f, &icon, &capacity, iconBytes, remaining);
        if (got < 0) {
            free(icon);
            return zvfErrAlloc;
        }
        if (static_cast<uint64_t>(got) < iconBytes) {
            free(icon);
            return zvfErrIcon;
        }
    } else {
        icon = static_cast<unsigned char*>(calloc(1, 1));
        if (!icon)
            return zvfErrAlloc;
    }
    *iconOut = icon;
    return 0;
}

/* The shared body of the header readers, on an open stream. */
int readHeaderBody(FILE* f, zvfHeader* h, ReaderState& st, unsigned char** iconOut,
                   int* widthOut, int* heightOut, int* colourOut)
{
    char line[kLineBuffer];

    if (!numberFormatOk())
        return zvfErrNotZvf;

    int colour = 0, width = 0, height = 0;
    int code = readPnmLines(f, line, &colour, &width, &height);
    if (code)
        return code;

    /* line 3: format line */
    zvfClearHeader(h);
    code = readFormatLine(f, line, h);
    if (code)
        return code;

    /* key lines up to "#!las" */
    while (strncmp(line, "#!las", 5) != 0) {
        if (!readLine(f, line))
            return zvfErrHeaderLine;
        code = readKeyLine(line, h, st);
        if (code)
            return code;
    }

    /* end marker: the "255" line, not looked at */
    readLine(f, line);

    code = zvf_detail::checkHeaderCounts(h, st.gx.count, st.gy.count, st.gz.count, st.tfFilled);
    if (code)
        return code;

    unsigned char* icon = nullptr;
    code = readIcon(f, width, height, colour, &icon);
    if (code)
        return code;
    if (iconOut)
        *iconOut = icon;
    else
        free(icon);
    if (widthOut)
        *widthOut = width;
    if (heightOut)
        *heightOut = height;
    if (colourOut)
        *colourOut = colour;
    return 0;
}

int readHeaderStream(FILE* f, zvfHeader* h, unsigned char** iconOut, int* widthOut,
                     int* heightOut, int* colourOut)
{
    ReaderState st;
    int code = readHeaderBody(f, h, st, iconOut, widthOut, heightOut, colourOut);
    if (code && h->tfdata && st.tfSlots < static_cast<int64_t>(h->tfnum) * 5) {
        /* a partly read list is smaller than tfnum * 5 slots: release it so
         * that no later call walks past its end */
        for (int64_t i = 0; i < st.tfSlots; ++i)
            free(h->tfdata[i]);
        free(h->tfdata);
        h->tfdata = nullptr;
        h->tfnum = 0;
    }
    return code;
}

} // namespace

namespace zvf_detail {

long long remainingBytes(FILE* stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    long pos = ftell(stream);
    if (pos < 0)
        return -1;
    long long left = static_cast<long long>(st.st_size) - pos;
    return left < 0 ? 0 : left;
}

long long readGrowing(FILE* stream, unsigned char** buffer, size_t* capacity, uint64_t n,
                      long long remaining)
{
    if (remaining >= 0) {
        uint64_t target = n < static_cast<uint64_t>(remaining) ? n : static_cast<uint64_t>(remaining);
        if (target > SIZE_MAX)
            return -1;
        if (target > *capacity) {
            unsigned char* p = static_cast<unsigned char*>(realloc(*buffer, static_cast<size_t>(target)));
            if (!p)
                return -1;
            *buffer = p;
            *capacity = static_cast<size_t>(target);
        }
        return static_cast<long long>(fread(*buffer, 1, static_cast<size_t>(target), stream));
    }
    /* unknown length: grow in chunks as the data arrives */
    uint64_t done = 0;
    const uint64_t chunk = 1u << 20;
    while (done < n) {
        uint64_t want = n - done < chunk ? n - done : chunk;
        if (done + want > *capacity) {
            uint64_t cap = *capacity * 2;
            if (cap < done + want)
                cap = done + want;
            if (cap > n)
                cap = n;
            if (cap > SIZE_MAX)
                return -1;
            unsigned char* p = static_cast<unsigned char*>(realloc(*buffer, static_cast<size_t>(cap)));
            if (!p)
                return -1;
            *buffer = p;
            *capacity = static_cast<size_t>(cap);
        }
        size_t got = fread(*buffer + done, 1, static_cast<size_t>(want), stream);
        done += got;
        if (got < want)
            break;
    }
    return static_cast<long long>(done);
}

bool gridByteSize(const zvfHeader* h, uint64_t* sliceBytes, uint64_t* totalBytes)
{
    if (h->vdim[0] <= 0 || h->vdim[1] <= 0 || h->vdim[2] <= 0 || h->nbands <= 0)
        return false;
    if (h->dtype < 1 || h->dtype > 10)
        return false;
    /* every factor is below 2^31, so the partial products are checked against
     * a limit that keeps the next product inside 64 bits */
    const uint64_t limit = (static_cast<uint64_t>(1) << 62);
    uint64_t slice = static_cast<uint64_t>(h->vdim[0]) * static_cast<uint64_t>(h->vdim[1]) *
                     static_cast<uint64_t>(kTypeSizes[h->dtype - 1]);
    if (slice > limit / static_cast<uint64_t>(h->vdim[2]))
        return false;
    uint64_t total = slice * static_cast<uint64_t>(h->vdim[2]);
    if (total > limit / static_cast<uint64_t>(h->nbands))
        return false;
    total *= static_cast<uint64_t>(h->nbands);
    if (total > static_cast<uint64_t>(PTRDIFF_MAX) || slice > 0xffffffffu * 1000ull)
        return false;
    if (sliceBytes)
        *sliceBytes = slice;
    if (totalBytes)
        *totalBytes = total;
    return true;
}

int checkHeaderCounts(const zvfHeader* h, int64_t nrx, int64_t nry, int64_t nrz, int64_t ntf)
{
    if (h->endian == 0)
        return zvfErrEndianMissing;
    if (h->vdim[0] == 0 || h->vdim[1] == 0 || h->vdim[2] == 0)
        return zvfErrDimensions;
    if (h->vtype == 0)
        return zvfErrVtypeMissing;
    if (h->units == 0)
        return zvfErrUnitsMissing;
    if (h->nbands == 0)
        return zvfErrNbandsMissing;
    if (h->dtype == 0)
        return zvfErrDtypeMissing;
    /* Negative dimensions and grids whose byte size overflows are refused as
     * incorrect dimensions: they come only from damaged files. */
    if (!gridByteSize(h, nullptr, nullptr))
        return zvfErrDimensions;
    if (h->ncomments != 0 && !h->comments)
        return zvfErrCommentsMissing;

    auto entry = [](const float* a, int64_t n, int64_t i) { return i < n && a ? a[i] : 0.0f; };
    auto axis = [&](const float* a, int64_t n, int64_t dim, int zeroCode, int sumCode) {
        float sum = 0.0f;
        for (int64_t i = 0; i < dim; ++i) {
            float v = entry(a, n, i);
            if (isZero(v))
                return zeroCode;
            sum += v;
        }
        return isZero(sum) ? sumCode : 0;
    };
    int code = 0;
    switch (h->vtype) {
    case zvfCubic:
        if (isZero(h->px))
            return zvfErrPx;
        break;
    case zvfRegular:
        if (isZero(h->pz))
            return zvfErrPz;
        if (isZero(h->py))
            return zvfErrPy;
        if (isZero(h->px))
            return zvfErrPx;
        break;
    case zvfRectZ:
        if (isZero(h->px))
            return zvfErrPx;
        if (isZero(h->py))
            return zvfErrPy;
        if ((code = axis(h->rz, nrz, h->vdim[2], zvfErrRz, zvfErrRzSum)))
            return code;
        break;
    case zvfRectXYZ:
        if ((code = axis(h->rx, nrx, h->vdim[0], zvfErrRx, zvfErrRxSum)))
            return code;
        if ((code = axis(h->ry, nry, h->vdim[1], zvfErrRy, zvfErrRySum)))
            return code;
        if ((code = axis(h->rz, nrz, h->vdim[2], zvfErrRz, zvfErrRzSum)))
            return code;
        break;
    default:
        return zvfErrVtype;
    }
    if (ntf < static_cast<int64_t>(h->tfnum) * 5)
        return zvfErrTooFewTF;
    return 0;
}

} // namespace zvf_detail

extern "C" {

int zvfCheckHeader(const zvfHeader* h)
{
    int64_t tf = h->tfdata ? static_cast<int64_t>(h->tfnum) * 5 : 0;
    if (h->tfdata)
        for (int64_t i = 0; i < tf; ++i)
            if (!h->tfdata[i]) {
                tf = i;
                break;
            }
    return zvf_detail::checkHeaderCounts(h, h->vdim[0], h->vdim[1], h->vdim[2], tf);
}

int zvfReadHeaderStream(FILE* stream, zvfHeader* header, unsigned char** icon, int* width,
                        int* height, int* isColour)
{
    int code = readHeaderStream(stream, header, icon, width, height, isColour);
    if (code) {
        zvfLastError = code;
        return 0;
    }
    return 1;
}

FILE* zvfReadHeaderIcon(const char* path, zvfHeader* header, unsigned char** icon, int* width,
                        int* height, int* isColour)
{
    FILE* f = fopen(path, "rb");
    if (!f) {
        zvfLastError = zvfErrFileOpen;
        return nullptr;
    }
    if (!zvfReadHeaderStream(f, header, icon, width, height, isColour)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

FILE* zvfReadHeader(const char* path, zvfHeader* header)
{
    return zvfReadHeaderIcon(path, header, nullptr, nullptr, nullptr, nullptr);
}

const char* zvfEndianName(int code)
{
    return code >= 1 && code <= 2 ? kEndianNames[code - 1] : "unknown";
}

const char* zvfGridTypeName(int code)
{
    return code >= 1 && code <= 4 ? kGridNames[code - 1] : "unknown";
}

const char* zvfUnitName(int code)
{
    return code >= 1 && code <= 3 ? kUnitNames[code - 1] : "unknown";
}

const char* zvfDataTypeName(int code)
{
    return code >= 1 && code <= 10 ? kTypeNames[code - 1] : "unknown";
}

int writeZvfHeader(FILE* f, const zvfHeader* h, const unsigned char* icon, int width, int height)
{
    if (!icon || width <= 0 || height <= 0) {
        fprintf(stderr, "writeZvfHeader: Empty icon image\n");
        return 0;
    }
    fprintf(f, "%s\n", h->nbands == 1 ? "P5" : "P6");
    fprintf(f, "%d %d\n", width, height);
    fprintf(f, "#!%s   \t%s\n", "zvf", "5.3");
    for (const char* line : kBanner)
        fprintf(f, "#%s\n", line);
    fprintf(f, "#!endian \t%s\n", zvfEndianName(h->endian));
    fprintf(f, "#!vdim  \t%d %d %d\n", h->vdim[0], h->vdim[1], h->vdim[2]);
    fprintf(f, "#!vtype \t%s\n", zvfGridTypeName(h->vtype));
    switch (h->vtype) {
    case zvfCubic:
        fprintf(f, "#!px\t\t%f\n", h->px);
        break;
    case zvfRegular:
        fprintf(f, "#!px\t%f\n", h->px);
        fprintf(f, "#!py\t%f\n", h->py);
        fprintf(f, "#!pz\t%f\n", h->pz);
        break;
    case zvfRectZ:
        fprintf(f, "#!px\t%f\n", h->px);
        fprintf(f, "#!py\t%f\n", h->py);
        for (int i = 0; i < h->vdim[2]; ++i)
            fprintf(f, "#!pz\t%f\n", h->rz ? h->rz[i] : 0.0f);
        break;
    case zvfRectXYZ:
        for (int i = 0; i < h->vdim[0]; ++i)
            fprintf(f, "#!px\t%f\n", h->rx ? h->rx[i] : 0.0f);
        for (int i = 0; i < h->vdim[1]; ++i)
            fprintf(f, "#!py\t%f\n", h->ry ? h->ry[i] : 0.0f);
        for (int i = 0; i < h->vdim[2]; ++i)
            fprintf(f, "#!pz\t%f\n", h->rz ? h->rz[i] : 0.0f);
        break;
    default:
        fprintf(stderr, "writeZvfHeader: Unknown grid type\n");
        return 0;
    }
    fprintf(f, "#!nbands \t%d\n", h->nbands);
    fprintf(f, "#!dtype \t%s\n", zvfDataTypeName(h->dtype));
    fprintf(f, "#!units \t%s\n", zvfUnitName(h->units));
    for (int i = 0; i < h->ncomments && h->comments; ++i) {
        const char* c = h->comments[i] ? h->comments[i] : "";
        /* a longer comment is cut: at most 1998 characters per line */
        fprintf(f, "#!comment \t%.*s\n", kCommentCut, c);
    }
    if (h->tfnum > 0 && h->tfdata) {
        fprintf(f, "#!tfnum \t%d\n", h->tfnum);
        static const char kChannels[5] = {'d', 'r', 'g', 'b', 'a'};
        for (int k = 0; k < h->tfnum; ++k)
            for (int ch = 0; ch < 5; ++ch) {
                const char* s = h->tfdata[k * 5 + ch];
                fprintf(f, "#!tfdata \t%c %s\n", kChannels[ch], s ? s : "");
            }
    }
    fprintf(f, "#!last");
    fprintf(f, "\n255\n");
    size_t row = static_cast<size_t>(width) * (h->nbands == 1 ? 1 : 3);
    size_t rows = fwrite(icon, row, static_cast<size_t>(height), f);
    if (rows < static_cast<size_t>(height)) {
        fprintf(stderr, "writeZvfHeader: File write error\n");
        return 0;
    }
    return 1;
}

int zvfVoxelSize(int dtype)
{
    if (dtype < 1 || dtype > 10) {
        fprintf(stderr, "zvfVoxelSize: unknown voxel type\n");
        return 0;
    }
    return kTypeSizes[dtype - 1];
}

void zvfClearHeader(zvfHeader* h)
{
    int32_t major = h->major, minor = h->minor;
    memset(h, 0, sizeof *h);
    h->major = major;
    h->minor = minor;
}

void zvfFreeHdrComments(zvfHeader* h)
{
    if (h->ncomments == 0)
        return;
    if (h->comments) {
        for (int i = 0; i < h->ncomments; ++i)
            free(h->comments[i]);
        free(h->comments);
    }
    h->comments = nullptr;
    h->ncomments = 0;
}

void zvfFreeHeader(zvfHeader* h)
{
    if (h->vtype == zvfRectZ) {
        free(h->rz);
    } else if (h->vtype == zvfRectXYZ) {
        free(h->rx);
        free(h->ry);
        free(h->rz);
    }
    zvfFreeHdrComments(h);
}

void zvfFreeHdrTF(zvfHeader* h)
{
    if (h->tfdata) {
        for (int64_t i = 0; i < static_cast<int64_t>(h->tfnum) * 5; ++i)
            free(h->tfdata[i]);
        free(h->tfdata);
    }
    h->tfdata = nullptr;
    h->tfnum = 0;
}

int zvfAddHdrComment(zvfHeader* h, const char* text)
{
    if (h->ncomments < 0 || h->ncomments == INT32_MAX) {
        fprintf(stderr, "zvfAddHdrComment: Allocation Error\n");
        return 0;
    }
    char** grown = static_cast<char**>(
        realloc(h->ncomments ? h->comments : nullptr, (static_cast<size_t>(h->ncomments) + 1) * sizeof(char*)));
    if (!grown) {
        fprintf(stderr, "zvfAddHdrComment: Allocation Error\n");
        return 0;
    }
    h->comments = grown;
    char* copy = strdup(text ? text : "");
    if (!copy) {
        fprintf(stderr, "zvfAddHdrComment: Allocation Error\n");
        return 0;
    }
    h->comments[h->ncomments++] = copy;
    return 1;
}

int zvfSetHdrComment(zvfHeader* h, int count, char* const* texts)
{
    zvfFreeHdrComments(h);
    h->comments = nullptr;
    h->ncomments = 0;
    if (count <= 0)
        return 1;
    char** array = static_cast<char**>(calloc(static_cast<size_t>(count), sizeof(char*)));
    if (!array) {
        fprintf(stderr, "zvfSetHdrComment: Allocation Error\n");
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        array[i] = strdup(texts && texts[i] ? texts[i] : "");
        if (!array[i]) {
            for (int j = 0; j < i; ++j)
                free(array[j]);
            free(array);
            fprintf(stderr, "zvfSetHdrComment: Allocation Error\n");
            return 0;
        }
    }
    h->comments = array;
    h->ncomments = count;
    return 1;
}

int zvfMachineEndian(void)
{
    const uint16_t probe = 1;
    unsigned char first;
    memcpy(&first, &probe, 1);
    return first == 1 ? zvfLittleEndian : zvfBigEndian;
}

} // extern "C"
