// What the main view draws over the volume to explain itself: a marker of
// the data's axes turning with the data (x, y, z, or the patient's L/R, A/P,
// S/I where the file said how the data lie) and a colour bar of the
// transfer function with the data values it maps.
#ifndef GLIMRA_VIEW_OVERLAY_H
#define GLIMRA_VIEW_OVERLAY_H

#include "includegl.h"

#include <string>
#include <vector>

class TextOverlay;
struct DataScale;

// Where the marker and the bar go in a view of width x height pixels
// (lower left corners, window pixels from the bottom left).
struct OverlayLayout
{
    int markerX = 0, markerY = 0, markerSize = 0; // the marker's square
    int barX = 0, barY = 0;                       // the colour bar, both strips
    int barWidth = 0, barHeight = 0;              // each strip is half the width
};
OverlayLayout overlayLayout(int width, int height);

// One axis of the marker.
struct MarkerAxis
{
    float dir[3] = {0, 0, 0};     // unit direction in the data's own frame
    char plus = 0;                // letter at the positive end
    char minus = 0;               // letter at the negative end, 0: drawn on its positive side only
    unsigned char colour[3] = {}; // colour of the positive half
};
// The marker's three axes: the data's x, y, z (red, green, blue) when the
// file gave no orientation; otherwise the patient's left, anterior and
// superior directions (the same colours), found in the data's frame from
// direction (row-major, column a = where the data's axis a points among
// left, anterior, superior), with R/P/I at their other ends.
void markerAxes(bool oriented, const float direction[9], MarkerAxis out[3]);

// A tick of the colour bar.
struct BarTick
{
    double entry = 0;  // table entry it marks (0 ... tableSize - 1)
    std::string text;  // the data value as the transfer editor writes it
};
// The bar's ticks for a table of tableSize entries under scale: both ends
// first, then up to five round values between them (steps of 1, 2 or 5
// times a power of ten) that lie at least a tenth of the range from either
// end.
std::vector<BarTick> colourBarTicks(const DataScale& scale, int tableSize);

// The table entry shown in row y (0 the bottom) of a bar of rows rows:
// entry 0 in the bottom row, the last in the top row.
int colourBarEntry(int y, int rows, int tableSize);

// What a frame's overlays show.
struct OverlayScene
{
    int width = 0, height = 0;            // the view in pixels
    const float* rotation = nullptr;      // the data's rotation, column-major 4 x 4
    bool oriented = false;                // the data file said how the data lie
    const float* direction = nullptr;     // see markerAxes (when oriented)
    const float* background = nullptr;    // the clear colour, RGB 0 ... 1
    const unsigned char* palette = nullptr; // tableSize RGBA entries, none when null
    int tableSize = 0;
    const DataScale* scale = nullptr;     // what the entries mean
};

class ViewOverlay
{
public:
    ViewOverlay() = default;
    ~ViewOverlay();
    ViewOverlay(const ViewOverlay&) = delete;
    ViewOverlay& operator=(const ViewOverlay&) = delete;

    // Draws what is switched on over the view (context current, after the
    // volume): the marker turned as the data, the bar of the palette
    // labelled in the scale's values. The bar's text takes black or white,
    // whichever stands out from the background. Leaves the OpenGL state as
    // it found it.
    void draw(const OverlayScene& scene);
    // Deletes the text's lists (context current).
    void releaseGL();

    // Both off until switched on: the window turns them on as its View menu
    // says, glimra-render when asked for.
    bool markerVisible = false;    // draw the orientation marker
    bool colourBarVisible = false; // draw the colour bar

private:
    void drawMarker(const OverlayLayout& l, const OverlayScene& scene);
    void drawBar(const OverlayLayout& l, const unsigned char* palette, int tableSize,
                 const DataScale& scale, const float text[3]);
    // The labels' font, made at the first draw that needs it.
    TextOverlay* labels();

    TextOverlay* myLabels = nullptr; // the letters and values
    bool myLabelsTried = false;      // labels() ran once (the font may be missing)
};

#endif
