// The multi-volume record: per-band textures of a data set with more than four bands.
#ifndef GLIMRA_MULTI_VOLUME_H
#define GLIMRA_MULTI_VOLUME_H

#include "includegl.h"
#include "load_progress.h"

class Volume;

class MultiVolumeInfo
{
public:
    static constexpr int kMaxTextures = 10;
    static constexpr int kWeightCount = 41; // channelsPerTexture x 10 + 1

    MultiVolumeInfo();
    ~MultiVolumeInfo();

    // Appends a texture holding `bands` bands (-1: channelsPerTexture) and
    // weighs its channels 1, so every band starts out weighted equally.
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

// Copies bands first ... first + count - 1 of a band-major byte buffer (each
// band resolution x * y * z voxels, x fastest) into channels 0 ... count - 1
// of the texels of a padded grid with `channels` bytes per texel. Channels
// past count and the texels outside the data are not written: out comes
// zeroed from the caller.
void packBands(const unsigned char* bands, const int resolution[3], const int padded[3], int first,
               int count, int channels, unsigned char* out);

// The loader for data of more than four bands of unsigned bytes (band-major
// *data, volume.nbrChannels bands): bands 1 ... are packed four to an RGBA 3-D
// texture into a new volume.myMVolumeInfo (at most ten textures) and
// nbrChannels becomes 1, so the rest of the load treats band 0, at the start
// of *data, as an ordinary volume. Without a current context the record
// is filled with texture name 0. False (no record left) on a missing
// glTexImage3D, a failed allocation or a cancel.
// Progress (may be null) hears of each band texture; false from it cancels.
bool loadMultiVolume(void** data, GLenum type, Volume& volume, ProgressCallback progress = nullptr);

#endif
