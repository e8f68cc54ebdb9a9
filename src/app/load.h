// The data loading pipeline: file to voxel buffer, conversion, histogram,
// textures. Progress goes through gpProgressDlg (load_progress.h).
#ifndef GLIMRA_LOAD_H
#define GLIMRA_LOAD_H

#include "includegl.h"
#include "voxel_types.h"
#include "load_progress.h"

#include <cstddef>
#include <string>

class Volume;
class ViewerObserver;
struct VolumeFile;

// How a data load ended: loaded, or not; a file refused before anything was
// released keeps the data on screen.
class TimePointCache;

struct LoadResult
{
    bool loaded = false;  // the new data are in the volume
    bool keptOld = false; // nothing was released: the old data are still shown
    size_t timePoints = 1; // volumes the file holds one after the other
    bool curvesReset = false; // a time point of another type resized the tables: their curves are ramps again
    operator bool() const { return loaded; }
};

// Loads a data set into volume; info receives the data-information text.
// Progress, warnings and the transfer window's table size go to observer.
LoadResult loadData(const std::string& fileName, Volume& volume, std::string& info,
                    ViewerObserver& observer);
LoadResult loadData(const std::string& fileName, Volume& volume, std::string& info);
// Reads time point timePoint (0 the first) of the data file on screen and
// puts it into the volume's textures, in place where they allow (see
// replaceVolumeVoxels), with its histogram; info receives the
// data-information text. A time point that cannot be read, or is not of the
// shape on screen, is refused with a warning and changes nothing (keptOld).
// No progress dialog: a step is meant to be quick.
// Time points read are kept in cache (when given) while they fit its
// budget, and taken from it when asked for again.
LoadResult loadTimePoint(const std::string& fileName, size_t timePoint, Volume& volume, std::string& info,
                         ViewerObserver& observer, TimePointCache* cache = nullptr);
// What follows every data load, whoever asked for it: the volume has data or
// not, shows it, has no mask any more, and the transfer function takes the
// data's file name. A refused file changes nothing.
void dataLoaded(Volume& volume, const LoadResult& result, const std::string& fileName);
// Loads a mask of the data set's resolution. A refused file leaves the mask
// in use (volume.isMask) as it was; once the old mask texture is released,
// isMask is false until the caller has the new mask's render target.
bool loadMask(const std::string& fileName, Volume& volume, ViewerObserver& observer);
bool loadMask(const std::string& fileName, Volume& volume);

// The box, channels and information text (with the "Ratio:" line) of a file
// that was read and shaped, into the volume; the voxels stay with the file.
void handOverVolumeFile(const VolumeFile& file, Volume& volume, std::string& info);

// Builds what the style on screen draws with and the last load left to first
// use (2-D stacks, gradients), with the progress dialog of a load; false when
// that was cancelled (it stays pending).
bool buildTexturesForStyle(Volume& volume, ViewerObserver& observer);

// Frees the voxel buffer and closes the dialog after a cancel or failure.
void abortLoad(void** data);

#endif
