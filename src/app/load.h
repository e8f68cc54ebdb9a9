// The data loading pipeline: file to voxel buffer, conversion, histogram,
// textures. Progress goes through gpProgressDlg (load_progress.h).
#ifndef GLIMRA_LOAD_H
#define GLIMRA_LOAD_H

#include "includegl.h"
#include "voxel_types.h"
#include "load_progress.h"

#include <functional>
#include <string>

class Volume;
struct VolumeFile;

// Loads a data set into volume; info receives the data-information text.
bool loadData(const std::string& fileName, Volume& volume, std::string& info);
// What follows every data load, whoever asked for it (menu, start-up,
// offscreen renderer): the volume has data or not, shows it, has no mask any
// more, and the transfer function takes the data's file name.
void dataLoaded(Volume& volume, bool loaded, const std::string& fileName);
// Loads a mask of the data set's resolution. A refused file leaves the mask
// in use (volume.isMask) as it was; once the old mask texture is released,
// isMask is false until the caller has the new mask's render target.
bool loadMask(const std::string& fileName, Volume& volume);

// The box, channels and information text (with the "Ratio:" line) of a file
// that was read and shaped, into the volume; the voxels stay with the file.
void handOverVolumeFile(const VolumeFile& file, Volume& volume, std::string& info);

// Frees the voxel buffer and closes the dialog after a cancel or failure.
void abortLoad(void** data);

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
    bool (*loadMultiVolume)(void** data, GLenum type, Volume& volume, ProgressCallback progress) = nullptr;
};

extern LoadSeams g_loadSeams;

#endif
