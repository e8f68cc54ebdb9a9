#include "transfer_function.h"

#include "error_handling.h"
#include "render_mode.h"
#include "transfer_preint.h"
#include "volume.h"

#include <cmath>
#include <cstring>


TransferFunction* transfer = nullptr;


namespace {

typedef void (*ColorTableProc)(GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                               GLenum type, const void* table);

int classificationNow()
{
    return RenderMode::instance().getClassification();
}

void setClassificationNow(int c)
{
    RenderMode::instance().setClassification(c);
}

bool isPreIntegration(int c)
{
    return c == CLASSIFICATION_PRE_INTEGRATION || c == CLASSIFICATION_PRE_INTEGRATION_FILE;
}

// Texture parameters shared by the palette and the pre-integration texture.
void specifyTableTexture(GLuint texture, int width, int height, const unsigned char* pixels)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, textureFilter);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, textureFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    checkGLError("glTexImage2D");
}

} // namespace

TransferFunction::TransferFunction(int n)
{
    construct(n, true, 0);
}

TransferFunction::TransferFunction(int n, NoGL noGL)
{
    construct(n, false, noGL.maxTextureSize);
}

void TransferFunction::construct(int n, bool withGL, int maxSize)
{
    myGL = withGL;
    palette = nullptr;
    palette_preint = nullptr;
    for (int c = 0; c < 4; ++c)
        sum_help[c] = nullptr;
    myPreint = nullptr;
    paletteTexture = 0;
    preintTexture = 0;

    // The curves start with 256 entries.
    maxTextureSize = maxSize;
    if (myGL)
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    if (n < 2)
        n = 256;
    tableSize = maxTextureSize < n ? 256 : n;
    if (tableSize != 256)
        for (Curve& c : curves)
            c.reinit(tableSize);

    allocateTables();
    selected[0] = selected[1] = selected[2] = false;
    selected[3] = true;
    showHull = false;
    showFunction = true;
    paletted = false;
    fileName = "none";
    for (int i = 0; i < 256; ++i)
        std::memset(identityPalette + 4 * i, i, 4);

    refreshCurves();

    const int previous = classificationNow();
    setClassificationNow(CLASSIFICATION_POST);
    build(true);
    if (myGL) {
        glGenTextures(1, &paletteTexture);
        specifyTableTexture(paletteTexture, tableSize, 1, palette);
    }
    setClassificationNow(CLASSIFICATION_PRE_INTEGRATION);
    build(true);
    if (myGL) {
        glGenTextures(1, &preintTexture);
        specifyTableTexture(preintTexture, tableSize, tableSize, palette_preint);
    }
    build(true);
    setClassificationNow(previous);

    if (myGL && isExtensionSupported("GL_EXT_paletted_texture") &&
        isExtensionSupported("GL_EXT_shared_texture_palette")) {
        textureInternalFormat = GL_COLOR_INDEX8_EXT;
        textureFormat = GL_COLOR_INDEX;
        paletted = true;
    } else {
        paletted = false;
        setClassificationNow(CLASSIFICATION_POST);
    }
}

TransferFunction::~TransferFunction()
{
    releaseTables();
    // The textures go with the view's context.
}

void TransferFunction::allocateTables()
{
    GUARDED_ARRAY(palette, unsigned char, 4 * tableSize);
    if (palette)
        std::memset(palette, 0, 4u * tableSize);
    palette_preint = allocatePreintTable(tableSize, "palette_preint");
    static const char* const sumNames[4] = {"sum_help[0]", "sum_help[1]", "sum_help[2]",
                                            "sum_help[3]"};
    for (int c = 0; c < 4; ++c) {
        GUARDED_ARRAY_AS(sum_help[c], sumNames[c], int, tableSize);
        if (sum_help[c])
            std::memset(sum_help[c], 0, sizeof(int) * tableSize);
    }
    myPreint = createPreintWorkspace(tableSize);
}

void TransferFunction::releaseTables()
{
    if (palette)
        RELEASE_ARRAY(palette);
    releasePreintTable(palette_preint);
    for (int c = 0; c < 4; ++c)
        if (sum_help[c])
            RELEASE_ARRAY(sum_help[c]);
    releasePreintWorkspace(myPreint);
}

bool TransferFunction::resize(int n, int editorWidth)
{
    if (n < 2)
        n = 256;
    if (n == tableSize)
        return false;
    // The curves start again as ramps: whatever the user read is gone.
    myUserCurves = false;
    tableSize = n;
    if (n > maxTextureSize) {
        tableSize = 256;
        logBoth(__FILE__, __LINE__, "12bit Transfer function is not supported.\n");
    }
    releaseTables();
    allocateTables();
    for (Curve& c : curves) {
        c.reinit(tableSize);
        c.setView(0, tableSize, editorWidth > 0 ? editorWidth : 256);
    }
    refreshCurves();
    build(true);
    return true;
}

