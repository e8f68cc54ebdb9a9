#include "load.h"

#include "error_handling.h"
#include "gen_texture.h"
#include "histogram.h"
#include "load_convert.h"
#include "load_description.h"
#include "load_foreign.h"
#include "transfer_function.h"
#include "multi_volume.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <cstring>
#include <utility>

ProgressDialog* gpProgressDlg = nullptr;
LoadSeams g_loadSeams;

namespace {

// Used when no window layer installed a factory (tools, tests).
class SilentProgressDialog : public ProgressDialog
{
public:
    bool update(int, const char*) override { return true; }
    void close() override {}
};

ProgressDialogFactory& dialogFactory()
{
    static ProgressDialogFactory factory;
    return factory;
}

void openProgressDialog()
{
    ProgressDialogFactory& factory = dialogFactory();
    gpProgressDlg = nullptr;
    if (!guardedAllocationShouldFail())
        gpProgressDlg = factory ? factory() : new (std::nothrow) SilentProgressDialog;
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

void setProgressDialogFactory(ProgressDialogFactory factory)
{
    dialogFactory() = std::move(factory);
}

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

bool isZvfFile(const std::string& fileName)
{
    const size_t n = fileName.size();
    return n >= 4 && fileName.compare(n - 4, 4, ".zvf") == 0;
}

namespace {

// loadData after the old textures are gone: read, convert, histogram,
// textures; false on a failure or cancel.
bool readAndUpload(const std::string& fileName, Volume& volume, std::string& info,
                   ForeignVolume* imported)
{
    void* data = nullptr;
    GLenum type = GL_UNSIGNED_BYTE;
    int maxValue = 256;

    if (!imported->data) {
        openProgressDialog();
        progress(2, "Loading data.");
    }

    bool isDescription = false;
    bool ok;
    if (imported->data) {
        ok = takeForeignData(imported, &data, &type, volume, info);
    } else if (isZvfFile(fileName)) {
        ok = readZvfData(fileName, &data, &type, volume, info);
    } else {
        isDescription = true;
        ok = readDescription(fileName, &data, &type, volume, info);
    }
    if (!ok || !data)
        return failLoad(&data);

    if (!progress(9, "Scaling data.")) {
        abortLoad(&data);
        return false;
    }
    maxValue = 256;
    convertAndScale(data, &type, volume, info, isDescription, &maxValue);
    if (!progress(12, "Converting data.")) {
        abortLoad(&data);
        return false;
    }
    if (!progress(15, "Generating histogram.")) {
        abortLoad(&data);
        return false;
    }
    // The transfer function picks the texture formats and sizes its tables.
    if (transfer) {
        transfer->chooseTextureFormat(type, volume.nbrChannels);
        transfer->resize(maxValue);
    }
    if (g_loadSeams.adaptTransferWindow)
        g_loadSeams.adaptTransferWindow(maxValue);
    histogram.compute(data, volume.resolution[0], volume.resolution[1], volume.resolution[2],
                      volume.nbrChannels, type);
    if (!progress(20, "Generating 3D textures.")) {
        abortLoad(&data);
        return false;
    }
    if (!isVoxelGLType(type) || !generateTextures(&data, type, volume, reportProgress, g_loadSeams.gradients)) {
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

// True while the last data load failed before it discarded anything.
bool g_loadKeptVolume = false;

// Reads a volume of another program's format with the dialog open; a file
// that cannot be imported says why and leaves everything as it was.
bool importFirst(const std::string& fileName, ForeignVolume* imported)
{
    openProgressDialog();
    progress(2, "Loading data.");
    std::string error;
    if (importForeignVolume(fileName, imported, &error))
        return true;
    progress(100, "Failed.");
    closeProgressDialog();
    logBoth(__FILE__, __LINE__, (error + "\n").c_str());
    showMessageBox(error.c_str(), "Warning");
    return false;
}

} // namespace

bool loadData(const std::string& fileName, Volume& volume, std::string& info)
{
    ForeignVolume imported;
    g_loadKeptVolume = false;
    if (!isZvfFile(fileName) && isForeignVolume(fileName) && !importFirst(fileName, &imported)) {
        g_loadKeptVolume = true;
        return false;
    }
    volume.deleteTextures(true);
    if (volume.myMVolumeInfo)
        RELEASE(volume.myMVolumeInfo);
    const bool ok = readAndUpload(fileName, volume, info, &imported);
    releaseForeignVolume(&imported);
    // The band textures of a load that failed or was cancelled after the
    // multi-volume loader would outlive the rest of it.
    if (!ok && volume.myMVolumeInfo)
        RELEASE(volume.myMVolumeInfo);
    return ok;
}

void dataLoaded(Volume& volume, bool loaded, const std::string& fileName)
{
    if (!loaded && g_loadKeptVolume)
        return;
    volume.isData = loaded;
    volume.isMask = false;
    if (!loaded)
        return;
    volume.showVolume = true;
    if (transfer)
        transfer->setFileName(fileName);
}

bool loadMask(const std::string& fileName, Volume& volume)
{
    void* data = nullptr;
    GLenum type = GL_UNSIGNED_BYTE;
    int maxValue = 256;

    volume.deleteTextures(false);
    openProgressDialog();
    progress(2, "Loading mask.");
    bool ok = false;
    if (volume.nbrChannels != 1)
        // One mask value per voxel: conversion and upload would read
        // nbrChannels values each.
        logBoth(__FILE__, __LINE__, "A mask needs data of one channel.\n");
    else
        ok = isZvfFile(fileName)          ? readMaskZvf(fileName, &data, &type, volume)
             : isForeignVolume(fileName) ? readMaskForeign(fileName, &data, &type, volume)
                                         : readMaskDescription(fileName, &data, &type, volume);
    if (!ok || !data)
        return failLoad(&data);
    if (!progress(9, "Scaling mask.")) {
        abortLoad(&data);
        return false;
    }
    std::string scratch;
    const bool isDescription = !isZvfFile(fileName) && !isForeignVolume(fileName);
    convertAndScale(data, &type, volume, scratch, isDescription, &maxValue);
    if (!progress(15, "Converting mask.")) {
        abortLoad(&data);
        return false;
    }
    if (!reduceMaskTo8Bit(&data, &type, volume) || !data) {
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
