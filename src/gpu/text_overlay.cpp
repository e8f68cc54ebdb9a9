#include "text_overlay.h"

#include "error_handling.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <cstring>
#include <vector>

namespace {
const int kFirstChar = 32;
const int kCharCount = 96;
}

std::string resolveFontFile(const char* faceName, int* faceIndex)
{
    std::string file;
    if (!faceName)
        return file;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return file;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
    // Only faces FreeType can scale to any height.
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch)
            index = 0;
        if (faceIndex)
            *faceIndex = index;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

TextOverlay::TextOverlay(int x_, int y_, float r, float g, float b, int size_,
                         const char* faceName_, void* window_)
    : x(x_), y(y_), visible(true), colour{r, g, b}, faceName(faceName_), size(size_),
      window(window_), listBase(0)
{
    buildFont();
}

TextOverlay::~TextOverlay()
{
    if (listBase)
        glDeleteLists(listBase, kCharCount);
    listBase = 0;
}

void TextOverlay::buildFont()
{
    int faceIndex = 0;
    myFontFile = resolveFontFile(faceName, &faceIndex);
    if (myFontFile.empty() || size <= 0)
        return;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return;
    FT_Face face = nullptr;
    if (FT_New_Face(library, myFontFile.c_str(), faceIndex, &face) != 0) {
        FT_Done_FreeType(library);
        return;
    }
    const bool needsEmbolden = !(face->style_flags & FT_STYLE_FLAG_BOLD);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return;
    }

    listBase = glGenLists(kCharCount);
    if (listBase == 0) {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return;
    }

    // glBitmap copies its data at compile time under the unpack state.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);

    std::vector<GLubyte> rows;
    for (int i = 0; i < kCharCount; ++i) {
        const FT_ULong code = static_cast<FT_ULong>(kFirstChar + i);
        GLsizei w = 0, h = 0;
        GLfloat xorig = 0, yorig = 0, advance = 0;
        rows.clear();
        bool loaded = FT_Load_Char(face, code, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) == 0;
        if (loaded && needsEmbolden)
            FT_GlyphSlot_Embolden(face->glyph);
        if (loaded)
            loaded = FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0;
        if (loaded) {
            const FT_GlyphSlot slot = face->glyph;
            const FT_Bitmap& bm = slot->bitmap;
            advance = static_cast<GLfloat>(slot->advance.x) / 64.0f;
            myAdvances[i] = advance;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO && bm.width > 0 && bm.rows > 0) {
                w = static_cast<GLsizei>(bm.width);
                h = static_cast<GLsizei>(bm.rows);
                const int rowBytes = (w + 7) / 8;
                rows.assign(static_cast<size_t>(rowBytes) * h, 0);
                // FreeType rows run top down, glBitmap rows bottom up.
                for (int r = 0; r < h; ++r) {
                    const unsigned char* src =
                        bm.buffer + static_cast<long>(r) * bm.pitch +
                        (bm.pitch < 0 ? static_cast<long>(-bm.pitch) * (h - 1) : 0);
                    std::memcpy(&rows[static_cast<size_t>(h - 1 - r) * rowBytes], src,
                                static_cast<size_t>(rowBytes));
                }
                xorig = static_cast<GLfloat>(-slot->bitmap_left);
                yorig = static_cast<GLfloat>(h - slot->bitmap_top);
            }
        }
        glNewList(listBase + i, GL_COMPILE);
        glBitmap(w, h, xorig, yorig, advance, 0, rows.empty() ? nullptr : rows.data());
        glEndList();
    }
    glPopClientAttrib();
    checkGLError("glBitmap");

    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

void TextOverlay::draw(const char* text)
{
    if (!visible || !text || listBase == 0)
        return;
    glColor3f(colour[0], colour[1], colour[2]);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2d(x, y);
    glPushAttrib(GL_LIST_BIT);
    glListBase(listBase - kFirstChar);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void TextOverlay::drawAtRaster(const char* text, float dx, float dy) const
{
    if (!text || listBase == 0)
        return;
    // A bitmap of no pixels only moves the raster position.
    glBitmap(0, 0, 0, 0, dx, dy, nullptr);
    glPushAttrib(GL_LIST_BIT);
    glListBase(listBase - kFirstChar);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

int TextOverlay::textWidth(const char* text) const
{
    if (!text || listBase == 0)
        return 0;
    float w = 0.0f;
    for (const char* c = text; *c; ++c) {
        const int i = static_cast<unsigned char>(*c) - kFirstChar;
        if (i >= 0 && i < kCharCount)
            w += myAdvances[i];
    }
    return static_cast<int>(w + 0.5f);
}