void TransferFunction::refreshCurves()
{
    for (Curve& c : curves)
        c.evaluate();
}

void TransferFunction::resetAll()
{
    myUserCurves = false;
    for (Curve& c : curves)
        c.reset();
}

void TransferFunction::resetSelected()
{
    for (int c = 0; c < 4; ++c)
        if (selected[c])
            curves[c].reset();
}

void TransferFunction::build(bool all)
{
    const int c = classificationNow();
    if (c == CLASSIFICATION_POST || (c == CLASSIFICATION_PRE && paletted))
        buildPalette(all);
    else if (isPreIntegration(c))
        buildPreintegration(all);
}

void TransferFunction::rebuildAlpha()
{
    bool saved[4];
    std::memcpy(saved, selected, sizeof saved);
    selected[0] = selected[1] = selected[2] = false;
    selected[3] = true;
    build(false);
    std::memcpy(selected, saved, sizeof saved);
}

float TransferFunction::alphaCorrectionExponent() const
{
    const float r = static_cast<float>(volume.resolution[2]) / static_cast<float>(volume.sampling);
    // No data and no slices (0 / 0): no correction.
    return std::isnan(r) ? 1.0f : r;
}

unsigned char TransferFunction::correctedAlpha(unsigned char value, float r) const
{
    const float a = static_cast<float>(value) / 255.0f;
    const float kept = static_cast<float>(std::pow(static_cast<double>(1.0f - a), static_cast<double>(r)));
    const float v = 255.0f * (1.0f - kept);
    if (!(v > 0.0f))
        return 0;
    return v >= 255.0f ? 255 : static_cast<unsigned char>(static_cast<int>(v));
}

void TransferFunction::buildPalette(bool all)
{
    if (!palette)
        return;
    const int n = tableSize;
    if (all)
        std::memset(palette, 0, 4u * n);
    const bool correct = volume.alphaCorrection;
    for (int c = 0; c < 4; ++c) {
        if (!(all || selected[c]) || (correct && c == CHANNEL_ALPHA))
            continue;
        const unsigned char* t = curves[c].table();
        if (!t || curves[c].getSize() != n)
            continue;
        for (int i = 0; i < n; ++i)
            palette[4 * i + c] = t[i];
    }
    if (correct) {
        const unsigned char* t = curves[CHANNEL_ALPHA].table();
        if (!t || curves[CHANNEL_ALPHA].getSize() != n)
            return;
        const float r = alphaCorrectionExponent();
        for (int i = 0; i < n; ++i)
            palette[4 * i + 3] = correctedAlpha(t[i], r);
    }
}

void TransferFunction::buildPreintegration(bool all)
{
    const int n = tableSize;
    if (!palette_preint || !myPreint)
        return;
    for (int c = 0; c < 4; ++c)
        if (!sum_help[c])
            return;
    if (all)
        for (int c = 0; c < 4; ++c)
            std::memset(sum_help[c], 0, sizeof(int) * n);
    // Every byte of the processed channels is rewritten below, so a full
    // build needs no clearing pass over the table.

    const bool correct = volume.alphaCorrection;
    unsigned mask = 0;
    for (int c = 0; c < 4; ++c) {
        if (!(all || selected[c]))
            continue;
        mask |= 1u << c;
        if (correct && c == CHANNEL_ALPHA)
            continue;
        const unsigned char* t = curves[c].table();
        if (!t || curves[c].getSize() != n)
            continue;
        int s = 0;
        for (int j = 0; j < n; ++j) {
            s += t[j];
            sum_help[c][j] = s;
        }
    }
    if (correct) {
        const unsigned char* t = curves[CHANNEL_ALPHA].table();
        if (t && curves[CHANNEL_ALPHA].getSize() == n) {
            const float r = alphaCorrectionExponent();
            int s = 0;
            for (int j = 0; j < n; ++j) {
                s += correctedAlpha(t[j], r);
                sum_help[CHANNEL_ALPHA][j] = s;
            }
        }
    }
    const int* const sums[4] = {sum_help[0], sum_help[1], sum_help[2], sum_help[3]};
    buildPreintTable(*myPreint, palette_preint, sums, mask);
}

void TransferFunction::upload()
{
    uploadTables(paletteTexture, preintTexture);
}

