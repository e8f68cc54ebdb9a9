#include "turntable.h"

#include "mat4.h"
#include "picture.h"
#include "plane.h"
#include "volume.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string turntableFramePath(const std::string& output, int frame, int count)
{
    int digits = 3;
    for (long long last = count - 1, limit = 1000; last >= limit; limit *= 10)
        ++digits;
    char number[16];
    std::snprintf(number, sizeof number, "_%0*d.png", digits, frame);
    const size_t n = output.size();
    if (n >= 4 && output.compare(n - 4, 4, ".png") == 0)
        return output.substr(0, n - 4) + number;
    return output + number;
}

std::string outputPathProblem(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    int code = 0;
    if (stat(dir.c_str(), &st) != 0)
        code = errno;
    else if (!S_ISDIR(st.st_mode))
        code = ENOTDIR;
    else if (access(dir.c_str(), W_OK | X_OK) != 0)
        code = errno;
    else if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            code = EISDIR;
        else if (access(path.c_str(), W_OK) != 0)
            code = errno;
    }
    return code ? "Cannot write " + path + ": " + std::strerror(code) : std::string();
}

bool renderTurntable(MainView& view, int width, int height, int count, const std::string& output,
                     const TurntableProgress& progress, std::string* error)
{
    if (count < 1 || count > kMaxTurntableFrames) {
        if (error)
            *error = "A turntable has 1 to " + std::to_string(kMaxTurntableFrames) + " frames.";
        return false;
    }
    float base[16];
    std::memcpy(base, volume.rotation, sizeof base);
    // The clip planes turn with the data.
    float planeBase[ClipPlaneSet::kSlots][16];
    for (int i = 0; i < ClipPlaneSet::kSlots; ++i)
        if (clipPlanes.pole[i])
            std::memcpy(planeBase[i], clipPlanes.pole[i]->matrix, sizeof planeBase[i]);
    bool ok = true;
    for (int k = 0; k < count && ok; ++k) {
        float turn[16];
        matRotation(360.0f * static_cast<float>(k) / static_cast<float>(count), 0, 1, 0, turn);
        matMultiply(turn, base, volume.rotation);
        for (int i = 0; i < ClipPlaneSet::kSlots; ++i)
            if (clipPlanes.pole[i])
                matMultiply(turn, planeBase[i], clipPlanes.pole[i]->matrix);
        const std::string path = turntableFramePath(output, k, count);
        std::string why;
        ok = savePicture(view, width, height, path, &why);
        if (!ok && error)
            *error = "Frame " + std::to_string(k + 1) + " of " + std::to_string(count) + ": " + why;
        if (ok && progress && !progress(k, count, path)) {
            ok = false;
            if (error)
                *error = kTurntableCancelled;
        }
    }
    std::memcpy(volume.rotation, base, sizeof base);
    for (int i = 0; i < ClipPlaneSet::kSlots; ++i)
        if (clipPlanes.pole[i])
            std::memcpy(clipPlanes.pole[i]->matrix, planeBase[i], sizeof planeBase[i]);
    return ok;
}
