// Helpers of the load tests: a captured file log and a recording observer.
#ifndef GLIMRA_LOAD_TEST_UTIL_H
#define GLIMRA_LOAD_TEST_UTIL_H

#include "error_handling.h"
#include "load.h"
#include "load_convert.h"
#include "load_progress.h"
#include "viewer_observer.h"
#include "volume.h"
#include "volume_file.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Points the file channel at a temporary stream for the lifetime of the object.
class LogCapture
{
public:
    LogCapture() : myFile(std::tmpfile()), myChannel(myFile, false), mySaved(g_pFileLog)
    {
        g_pFileLog = &myChannel;
    }
    ~LogCapture()
    {
        g_pFileLog = mySaved;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::string text() const
    {
        std::fflush(myFile);
        std::string s;
        std::rewind(myFile);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, myFile)) > 0)
            s.append(buf, n);
        return s;
    }

private:
    FILE* myFile;
    LogChannel myChannel;
    LogChannel* mySaved;
};

// Every update of every dialog of the recorder, and a cancel at one of them.
struct ProgressRecord
{
    std::vector<std::pair<int, std::string>> updates;
    int cancelAt = -1; // index into updates that answers "cancelled"
    int opened = 0;
    int closed = 0;
};

class RecordingDialog : public ProgressDialog
{
public:
    explicit RecordingDialog(ProgressRecord* r) : myRecord(r) { ++r->opened; }
    bool update(int value, const char* message) override
    {
        myRecord->updates.emplace_back(value, message);
        return static_cast<int>(myRecord->updates.size()) - 1 != myRecord->cancelAt;
    }
    void close() override { ++myRecord->closed; }

private:
    ProgressRecord* myRecord;
};

// An observer for the loads: records every dialog update, every warning
// box and every table size the transfer window would follow.
class ProgressRecorder : public ViewerObserver
{
public:
    ProgressDialog* openProgress() override { return new RecordingDialog(&record); }
    void warn(const std::string& text, const std::string& title) override { boxes.emplace_back(text, title); }
    void tableSizeChanged(int maxValue) override { tableSizes.push_back(maxValue); }

    ProgressRecord record;
    std::vector<std::pair<std::string, std::string>> boxes; // (text, title)
    std::vector<int> tableSizes;
};

// The reading half of a data load as the pipeline runs it: the file read
// whole, its channels shaped, box, channels and information text handed to
// v; the voxels and their type out. False (v and info untouched) when the
// file is refused.
inline bool readShaped(const std::string& path, void** data, GLenum* type, Volume& v, std::string& info)
{
    VolumeFile file;
    std::string why;
    if (!readVolume(path, &file, &why) || !shapeChannels(&file, v.alphaCalculation, &why))
        return false;
    handOverVolumeFile(file, v, info);
    *data = file.data;
    *type = file.type;
    file.data = nullptr;
    return true;
}

// A mask file for the data's resolution: the voxels and their type out.
inline bool readMaskFile(const std::string& path, void** data, GLenum* type, const Volume& v)
{
    VolumeFile file;
    std::string why;
    if (!readMask(path, v.resolution, &file, &why))
        return false;
    *data = file.data;
    *type = file.type;
    file.data = nullptr;
    return true;
}

#endif
