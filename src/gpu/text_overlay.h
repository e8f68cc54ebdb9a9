// One line of bitmap text drawn with display lists (the frame-rate text).
#ifndef GLIMRA_TEXT_OVERLAY_H
#define GLIMRA_TEXT_OVERLAY_H

#include "includegl.h"

#include <string>

class TextOverlay
{
public:
    // Stores the place, colour and face, sets visible and builds the 96
    // lists for characters 32 ... 127 (context current). The face is looked
    // up with fontconfig, so a metric-compatible face stands in for a
    // missing one; it is rendered bold at size pixels.
    TextOverlay(int x, int y, float r, float g, float b, int size, const char* faceName,
                void* window);
    // Deletes the lists (context current).
    ~TextOverlay();
    TextOverlay(const TextOverlay&) = delete;
    TextOverlay& operator=(const TextOverlay&) = delete;

    // At (x, y) of a 640 x 480 orthographic space, origin bottom left; only
    // when visible and text is not null.
    void draw(const char* text);
    void toggleVisibility() { visible = !visible; }
    // At the current raster position, in the current raster colour, moved
    // by (dx, dy) pixels first; whatever visible says (the labels of other
    // overlays).
    void drawAtRaster(const char* text, float dx = 0.0f, float dy = 0.0f) const;
    // Width in pixels of text as drawn (0 without lists).
    int textWidth(const char* text) const;
    // The lists exist.
    bool ready() const { return listBase != 0; }
    // The font file fontconfig chose (empty when none).
    const std::string& fontFile() const { return myFontFile; }

    int x;              // raster position
    int y;
    bool visible;       // the text is drawn
    float colour[3];    // text colour
    const char* faceName; // requested face (not copied)
    int size;           // character height in pixels
    void* window;       // the window the text belongs to (not used for drawing)
    GLuint listBase;    // first of the 96 lists, 0 when the font could not be built

private:
    void buildFont();

    std::string myFontFile; // resolved face file
    float myAdvances[96] = {}; // advance of characters 32 ... 127 in pixels
};

// The font file fontconfig resolves for a face name, bold; empty when none.
std::string resolveFontFile(const char* faceName, int* faceIndex = nullptr);

#endif
