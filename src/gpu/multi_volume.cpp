#include "multi_volume.h"

#include "error_handling.h"
#include "gen_texture.h"
#include "load_progress.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <algorithm>
#include <cstring>

namespace {

void logTextureLimit(const char* file, int line)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << "Maximal allowed number of textures ( " << MultiVolumeInfo::kMaxTextures
                       << ") for multi volume is reached!";
    if (g_pFileLog)
        *g_pFileLog << file << "\t" << line << "Maximal allowed number of textures ( "
                    << MultiVolumeInfo::kMaxTextures << ") for multi volume is reached!";
}

} // namespace

MultiVolumeInfo::MultiVolumeInfo()
{
    GUARDED_ARRAY(weights, float, kWeightCount);
    if (!weights)
        g_garbageCollector.remove(weights); // the failed allocation's entry
    if (weights) {
        for (int i = 0; i < kWeightCount; ++i)
            weights[i] = 0.0f;
        // Band 0 (the ordinary volume) at 1; addTexture weighs every further
        // band 1 too, so by default all bands count alike.
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
        logTextureLimit(__FILE__, __LINE__);
        return;
    }
    GLuint* aTmp = nullptr;
    GUARDED_ARRAY(aTmp, GLuint, count + 1);
    if (!aTmp) {
        g_garbageCollector.remove(aTmp); // the failed allocation's entry
        return;
    }
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

void packBands(const unsigned char* bands, const int resolution[3], const int padded[3], int first,
               int count, int channels, unsigned char* out)
{
    const size_t voxels = static_cast<size_t>(resolution[0]) * resolution[1] * resolution[2];
    for (int m = 0; m < count; ++m) {
        const unsigned char* s = bands + static_cast<size_t>(first + m) * voxels;
        for (int z = 0; z < resolution[2]; ++z)
            for (int y = 0; y < resolution[1]; ++y) {
                unsigned char* d =
                    out + ((static_cast<size_t>(z) * padded[1] + y) * padded[0]) * channels + m;
                for (int x = 0; x < resolution[0]; ++x, ++s)
                    d[static_cast<size_t>(x) * channels] = *s;
            }
    }
}

namespace {

// One band texture: bands first ... first + count - 1 in the RGBA channels of
// a grid padded as the data texture is, so that both read the same texture
// coordinates. Name 0 without a context; false when the texels cannot be
// allocated.
bool makeBandTexture(const unsigned char* bands, const Volume& volume, const int padded[3],
                     size_t paddedBytes, int first, int count, int channels,
                     PFNGLTEXIMAGE3DPROC texImage3D, GLuint* name)
{
    *name = 0;
    if (!texImage3D)
        return true;
    void* aTmp = nullptr;
    GUARDED_VOXELS_AS(aTmp, "aTmp", paddedBytes);
    if (!aTmp) {
        g_garbageCollector.remove(aTmp); // the failed allocation's entry
        return false;
    }
    packBands(bands, volume.resolution, padded, first, count, channels,
              static_cast<unsigned char*>(aTmp));
    glGenTextures(1, name);
    glBindTexture(GL_TEXTURE_3D, *name);
    glTexParameterf(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, textureFilter);
    glTexParameterf(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, textureFilter);
    glTexParameterf(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, textureWrap);
    glTexParameterf(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, textureWrap);
    glTexParameterf(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, textureWrap);
    texImage3D(GL_TEXTURE_3D, 0, GL_RGBA, padded[0], padded[1], padded[2], 0, GL_RGBA,
               GL_UNSIGNED_BYTE, aTmp);
    checkGLError("glTexImage3D");
    RELEASE_VOXELS(aTmp);
    return true;
}

// Hands name to the record; a texture it cannot keep is deleted again.
void addBandTexture(MultiVolumeInfo& info, GLuint name, int bands)
{
    const int before = info.getCount();
    info.addTexture(name, bands);
    if (info.getCount() == before && name != 0) {
        glDeleteTextures(1, &name);
        checkGLError("glDeleteTextures");
    }
}

// Between the reader's 2 and the scaling's 9 percent.
bool reportBand(ProgressCallback progress, int done, int planned)
{
    return !progress || progress(2 + (6 * done) / planned, "Generating 3D textures.");
}

} // namespace

bool loadMultiVolume(void** data, GLenum type, Volume& volume, ProgressCallback progress)
{
    if (!data || !*data || type != GL_UNSIGNED_BYTE || volume.nbrChannels <= 4)
        return false;
    size_t voxels = 0, bytes = 0;
    if (!voxelCount(volume.resolution, 1, 1, &voxels, &bytes))
        return false;
    int padded[3];
    for (int a = 0; a < 3; ++a)
        padded[a] = nextPowerOfTwo(volume.resolution[a]);

    if (volume.myMVolumeInfo)
        RELEASE(volume.myMVolumeInfo);
    GUARDED_NEW_AS(volume.myMVolumeInfo, "volume_inout->myMVolumeInfo", MultiVolumeInfo);
    MultiVolumeInfo* info = volume.myMVolumeInfo;
    if (!info) {
        g_garbageCollector.remove(info); // the failed allocation's entry
        return false;
    }
    const int k = info->getChannelsPerTexture();
    size_t paddedTexels = 0, paddedBytes = 0;
    if (!voxelCount(padded, k, 1, &paddedTexels, &paddedBytes)) {
        RELEASE(volume.myMVolumeInfo);
        return false;
    }
    const int extra = volume.nbrChannels - 1;
    const int groups = extra / k;
    const int rest = extra % k;

    PFNGLTEXIMAGE3DPROC texImage3D = nullptr;
    GLint savedAlignment = 4;
    const bool context = glGetString(GL_VERSION) != nullptr;
    if (context) {
        texImage3D = reinterpret_cast<PFNGLTEXIMAGE3DPROC>(getGLProcAddress("glTexImage3D"));
        if (!texImage3D) {
            logBoth(__FILE__, __LINE__, "Not supported 3D textures!\n");
            RELEASE(volume.myMVolumeInfo);
            return false;
        }
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }

    const unsigned char* bands = static_cast<const unsigned char*>(*data);
    const int planned = std::min(groups + (rest > 0), MultiVolumeInfo::kMaxTextures);
    bool ok = true;
    int done = 0;
    for (int g = 0; ok && g < groups; ++g) {
        GLuint name = 0;
        ok = makeBandTexture(bands, volume, padded, paddedBytes, 1 + g * k, k, k, texImage3D, &name);
        if (!ok)
            break;
        addBandTexture(*info, name, -1);
        ok = reportBand(progress, ++done, planned);
        if (info->getCount() == MultiVolumeInfo::kMaxTextures) {
            logTextureLimit(__FILE__, __LINE__);
            break;
        }
    }
    if (ok && rest > 0) {
        if (info->getCount() >= MultiVolumeInfo::kMaxTextures) {
            // No room: the record refuses the rest and logs the limit; no
            // texture is made for it.
            info->addTexture(0, rest);
        } else {
            GLuint name = 0;
            ok = makeBandTexture(bands, volume, padded, paddedBytes, 1 + groups * k, rest, k,
                                 texImage3D, &name);
            if (ok) {
                addBandTexture(*info, name, rest);
                ok = reportBand(progress, ++done, planned);
            }
        }
    }
    if (context)
        glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);

    if (!ok) {
        RELEASE(volume.myMVolumeInfo);
        return false;
    }
    // Band 0 leads the band-major buffer: the rest of the load reads it as an
    // ordinary one-channel volume, and the buffer goes with the load's end.
    volume.nbrChannels = 1;
    return true;
}
