// "glimra.ini": the render settings kept between runs, and the seam through
// which they reach the running objects.
//
// The settings live in the objects that use them (volume, RenderMode,
// textureFilter, the transfer-function curves, the main window, its view and
// the frame-rate text). Settings is the file's view of all of them: the file
// is read into and written from such a record, and a SettingsTarget moves the
// record to and from the running objects.
#ifndef GLIMRA_SETTINGS_FILE_H
#define GLIMRA_SETTINGS_FILE_H

#include "render_mode.h"

#include <cstddef>
#include <string>

// The settings file in the working directory.
extern const char* const kSettingsFileName;

// Reading stops after this many bytes; a real file has about 350.
const size_t kMaxSettingsFileBytes = 64 * 1024;
// Largest outer window width or height taken from the file.
const int kMaxSettingsWindowSize = 16384;
// Largest distance of the window position from the origin taken from the file.
const int kMaxSettingsWindowPosition = 16384;

// Every value the settings file carries, with the program's defaults.
struct Settings
{
    RenderMode mode;                       // draw style and classification, derived values
    bool perspective = true;               // projection
    bool fpsVisible = true;                // the frame-rate text is drawn
    float background[3] = {0.0f, 0.0f, 0.0f}; // clear colour, each 0..1
    int sampling = 64;                     // slices, 0..512
    int halfSampling = 32;                 // sampling / 2
    float alphaThreshold = 0.0f;           // alpha test reference, 0..1
    int alphaFunc = 0x204;                 // GL_GREATER, GL_EQUAL (0x202) or GL_LESS (0x201)
    int blending = BLENDING_COMPOSITE;     // 0..2
    bool showBBox = true;                  // bounding box drawn
    int curveKind = 0;                     // 0 linear, 1 Bezier, 2 free; all four channels
    bool autosave = true;                  // written when the program closes
    int width = -1, height = -1;           // main window outer size; -1: the toolkit chooses
    int x = -1, y = -1;                    // main window position; -1: the toolkit chooses
    bool speedup = true;                   // half the slices while dragging
    int alphaCalculation = 1;              // 0 one, 1 average, 2 maximum
    int gradientCalculation = 4;           // 0..3 one channel, 4 average
    bool alphaCorrection = false;          // opacity correction for the slice distance
    float textureFilter = 9729.0f;         // GL_NEAREST 9728 or GL_LINEAR 9729
};

// The nineteen lines, CR LF after each but the last.
std::string formatSettings(const Settings& s);

// Applies every line of text that parses to s, with the range rules of each
// value; a value whose line is missing or damaged keeps what s held. Only the
// first kMaxSettingsFileBytes are looked at. Returns the number of lines applied.
int parseSettings(const std::string& text, Settings& s);

// Reads a settings file into s (see parseSettings); false when the path is not
// a readable regular file, and s is then unchanged.
bool readSettingsFile(const std::string& path, Settings& s);
// Writes s to path; false when the file cannot be written.
bool writeSettingsFile(const std::string& path, const Settings& s);

#endif
