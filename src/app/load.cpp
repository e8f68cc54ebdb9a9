#include "load.h"

#include "data_scale.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "histogram.h"
#include "load_convert.h"
#include "memory_budget.h"
#include "volume_file.h"
#include "transfer_function.h"
#include "multi_volume.h"
#include "my_cg.h"
#include "render_mode.h"
#include "time_point_cache.h"
#include "viewer_observer.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

ProgressDialog* gpProgressDlg = nullptr;

namespace {

void openProgressDialog(ViewerObserver& observer)
{
    gpProgressDlg = nullptr;
    if (!guardedAllocationShouldFail())
        gpProgressDlg = observer.openProgress();
    if (!gpProgressDlg)
        reportAllocationFailure(__FILE__, __LINE__);
    g_garbageCollector.add(gpProgressDlg, __FILE__, __LINE__, "gpProgressDlg");
}

void closeProgressDialog()
{
    if (!gpProgressDlg)
        return;
    gpProgressDlg->close();
    RELEASE(gpProgressDlg);
}

// Shows value and message; false when the user cancelled. Without a dialog
// (its allocation failed) the load goes on.
bool progress(int value, const char* message)
{
    return gpProgressDlg ? gpProgressDlg->update(value, message) : true;
}

// A reader failed: "Failed." in the dialog, buffer and dialog gone.
bool failLoad(void** data)
{
    progress(100, "Failed.");
    if (*data)
        RELEASE_VOXELS(*data);
    closeProgressDialog();
    return false;
}

} // namespace

bool reportProgress(int value, const char* message)
{
    if (!gpProgressDlg)
        return true;
    if (gpProgressDlg->update(value, message))
        return true;
    closeProgressDialog();
    return false;
}

void abortLoad(void** data)
{
    if (*data)
        RELEASE_VOXELS(*data);
    closeProgressDialog();
}

void handOverVolumeFile(const VolumeFile& file, Volume& volume, std::string& info)
{
    for (int a = 0; a < 3; ++a)
        volume.resolution[a] = file.resolution[a];
    volume.nbrChannels = file.bands;
    volume.setBoxProportions(file.spacing[0], file.spacing[1], file.spacing[2]);
    volume.oriented = file.oriented;
    std::memcpy(volume.direction, file.direction, sizeof volume.direction);
    char ratio[160];
    std::snprintf(ratio, sizeof ratio, "Ratio:\t\t%f %f %f\n", static_cast<double>(volume.extent[0]),
                  static_cast<double>(volume.extent[1]), static_cast<double>(volume.extent[2]));
    info = file.info;
    info.insert(file.ratioAt < info.size() ? file.ratioAt : info.size(), ratio);
}