void TransferFunction::uploadTo(GLuint paletteTex, GLuint preintTex)
{
    uploadTables(paletteTex, preintTex);
}

void TransferFunction::uploadTables(GLuint paletteTex, GLuint preintTex)
{
    if (!myGL)
        return;
    ++myUploads;
    const int c = classificationNow();
    const int n = tableSize;
    ColorTableProc colorTable =
        paletted ? reinterpret_cast<ColorTableProc>(getGLProcAddress("glColorTableEXT")) : nullptr;
    auto sharedPalette = [&](const unsigned char* table, int entries) {
        if (!colorTable)
            return;
        colorTable(GL_SHARED_TEXTURE_PALETTE_EXT, GL_RGBA, entries, GL_RGBA, GL_UNSIGNED_BYTE, table);
        glEnable(GL_SHARED_TEXTURE_PALETTE_EXT);
    };
    if (c == CLASSIFICATION_POST) {
        sharedPalette(identityPalette, 256);
        if (!palette)
            return;
        glBindTexture(GL_TEXTURE_2D, paletteTex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, palette);
        checkGLError("glTexImage2D");
    } else if (c == CLASSIFICATION_PRE) {
        if (palette)
            sharedPalette(palette, n);
    } else if (isPreIntegration(c)) {
        sharedPalette(identityPalette, 256);
        if (!palette_preint)
            return;
        glBindTexture(GL_TEXTURE_2D, preintTex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, palette_preint);
        checkGLError("glTexImage2D");
    }
}

void TransferFunction::chooseTextureFormat(GLenum t, int k)
{
    const bool bytes = t == GL_BYTE || t == GL_UNSIGNED_BYTE;
    const bool wide = t == GL_SHORT || t == GL_UNSIGNED_SHORT || t == GL_INT || t == GL_UNSIGNED_INT;
    const bool floats = t == GL_FLOAT;
    if (k == 1) {
        textureFormat = GL_LUMINANCE;
        textureInternalFormat = bytes ? GL_INTENSITY8
                                : wide ? GL_INTENSITY16
                                : floats ? GL_INTENSITY16F_ARB
                                : GL_INTENSITY;
    } else if (k >= 2 && k <= 4) {
        textureFormat = GL_RGBA;
        textureInternalFormat = bytes ? GL_RGBA8 : wide ? GL_RGBA16 : floats ? GL_RGBA16F_ARB : GL_RGBA;
    } else {
        textureFormat = GL_LUMINANCE;
        textureInternalFormat = GL_INTENSITY;
    }
}

void TransferFunction::resetIndexShift()
{
    if (myGL)
        glPixelTransferi(GL_INDEX_SHIFT, 0);
}

// ---- channel operations ----

bool TransferFunction::hitTest(int x, int y)
{
    bool hit = false;
    for (int c = 0; c < 4; ++c)
        if (selected[c] && curves[c].hitTest(x, y))
            hit = true;
    return hit;
}

void TransferFunction::addPoint(int x, int y)
{
    for (int c = 0; c < 4; ++c)
        if (selected[c])
            curves[c].addPoint(x, y);
}

void TransferFunction::drag(int x, int y)
{
    for (int c = 0; c < 4; ++c)
        if (selected[c])
            curves[c].drag(x, y);
}

void TransferFunction::deletePoint()
{
    for (int c = 0; c < 4; ++c)
        if (selected[c])
            curves[c].deleteSelected();
}

bool TransferFunction::getPoint(int i, int& x, int& y) const
{
    for (int c = 0; c < 4; ++c)
        if (selected[c])
            return curves[c].getPoint(i, x, y);
    return false;
}

bool TransferFunction::setPoint(int i, int& x, int& y)
{
    bool ok = false;
    const int wantX = x;
    const int wantY = y;
    for (int c = 0; c < 4; ++c) {
        if (!selected[c])
            continue;
        x = wantX;
        y = wantY;
        if (curves[c].setPoint(i, x, y))
            ok = true;
    }
    return ok;
}

void TransferFunction::setCurveKind(int kind)
{
    for (Curve& c : curves)
        c.setKind(kind);
}

void TransferFunction::setView(int offset, int count, int width)
{
    for (Curve& c : curves)
        c.setView(offset, count, width);
}

bool loadPaletteAtStartup(const std::string& path)
{
    if (!transfer)
        return false;
    // A file that is refused leaves the points; the curves still go linear.
    const bool read = transfer->readFile(path);
    transfer->setCurveKind(CURVE_LINEAR);
    transfer->refreshCurves();
    transfer->build(true);
    return read;
}
