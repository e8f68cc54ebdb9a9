// The data loading pipeline: file to voxel buffer, conversion, histogram,
// textures. Progress goes through gpProgressDlg (load_progress.h).
#ifndef GLIMRA_LOAD_H
#define GLIMRA_LOAD_H

#include "includegl.h"
#include "load_progress.h"

#include <functional>
#include <string>

class Volume;

// Loads a data set into volume; info receives the data-information text.
bool loadData(const std::string& fileName, Volume& volume, std::string& info);
// What follows every data load, whoever asked for it (menu, start-up,
// offscreen renderer): the volume has data or not, shows it, has no mask any
// more, and the transfer function takes the data's file name.
void dataLoaded(Volume& volume, bool loaded, const std::string& fileName);
// Loads a mask of the data set's resolution.
bool loadMask(const std::string& fileName, Volume& volume);

// True when the name ends in ".zvf" (exact case).
bool isZvfFile(const std::string& fileName);

// Frees the voxel buffer and closes the dialog after a cancel or failure.
void abortLoad(void** data);

// The zvf data reader: fills volume.resolution, nbrChannels and the box
// proportions, rewrites info, and hands out the voxels ("tmpdata") with two to
// four bands interleaved and two or three brought to four.
bool readZvfData(const std::string& fileName, void** data, GLenum* type, Volume& volume,
                 std::string& info);

// The mask readers and the reduction of the mask to 8 bits. The readers
// refuse a mask whose resolution differs from volume.resolution with the
// warning box; the reduction keeps the most significant byte of 16- and 32-bit
// values and maps floats 0 ... 1 to 0 ... 255.
bool readMaskZvf(const std::string& fileName, void** data, GLenum* type, Volume& volume);
bool readMaskDescription(const std::string& fileName, void** data, GLenum* type, Volume& volume);
bool reduceMaskTo8Bit(void** data, GLenum* type, Volume& volume);

// The warning box of a load ("Incompatible mask resolution.", title
// "Warning"). The window layer installs a modal box, tests a recorder; with
// none installed the text goes to the log, so nothing here ever blocks.
using MessageBoxHandler = std::function<void(const char* text, const char* title)>;
void setMessageBoxHandler(MessageBoxHandler handler);
void showMessageBox(const char* text, const char* title);

// What the pipeline asks of modules outside the core: the
// transfer-function window (toolkit) and the multi-volume loader. Each entry
// may be null; the pipeline then skips that step (the multi-volume load fails).
struct LoadSeams
{
    // The transfer-function window, when open, sets its sliders and editor
    // mapping for maxValue.
    void (*adaptTransferWindow)(int maxValue) = nullptr;
    // Data with more than four bands of unsigned bytes (band-major buffer).
    bool (*loadMultiVolume)(void** data, GLenum type, Volume& volume) = nullptr;
    // Build gradient and magnitude textures: the view sets this once its
    // shading programs exist; nothing else reads them.
    bool gradients = false;
};

extern LoadSeams g_loadSeams;

#endif