namespace {

// Converts the handed-over voxels, builds the histogram and the textures;
// false on a failure or cancel (the data are then gone).
// The textures the style on screen draws with now; the 2-D stacks and the
// gradients of other styles when one first needs them.
TexturePlan texturePlan()
{
    TexturePlan plan;
    plan.stacks = RenderMode::instance().getSlicing() == SLICING_2D_STACKS;
    plan.gradients = arbProgramsReady && drawReadsGradients();
    plan.laterGradients = arbProgramsReady;
    return plan;
}

// Why a volume of this shape (channels as shaped) would not fit the memory
// there is once converted, copied and uploaded, "" when it fits (or nothing
// says how much there is).
std::string memoryShortage(const std::string& fileName, const int resolution[3], int channels, int bytesPerValue)
{
    const uint64_t budget = loadMemoryBudget();
    if (budget == 0)
        return std::string();
    const TexturePlan plan = texturePlan();
    LoadShape shape;
    for (int a = 0; a < 3; ++a)
        shape.resolution[a] = resolution[a];
    shape.channels = channels;
    shape.readBytes = bytesPerValue;
    shape.stacks = plan.stacks;
    shape.gradients = plan.gradients;
    const LoadEstimate estimate = estimateLoad(shape);
    return estimate.peak > budget ? memoryRefusal(fileName, estimate, budget) : std::string();
}

// The same, asked by the readers before they allocate: two or three bands
// become four channels, more stay bands.
ShapeCheck memoryCheck(const std::string& fileName)
{
    return [fileName](const VolumeShape& s) {
        const int channels = s.bands == 1 ? 1 : s.bands <= 4 ? 4 : s.bands;
        return memoryShortage(fileName, s.resolution, channels, s.bytesPerValue);
    };
}

// The number after the last occurrence of label in info (the conversion's
// "Minimal value:" and "Maximal value:" lines), 0 without one.
double lastNumberAfter(const std::string& info, const char* label)
{
    const size_t at = info.rfind(label);
    return at == std::string::npos ? 0.0 : std::strtod(info.c_str() + at + std::strlen(label), nullptr);
}

// The transfer function picks the texture formats for converted data of
// type and sizes its tables to maxValue entries; the editor's data units
// follow the file's type and the conversion's value range. True when the
// tables were resized, their curves back to ramps.
bool sizeTables(VoxelType fileType, VoxelType type, int maxValue, int bands, const std::string& info,
                ViewerObserver& observer)
{
    bool resized = false;
    if (transfer) {
        transfer->chooseTextureFormat(type, bands);
        resized = transfer->resize(maxValue, observer.editorViewWidth());
        if (resized) {
            // The editor may have drawn in its own context meanwhile.
            observer.makeViewCurrent();
            transfer->upload();
        }
    }
    dataScale = dataScaleOf(fileType, lastNumberAfter(info, "Minimal value:\t"),
                            lastNumberAfter(info, "Maximal value:\t"),
                            transfer ? transfer->getTableSize() : maxValue, info);
    return resized;
}

bool upload(VolumeFile& file, Volume& volume, std::string& info, ViewerObserver& observer)
{
    void* data = file.data;
    file.data = nullptr;
    VoxelType type = file.type;
    // More than four bands: band 0 goes on as the volume, the others become band textures.
    if (volume.nbrChannels > 4 && !loadMultiVolume(&data, type, volume, reportProgress))
        return failLoad(&data);
    if (!progress(9, "Scaling data.")) {
        abortLoad(&data);
        return false;
    }
    int maxValue = 256;
    convertAndScale(data, &type, volume.resolution, volume.nbrChannels, info, file.bigEndianValues, &maxValue);
    if (!progress(12, "Converting data.")) {
        abortLoad(&data);
        return false;
    }
    if (!progress(15, "Generating histogram.")) {
        abortLoad(&data);
        return false;
    }
    sizeTables(file.type, type, maxValue, volume.nbrChannels, info, observer);
    histogram.compute(data, volume.resolution[0], volume.resolution[1], volume.resolution[2],
                      volume.nbrChannels, type);
    // The editor's zoom fits the new histogram.
    observer.tableSizeChanged(maxValue);
    if (!progress(20, "Generating 3D textures.")) {
        abortLoad(&data);
        return false;
    }
    if (!isVoxelType(type) || !generateTextures(&data, type, volume, reportProgress, texturePlan())) {
        abortLoad(&data);
        return false;
    }
    if (data)
        RELEASE_VOXELS(data);
    if (transfer)
        transfer->resetIndexShift();
    progress(99, "Done.");
    closeProgressDialog();
    return true;
}

// A file that could not be read or shaped: the dialog says "Failed.", the
// log and a warning box say why; nothing else changes.
bool refuseFile(const std::string& why, ViewerObserver& observer)
{
    progress(100, "Failed.");
    closeProgressDialog();
    logBoth(__FILE__, __LINE__, (why + "\n").c_str());
    observer.warn(why, "Warning");
    return false;
}

} // namespace

LoadResult loadData(const std::string& fileName, Volume& volume, std::string& info,
                    ViewerObserver& observer)
{
    LoadResult result;
    result.keptOld = true;
    openProgressDialog(observer);
    progress(2, "Loading data.");
    VolumeFile file;
    std::string why;
    if (!readVolume(fileName, &file, &why, memoryCheck(fileName))) {
        refuseFile(why, observer);
        return result;
    }
    if (!shapeChannels(&file, volume.alphaCalculation, &why)) {
        refuseFile(fileName + ": " + why, observer);
        return result;
    }
    // Read (a foreign file is asked only now), not yet converted, copied or
    // uploaded: a file that would not fit is refused while the data on
    // screen are still there.
    why = memoryShortage(fileName, file.resolution, file.bands, bytesOfVoxelType(file.type));
    if (!why.empty()) {
        refuseFile(why, observer);
        return result;
    }
    // The file is read whole: only now do the old data go.
    result.keptOld = false;
    volume.deleteTextures(true);
    if (volume.myMVolumeInfo)
        RELEASE(volume.myMVolumeInfo);
    handOverVolumeFile(file, volume, info);
    result.timePoints = file.timePoints;
    result.loaded = upload(file, volume, info, observer);
    // The band textures of a load that failed or was cancelled after the
    // multi-volume loader would outlive the rest of it.
    if (!result.loaded && volume.myMVolumeInfo)
        RELEASE(volume.myMVolumeInfo);
    return result;
}

namespace {

// The voxels of another time point into the textures on screen: converted
// as a load converts, the histogram theirs, the textures overwritten in
// place where they can be, else built anew. False when that failed.
bool replaceVoxels(VolumeFile& file, Volume& volume, std::string& info, ViewerObserver& observer,
                   bool* curvesReset)
{
    void* data = file.data;
    file.data = nullptr;
    VoxelType type = file.type;
    int maxValue = 256;
    convertAndScale(data, &type, volume.resolution, volume.nbrChannels, info, file.bigEndianValues, &maxValue);
    histogram.compute(data, volume.resolution[0], volume.resolution[1], volume.resolution[2],
                      volume.nbrChannels, type);
    bool ok = isVoxelType(type);
    if (ok && !replaceVolumeVoxels(&data, type, volume)) {
        logNote(__FILE__, __LINE__, "The textures of the time point are built anew.\n");
        volume.deleteTextures(true);
        // Another type may take other texture formats and table sizes, as at a load.
        *curvesReset = sizeTables(file.type, type, maxValue, volume.nbrChannels, info, observer);
        observer.tableSizeChanged(maxValue);
        ok = generateTextures(&data, type, volume, nullptr, texturePlan());
    }
    if (data)
        RELEASE_VOXELS(data);
    return ok;
}

} // namespace

