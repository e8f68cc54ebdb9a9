// The multi-volume record: per-band textures of a data set with more than four bands.
#ifndef GLIMRA_MULTI_VOLUME_H
#define GLIMRA_MULTI_VOLUME_H

#include "includegl.h"

class MultiVolumeInfo
{
public:
    static const int kMaxTextures = 10;
    static const int kWeightCount = 41; // channelsPerTexture x 10 + 1

    MultiVolumeInfo();
    ~MultiVolumeInfo();

    // Appends a texture holding `bands` bands (-1: channelsPerTexture).
    void addTexture(GLuint textureId, int bands);
    int getTotal() const { return total; }
    int getCount() const { return count; }
    int getChannelsPerTexture() const { return channelsPerTexture; }
    const float* getWeights() const { return weights; }
    int getUsedWeights() const { return usedWeights; }
    GLuint getTexture(int index) const;
    void setWeights(const float* source, int n);

private:
    int total = 0;              // bands held in textures
    int count = 0;              // number of textures
    GLuint* textures = nullptr; // count ids in band order
    int channelsPerTexture = 4; // bands per texture
    float* weights = nullptr;   // kWeightCount band weights, entry 0 the first band
    int usedWeights = 1;        // valid entries in weights
};

#endif
