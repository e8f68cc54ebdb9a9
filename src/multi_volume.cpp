#include "multi_volume.h"

#include "error_handling.h"

MultiVolumeInfo::MultiVolumeInfo()
{
    GUARDED_ARRAY(weights, float, kWeightCount);
    if (weights) {
        for (int i = 0; i < kWeightCount; ++i)
            weights[i] = 0.0f;
        weights[0] = 1.0f;
    }
}

MultiVolumeInfo::~MultiVolumeInfo()
{
    if (textures) {
        for (int i = 0; i < count; ++i) {
            if (textures[i] != 0 && glIsTexture(textures[i])) {
                glDeleteTextures(1, &textures[i]);
                checkGLError("glDeleteTextures");
            }
        }
        RELEASE_ARRAY(textures);
    }
    RELEASE_ARRAY(weights);
}

void MultiVolumeInfo::addTexture(GLuint textureId, int bands)
{
    if (count >= kMaxTextures) {
        if (g_pConsoleLog)
            *g_pConsoleLog << "Maximal allowed number of textures ( " << kMaxTextures
                           << ") for multi volume is reached!";
        if (g_pFileLog)
            *g_pFileLog << __FILE__ << "\t" << __LINE__ << "Maximal allowed number of textures ( "
                        << kMaxTextures << ") for multi volume is reached!";
        return;
    }
    GLuint* aTmp = nullptr;
    GUARDED_ARRAY(aTmp, GLuint, count + 1);
    if (!aTmp)
        return;
    total += (bands == -1) ? channelsPerTexture : bands;
    for (int i = 0; i < count; ++i)
        aTmp[i] = textures[i];
    aTmp[count] = textureId;
    if (textures)
        RELEASE_ARRAY(textures);
    textures = aTmp;
    ++count;
    for (int i = 0; i < channelsPerTexture && usedWeights + i < kWeightCount; ++i)
        if (weights)
            weights[usedWeights + i] = 1.0f;
    usedWeights += channelsPerTexture;
    if (usedWeights > kWeightCount)
        usedWeights = kWeightCount;
}

GLuint MultiVolumeInfo::getTexture(int index) const
{
    if (!textures || index < 0 || index >= count)
        return 0;
    return textures[index];
}

void MultiVolumeInfo::setWeights(const float* source, int n)
{
    if (n > 0 && n <= channelsPerTexture * kMaxTextures)
        usedWeights = n;
    if (source && weights)
        for (int i = 0; i < kWeightCount; ++i)
            weights[i] = source[i];
}