LoadResult loadTimePoint(const std::string& fileName, size_t timePoint, Volume& volume, std::string& info,
                         ViewerObserver& observer, TimePointCache* cache)
{
    LoadResult result;
    result.keptOld = true;
    VolumeFile file;
    std::string why;
    if (!cache || !cache->get(fileName, timePoint, &file)) {
        if (!readTimePoint(fileName, timePoint, &file, &why))
            return refuseFile(why, observer), result;
        if (cache)
            cache->keep(fileName, timePoint, file);
    }
    if (!shapeChannels(&file, volume.alphaCalculation, &why))
        return refuseFile(fileName + ": " + why, observer), result;
    const bool sameShape = volume.isData && file.resolution[0] == volume.resolution[0] &&
                           file.resolution[1] == volume.resolution[1] &&
                           file.resolution[2] == volume.resolution[2] && file.bands == volume.nbrChannels;
    if (!sameShape)
        return refuseFile(fileName + ": time point " + std::to_string(timePoint + 1) +
                              " is not of the shape of the data on screen",
                          observer),
               result;
    // The band textures of the multi-band renderer are made by a load only.
    if (file.bands > 4)
        return refuseFile(fileName + ": time points of more than four bands are not shown", observer), result;
    result.timePoints = file.timePoints;
    result.keptOld = false;
    handOverVolumeFile(file, volume, info);
    result.loaded = replaceVoxels(file, volume, info, observer, &result.curvesReset);
    return result;
}

LoadResult loadData(const std::string& fileName, Volume& volume, std::string& info)
{
    return loadData(fileName, volume, info, ViewerObserver::quiet());
}

void dataLoaded(Volume& volume, const LoadResult& result, const std::string& fileName)
{
    if (!result.loaded && result.keptOld)
        return;
    volume.isData = result.loaded;
    volume.isMask = false;
    if (!result.loaded)
        return;
    volume.showVolume = true;
    if (transfer)
        transfer->setFileName(fileName);
}

bool loadMask(const std::string& fileName, Volume& volume)
{
    return loadMask(fileName, volume, ViewerObserver::quiet());
}

bool loadMask(const std::string& fileName, Volume& volume, ViewerObserver& observer)
{
    openProgressDialog(observer);
    progress(2, "Loading mask.");
    VolumeFile file;
    std::string why;
    if (volume.nbrChannels != 1) {
        // One mask value per voxel: conversion and upload would read
        // nbrChannels values each.
        logBoth(__FILE__, __LINE__, "A mask needs data of one channel.\n");
        progress(100, "Failed.");
        closeProgressDialog();
        return false;
    }
    if (!readMask(fileName, volume.resolution, &file, &why))
        return refuseFile(why, observer);
    // Read whole: only now does the old mask go, and with it the mask in use.
    volume.deleteTextures(false);
    volume.isMask = false;
    void* data = file.data;
    file.data = nullptr;
    VoxelType type = file.type;
    if (!progress(9, "Scaling mask.")) {
        abortLoad(&data);
        return false;
    }
    int maxValue = 256;
    std::string scratch;
    convertAndScale(data, &type, volume.resolution, 1, scratch, file.bigEndianValues, &maxValue);
    if (!progress(15, "Converting mask.")) {
        abortLoad(&data);
        return false;
    }
    if (!reduceMaskTo8Bit(&data, &type, volume.resolution) || !data) {
        abortLoad(&data);
        return false;
    }
    if (!progress(20, "Generating 3D textures.")) {
        abortLoad(&data);
        return false;
    }
    if (!generateMaskTexture(&data, type, volume, reportProgress)) {
        abortLoad(&data);
        return false;
    }
    if (data)
        RELEASE_VOXELS(data);
    progress(99, "Done.");
    closeProgressDialog();
    return true;
}

bool buildTexturesForStyle(Volume& volume, ViewerObserver& observer)
{
    const bool stacks = volume.stacksPending && RenderMode::instance().getSlicing() == SLICING_2D_STACKS;
    const bool gradients = volume.gradientsPending && drawReadsGradients();
    if (!stacks && !gradients)
        return true;
    observer.makeViewCurrent();
    openProgressDialog(observer);
    if (!buildDeferredTextures(volume, stacks, gradients, reportProgress))
        return false; // the cancel closed the dialog
    progress(99, "Done.");
    closeProgressDialog();
    return true;
}
