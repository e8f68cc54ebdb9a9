#include "volume.h"

#include "bricking.h"
#include "error_handling.h"
#include "multi_volume.h"
#include "texture.h"
#include "voxel_buffer.h"

#include <cmath>
#include <cstring>

Volume volume;

namespace {
const float kUnitCube[8][3] = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f},
                               {-0.5f, 0.5f, -0.5f},  {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
                               {0.5f, 0.5f, 0.5f},    {-0.5f, 0.5f, 0.5f}};
const float kNormals[6][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
const int kFaces[6][4] = {{0, 3, 2, 1}, {1, 2, 6, 5}, {4, 5, 6, 7},
                          {0, 4, 7, 3}, {2, 3, 7, 6}, {4, 0, 1, 5}};

// Deletes one texture name if it names a texture and clears it.
void deleteTextureId(GLuint& id)
{
    if (id != 0 && glIsTexture(id)) {
        glDeleteTextures(1, &id);
        checkGLError("glDeleteTextures");
    }
    id = 0;
}
}

Volume::Volume()
    : shiftTex(nullptr), backFace(0), frontFace(2), tidx(nullptr), tidy(nullptr), tidz(nullptr),
      tidVolume(0), tidGradient(0), tidMask(0), tidMagnitude(0), isMask(false), isData(false),
      sampling(64), halfSampling(32), interacting(true), blending(0), alphaThreshold(0.0f),
      switchSlices(true), slicePolygonCount(0), diagonal(std::sqrt(3.0f)), perspective(true),
      alphaFunc(GL_GREATER), distance(-3.0f), showBBox(true), showVolume(false), showSlices(false),
      showBricks(false), nbrChannels(1), myBrickInfo(nullptr), isBricking(false), isoMode(false),
      myMVolumeInfo(nullptr), orthoScale(1.4f), alphaCalculation(1), gradientCalculation(4),
      alphaCorrection(false)
{
    std::memset(rotation, 0, sizeof rotation);
    std::memset(translation, 0, sizeof translation);
    std::memcpy(vertices, kUnitCube, sizeof vertices);
    std::memcpy(normals, kNormals, sizeof normals);
    std::memcpy(faces, kFaces, sizeof faces);
    for (int i = 0; i < 3; ++i) {
        resolution[i] = 0;
        extent[i] = 1.0f;
        texScale2D[i] = 1.0f;
        texScale3D[i] = 1.0f;
        background[i] = 0.0f;
    }
    std::memset(slicePolygon, 0, sizeof slicePolygon);
    pan[0] = pan[1] = 0.0f;
    sliceTex[0] = sliceTex[1] = 0;
    std::memset(cornerWindow, 0, sizeof cornerWindow);
    std::memset(multiSlices, 0, sizeof multiSlices);
    depthRange[0] = depthRange[1] = 0.0f;
    std::memset(quad, 0, sizeof quad);
}

void Volume::release()
{
    if (shiftTex) {
        g_garbageCollector.remove(shiftTex);
        delete shiftTex;
        shiftTex = nullptr;
    }
    deleteTextures(true);
    if (myBrickInfo) {
        g_garbageCollector.remove(myBrickInfo);
        delete myBrickInfo;
        myBrickInfo = nullptr;
    }
    if (myMVolumeInfo) {
        g_garbageCollector.remove(myMVolumeInfo);
        delete myMVolumeInfo;
        myMVolumeInfo = nullptr;
    }
    isData = false;
    isMask = false;
}

void Volume::releaseDerivedSource()
{
    if (derivedSource)
        RELEASE_VOXELS(derivedSource);
    derivedSource = nullptr;
    stacksPending = false;
    gradientsPending = false;
}

void Volume::deleteTextures(bool all)
{
    deleteTextureId(tidMask);
    if (!all)
        return;
    releaseDerivedSource();
    deleteTextureId(tidVolume);
    deleteTextureId(tidGradient);
    deleteTextureId(tidMagnitude); // made with the data's gradients, not with the mask
    skipGridRelease(skipGrid);
    GLuint** stacks[3] = {&tidx, &tidy, &tidz};
    for (int i = 0; i < 3; ++i) {
        GLuint*& ids = *stacks[i];
        if (!ids)
            continue;
        if (resolution[i] > 0) {
            glDeleteTextures(resolution[i], ids);
            checkGLError("glDeleteTextures");
        }
        RELEASE_ARRAY(ids);
    }
    if (myBrickInfo)
        myBrickInfo->deleteTextures();
}

bool Volume::createShiftTex()
{
    if (shiftTex) {
        g_garbageCollector.remove(shiftTex);
        delete shiftTex;
        shiftTex = nullptr;
    }
    GUARDED_NEW_AS(shiftTex, "shiftTex", TextureTarget);
    return shiftTex != nullptr;
}

void Volume::setBoxProportions(float px, float py, float pz)
{
    const float base = static_cast<float>(resolution[0]) * px;
    const float ey = static_cast<float>(resolution[1]) * py / base;
    const float ez = static_cast<float>(resolution[2]) * pz / base;
    // An empty or degenerate grid would give infinite or NaN corners; keep the box.
    if (!(base > 0.0f) || !std::isfinite(ey) || !std::isfinite(ez) || !(ey > 0.0f) || !(ez > 0.0f))
        return;
    extent[0] = 1.0f;
    extent[1] = ey;
    extent[2] = ez;
    diagonal = std::sqrt(1.0f + extent[1] * extent[1] + extent[2] * extent[2]);
    for (int c = 0; c < 8; ++c)
        for (int a = 0; a < 3; ++a)
            vertices[c][a] = kUnitCube[c][a] * 2.0f * (extent[a] / 2.0f);
}
