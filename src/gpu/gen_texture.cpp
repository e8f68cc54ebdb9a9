#include "gen_texture.h"

#include "bricking.h"
#include "error_handling.h"
#include "multi_volume.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <string>
#include <thread>
#include <vector>

ProgressCallback progressCallback = nullptr;

namespace {

// What the running generation builds now and what it leaves to first use.
TexturePlan g_plan;

const int kBrickSize = 32;
// From this many voxels along an axis a volume is always bricked.
const int kBrickingResolution = 4096;

int g_max2DOverride = 0;
int g_max3DOverride = 0;

// Tight, unskipped client rows for every upload here: a slice row of one
// or two bytes would otherwise be read with the default 4-byte alignment,
// past the end of its buffer. The caller's state comes back afterwards.
class UnpackState
{
public:
    UnpackState()
    {
        for (int i = 0; i < kCount; ++i)
            glGetIntegerv(kNames[i], &mySaved[i]);
        for (int i = 0; i < kCount; ++i)
            glPixelStorei(kNames[i], kNames[i] == GL_UNPACK_ALIGNMENT ? 1 : 0);
    }
    ~UnpackState()
    {
        for (int i = 0; i < kCount; ++i)
            glPixelStorei(kNames[i], mySaved[i]);
    }
    UnpackState(const UnpackState&) = delete;
    UnpackState& operator=(const UnpackState&) = delete;
    // Rows of the next uploads are `pixels` apart (0: as wide as the image).
    static void rowLength(int pixels) { glPixelStorei(GL_UNPACK_ROW_LENGTH, pixels); }

private:
    static const int kCount = 8;
    static constexpr GLenum kNames[kCount] = {GL_UNPACK_ALIGNMENT,  GL_UNPACK_ROW_LENGTH,
                                              GL_UNPACK_SKIP_ROWS,  GL_UNPACK_SKIP_PIXELS,
                                              GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES,
                                              GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST};
    GLint mySaved[kCount] = {};
};
constexpr GLenum UnpackState::kNames[];

// One progress report; a cancel clears the callback.
bool report(int percent, const char* message)
{
    if (!progressCallback)
        return true;
    if (progressCallback(percent, message))
        return true;
    progressCallback = nullptr;
    return false;
}

// Filter and wrap of a 3-D volume texture bound to target.
void setVolumeParameters(GLenum target)
{
    glTexParameterf(target, GL_TEXTURE_MIN_FILTER, textureFilter);
    glTexParameterf(target, GL_TEXTURE_MAG_FILTER, textureFilter);
    glTexParameterf(target, GL_TEXTURE_WRAP_S, textureWrap);
    glTexParameterf(target, GL_TEXTURE_WRAP_T, textureWrap);
    glTexParameterf(target, GL_TEXTURE_WRAP_R, textureWrap);
}

void set2DParameters()
{
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, textureFilter);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, textureFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(textureWrap));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(textureWrap));
}

PFNGLTEXIMAGE3DPROC fetchTexImage3D()
{
    return reinterpret_cast<PFNGLTEXIMAGE3DPROC>(getGLProcAddress("glTexImage3D"));
}

void paddedSizes(const Volume& v, int padded[3])
{
    for (int a = 0; a < 3; ++a)
        padded[a] = nextPowerOfTwo(v.resolution[a]);
}

bool fits(const int sizes[3], int limit)
{
    return sizes[0] <= limit && sizes[1] <= limit && sizes[2] <= limit;
}

// Elements (of `elements` per voxel) of sizes[0] x sizes[1] x sizes[2]
// voxels, in bytes; false when that does not fit.
bool bufferBytes(const int sizes[3], int elements, GLenum glType, size_t* bytes)
{
    size_t values = 0;
    return voxelCount(sizes, elements, bytesOfVoxelType(glType), &values, bytes);
}

void releaseBricks(Volume& v)
{
    if (v.myBrickInfo)
        RELEASE(v.myBrickInfo);
}

// Planes of a padded volume per upload slab: about 8 MiB of texels.
int slabPlanes(const int padded[3], size_t texelBytes)
{
    const size_t plane = static_cast<size_t>(padded[0]) * static_cast<size_t>(padded[1]) * texelBytes;
    const size_t planes = std::max<size_t>(1, (static_cast<size_t>(8) << 20) / std::max<size_t>(1, plane));
    return static_cast<int>(std::min<size_t>(planes, static_cast<size_t>(padded[2])));
}

// Gradient and magnitude textures of the padded volume (not bricking), a
// slab of planes at a time: the gradients of the slab as RGBA (the driver
// stores three components as four anyway, and copies four straight where it
// converts three texel by texel), their lengths as the bytes the magnitude
// texture stores, both uploaded. The largest length, which every byte is
// relative to, comes first from a pass that keeps nothing. So no buffer the
// size of the volume is held beside the data. False when the gradient
// computation was cancelled.
bool makeGradientTextures(const void* data, GLenum glType, Volume& v, const int padded[3],
                          PFNGLTEXIMAGE3DPROC texImage3D, int calculation)
{
    // Without an upload there is nothing to compute for.
    if (!texImage3D || !fits(padded, max3DTextureSize()))
        return true;
    const size_t element = static_cast<size_t>(bytesOfVoxelType(glType));
    const size_t plane = static_cast<size_t>(padded[0]) * static_cast<size_t>(padded[1]);
    const int planes = slabPlanes(padded, 4 * element);
    void* rgba = nullptr;
    GUARDED_VOXELS_AS(rgba, "gradient_rgba", plane * planes * 4 * element);
    void* lengths = nullptr;
    GUARDED_VOXELS_AS(lengths, "magnitude_bytes", plane * planes);
    if (!rgba || !lengths) {
        RELEASE_VOXELS(rgba);
        RELEASE_VOXELS(lengths);
        return true;
    }
    const int channels = v.nbrChannels;
    // The data's voxels in the padded grid: a difference across the data's
    // face would take the padding for data.
    const int* used = v.resolution;
    const float largest =
        largestGradientLength(padded[0], padded[1], padded[2], channels, data, glType, calculation, used);
    glBindTexture(GL_TEXTURE_3D, v.tidGradient);
    texImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, padded[0], padded[1], padded[2], 0, GL_RGBA, glType, nullptr);
    checkGLError("glTexImage3D");
    // A name of its own: the default texture object would be replaced by
    // every other bind of 0 and could not be released with the data.
    if (v.tidMagnitude == 0)
        glGenTextures(1, &v.tidMagnitude);
    glBindTexture(GL_TEXTURE_3D, v.tidMagnitude);
    setVolumeParameters(GL_TEXTURE_3D);
    texImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, padded[0], padded[1], padded[2], 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
               nullptr);
    checkGLError("glTexImage3D");
    bool ok = true;
    for (int z = 0; ok && z < padded[2]; z += planes) {
        const int count = std::min(planes, padded[2] - z);
        ok = computeGradientRGBA(rgba, static_cast<unsigned char*>(lengths), largest, z, z + count, padded[0],
                                 padded[1], padded[2], channels, data, glType, calculation, used);
        if (!ok)
            break;
        glBindTexture(GL_TEXTURE_3D, v.tidGradient);
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, z, padded[0], padded[1], count, GL_RGBA, glType, rgba);
        checkGLError("glTexSubImage3D");
        glBindTexture(GL_TEXTURE_3D, v.tidMagnitude);
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, z, padded[0], padded[1], count, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                        lengths);
        checkGLError("glTexSubImage3D");
    }
    RELEASE_VOXELS(rgba);
    RELEASE_VOXELS(lengths);
    if (!ok) {
        // Cancelled: the storage goes now, the next build allocates it again.
        glBindTexture(GL_TEXTURE_3D, v.tidGradient);
        texImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, 0, 0, 0, 0, GL_RGBA, glType, nullptr);
        glBindTexture(GL_TEXTURE_3D, v.tidMagnitude);
        texImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, 0, 0, 0, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, nullptr);
    }
    return ok;
}

// The 3-D data texture of the padded buffer, then its gradient textures.
// False when the gradient computation was cancelled.
bool make3DTextures(const void* data, GLenum glType, Volume& v)
{
    int padded[3];
    paddedSizes(v, padded);
    glBindTexture(GL_TEXTURE_3D, v.tidVolume);
    setVolumeParameters(GL_TEXTURE_3D);
    PFNGLTEXIMAGE3DPROC texImage3D = nullptr;
    if (fits(padded, max3DTextureSize())) {
        for (int a = 0; a < 3; ++a)
            v.texScale3D[a] = static_cast<float>(v.resolution[a]) / static_cast<float>(padded[a]);
        texImage3D = fetchTexImage3D();
        if (!texImage3D) {
            logBoth(__FILE__, __LINE__, "Not supported 3D textures!\n");
        } else {
            texImage3D(GL_TEXTURE_3D, 0, textureInternalFormat, padded[0], padded[1], padded[2], 0,
                       textureFormat, glType, data);
            checkGLError("glTexImage3D");
            v.uploadedType = glType;
            // The ray caster's empty-space cells, while the voxels are at hand.
            const int stride[2] = {padded[0], padded[1]};
            skipGridBuild(v.skipGrid, data, glType, v.nbrChannels, v.resolution, stride);
        }
    }
    // Bound even without gradients: a name never bound is no texture object
    // yet, and the release, which asks glIsTexture, would pass it by.
    glBindTexture(GL_TEXTURE_3D, v.tidGradient);
    setVolumeParameters(GL_TEXTURE_3D);
    if (!g_plan.gradients)
        return true;
    return makeGradientTextures(data, glType, v, padded, texImage3D, v.getGradientCalculation());
}

void uploadSlice(GLuint name, int width, int height, GLenum glType, const void* pixels)
{
    glBindTexture(GL_TEXTURE_2D, name);
    set2DParameters();
    glTexImage2D(GL_TEXTURE_2D, 0, textureInternalFormat, width, height, 0, textureFormat, glType, pixels);
    checkGLError("glTexImage2D");
}

// The x stack gathers one voxel from every source row, which costs more
// than the upload itself. It goes in batches of slices, each gathered into
// one of two blocks in chunks of rows by whichever thread is free: a helper
// thread gathers ahead while this one uploads, and this one joins in on the
// next batch once its upload is done. Without the helper it all runs here.
class XStackBuilder
{
public:
    XStackBuilder(const GLuint* names, const void* source, GLenum glType, const Volume& v, const int padded[3],
                  int rowLength, int sliceRows)
        : myNames(names), mySource(source), myGLType(glType), myVolume(v), myPadded(padded),
          myRowLength(rowLength), mySliceRows(sliceRows)
    {
        stackSliceSize(0, padded, &myWidth, &myHeight);
        myVoxelBytes = static_cast<size_t>(v.nbrChannels) * bytesOfVoxelType(glType);
        // One cache line more between slices: the rows written together
        // would otherwise share a cache set when slices are a power of two.
        const size_t bytes = static_cast<size_t>(myWidth) * myHeight * myVoxelBytes;
        myStride = static_cast<size_t>(myWidth) * myHeight * v.nbrChannels + 64 / bytesOfVoxelType(glType);
        planBatches(bytes);
        const int rowsPerChunk = std::max(1, (myHeight + kChunks - 1) / kChunks);
        myChunkRows = rowsPerChunk;
        myChunks = (myHeight + rowsPerChunk - 1) / rowsPerChunk;
    }

    void run()
    {
        const size_t blockBytes = myStride * bytesOfVoxelType(myGLType) * myBatch;
        const int batches = static_cast<int>(myStarts.size()) - 1;
        GUARDED_ARRAY(myBlocks, unsigned char, blockBytes * std::min(batches, 2));
        if (!myBlocks)
            return;
        myBlockBytes = blockBytes;
        myState = std::vector<BatchState>(static_cast<size_t>(batches));
        std::thread helper;
        if (blockBytes * batches >= kThreadBytes) {
            try {
                helper = std::thread([this, batches] {
                    for (int j = 0; j < batches; ++j) {
                        waitFree(j);
                        gather(j);
                    }
                });
            } catch (const std::system_error&) {
            }
        }
        for (int j = 0; j < batches; ++j) {
            gather(j);
            waitGathered(j);
            upload(j);
            {
                std::lock_guard<std::mutex> lock(myMutex);
                myUploaded = j + 1;
            }
            myChanged.notify_all();
        }
        if (helper.joinable())
            helper.join();
        RELEASE_ARRAY(myBlocks);
    }

private:
    // Below this many bytes of x stack a helper thread is not worth starting.
    static const size_t kThreadBytes = static_cast<size_t>(1) << 20;
    // Chunks of rows per batch, shared out between the two threads.
    static const int kChunks = 16;

    struct BatchState
    {
        std::atomic<int> claimed{0};  // chunks handed out
        std::atomic<int> finished{0}; // chunks written
        BatchState() = default;
        BatchState(const BatchState&) : BatchState() {}
    };

    // Batches of about 4 MiB, at least a cache line of every source row where
    // that stays below 16 MiB, in multiples of 16 slices. After the first,
    // batches start on a cache line of the source, so no line is read twice.
    void planBatches(size_t bytes)
    {
        const int n = myVolume.resolution[0];
        const size_t line = 64;
        const size_t mib = static_cast<size_t>(1) << 20;
        int batch = static_cast<int>(std::min<size_t>(static_cast<size_t>(n), std::max<size_t>(1, 4 * mib / bytes)));
        const int lineVoxels = static_cast<int>(std::max<size_t>(1, line / myVoxelBytes));
        if (batch < lineVoxels && lineVoxels * bytes <= 16 * mib)
            batch = std::min(n, lineVoxels);
        if (batch > 16)
            batch -= batch % 16;
        int lead = 0;
        const size_t offset = reinterpret_cast<uintptr_t>(mySource) % line;
        if (offset != 0 && (line - offset) % myVoxelBytes == 0 && myRowLength * myVoxelBytes % line == 0)
            lead = static_cast<int>((line - offset) / myVoxelBytes) % batch;
        myBatch = batch;
        myStarts.push_back(0);
        for (int x = lead > 0 ? lead : batch; x < n; x += batch)
            myStarts.push_back(x);
        myStarts.push_back(n);
    }

    // Claims chunks of batch j until none is left.
    void gather(int j)
    {
        BatchState& state = myState[static_cast<size_t>(j)];
        const int first = myStarts[static_cast<size_t>(j)];
        const int count = myStarts[static_cast<size_t>(j) + 1] - first;
        unsigned char* block = myBlocks + (j % 2) * myBlockBytes;
        for (int c = state.claimed++; c < myChunks; c = state.claimed++) {
            const int rowBegin = c * myChunkRows;
            copyXStack(block, myStride, first, count, rowBegin, std::min(myHeight, rowBegin + myChunkRows), mySource,
                       myRowLength, mySliceRows, myVolume.resolution, myPadded, myVolume.nbrChannels, myGLType);
            if (++state.finished == myChunks) {
                std::lock_guard<std::mutex> lock(myMutex);
                myChanged.notify_all();
            }
        }
    }

    void upload(int j)
    {
        const int first = myStarts[static_cast<size_t>(j)];
        const int count = myStarts[static_cast<size_t>(j) + 1] - first;
        const unsigned char* block = myBlocks + (j % 2) * myBlockBytes;
        const size_t stride = myStride * bytesOfVoxelType(myGLType);
        for (int k = 0; k < count; ++k)
            uploadSlice(myNames[first + k], myWidth, myHeight, myGLType, block + k * stride);
    }

    // Until block j % 2 is free: batch j - 2 is uploaded.
    void waitFree(int j)
    {
        std::unique_lock<std::mutex> lock(myMutex);
        myChanged.wait(lock, [&] { return j - myUploaded < 2; });
    }

    void waitGathered(int j)
    {
        std::unique_lock<std::mutex> lock(myMutex);
        myChanged.wait(lock, [&] { return myState[static_cast<size_t>(j)].finished.load() == myChunks; });
    }

    const GLuint* myNames;          // texture names of the x stack
    const void* mySource;           // voxels, rows of myRowLength
    GLenum myGLType;                // element type of the voxels
    const Volume& myVolume;         // resolution and channels
    const int* myPadded;            // padded sizes
    int myRowLength;                // voxels per source row
    int mySliceRows;                // rows per source slice
    int myWidth = 0;                // texels per slice row
    int myHeight = 0;               // rows per slice
    size_t myVoxelBytes = 0;        // bytes per voxel
    size_t myStride = 0;            // elements from slice to slice in a block
    int myBatch = 1;                // slices per batch (the first may have fewer)
    std::vector<int> myStarts;      // first slice of each batch, then the slice count
    int myChunkRows = 1;            // rows per chunk
    int myChunks = 1;               // chunks per batch
    unsigned char* myBlocks = nullptr; // two blocks of one batch each
    size_t myBlockBytes = 0;        // bytes per block
    std::vector<BatchState> myState; // chunk counters of each batch
    std::mutex myMutex;             // guards myUploaded and the waits
    std::condition_variable myChanged; // a batch gathered or uploaded
    int myUploaded = 0;             // batches uploaded so far
};

// One stack. A padded source is uploaded in place where its rows already
// are the texture rows (z slices whole, y slices with a row stride); the
// other slices go through one work slice.
void buildStack(int axis, const GLuint* names, const void* source, bool paddedSource, GLenum glType,
                const Volume& v, const int padded[3])
{
    const int ch = v.nbrChannels;
    const size_t voxelBytes = static_cast<size_t>(ch) * bytesOfVoxelType(glType);
    const int rowLength = paddedSource ? padded[0] : v.resolution[0];
    const int sliceRows = paddedSource ? padded[1] : v.resolution[1];
    int width = 0, height = 0;
    stackSliceSize(axis, padded, &width, &height);
    const int n = v.resolution[axis];
    const unsigned char* src = static_cast<const unsigned char*>(source);
    if (paddedSource && axis == 2) {
        const size_t plane = static_cast<size_t>(padded[0]) * padded[1] * voxelBytes;
        for (int i = 0; i < n; ++i)
            uploadSlice(names[i], width, height, glType, src + i * plane);
        return;
    }
    if (paddedSource && axis == 1) {
        const size_t row = static_cast<size_t>(padded[0]) * voxelBytes;
        UnpackState::rowLength(padded[0] * padded[1]);
        for (int i = 0; i < n; ++i)
            uploadSlice(names[i], width, height, glType, src + i * row);
        UnpackState::rowLength(0);
        return;
    }
    const size_t bytes = static_cast<size_t>(width) * height * voxelBytes;
    if (axis == 0) {
        XStackBuilder(names, source, glType, v, padded, rowLength, sliceRows).run();
        return;
    }
    unsigned char* tmp = nullptr;
    GUARDED_ARRAY(tmp, unsigned char, bytes);
    if (!tmp)
        return;
    for (int i = 0; i < n; ++i) {
        copyStackSlice(tmp, axis, i, source, rowLength, sliceRows, v.resolution, padded, ch, glType);
        uploadSlice(names[i], width, height, glType, tmp);
    }
    RELEASE_ARRAY(tmp);
}

// The x, y and z stacks with their progress reports; false on a cancel.
bool build2DStacks(const void* source, GLenum glType, Volume& v)
{
    int padded[3];
    paddedSizes(v, padded);
    if (!fits(padded, maxTextureSize()))
        return true;
    for (int a = 0; a < 3; ++a)
        v.texScale2D[a] = static_cast<float>(v.resolution[a]) / static_cast<float>(padded[a]);
    const GLuint* names[3] = {v.tidx, v.tidy, v.tidz};
    const char* const next[3] = {"Generating 2D textures (y stack).", "Generating 2D textures (z stack).",
                                 "Done."};
    for (int axis = 0; axis < 3; ++axis) {
        if (names[axis])
            buildStack(axis, names[axis], source, !v.isBricking, glType, v, padded);
        if (!report(70 + 10 * axis, next[axis]))
            return false;
    }
    return true;
}

void makeNameArrays(Volume& v)
{
    GUARDED_ARRAY_AS(v.tidx, "volume->tidx", GLuint, v.resolution[0]);
    GUARDED_ARRAY_AS(v.tidy, "volume->tidy", GLuint, v.resolution[1]);
    GUARDED_ARRAY_AS(v.tidz, "volume->tidz", GLuint, v.resolution[2]);
    if (v.tidz)
        glGenTextures(v.resolution[2], v.tidz);
    if (v.tidx)
        glGenTextures(v.resolution[0], v.tidx);
    if (v.tidy)
        glGenTextures(v.resolution[1], v.tidy);
}

// Gradient and magnitude of the unpadded volume for the bricks, then the
// bricks; false on a cancel.
bool makeBricks(const void* data, GLenum glType, Volume& v)
{
    void* gradient = nullptr;
    void* magnitude = nullptr;
    bool ok = true;
    if (g_plan.gradients) {
        size_t gradientBytes = 0, magnitudeSize = 0;
        if (bufferBytes(v.resolution, 3, glType, &gradientBytes) &&
            bufferBytes(v.resolution, 1, GL_FLOAT, &magnitudeSize)) {
            GUARDED_VOXELS_AS(gradient, "gradient", gradientBytes);
            if (gradient) {
                ok = computeGradient(gradient, v.resolution[0], v.resolution[1], v.resolution[2], v.nbrChannels,
                                     data, glType, v.getGradientCalculation());
                if (ok) {
                    GUARDED_VOXELS_AS(magnitude, "magnitude_out", magnitudeSize);
                    if (magnitude)
                        computeMagnitude(static_cast<float*>(magnitude), v.resolution[0], v.resolution[1],
                                         v.resolution[2], gradient, glType);
                }
            }
        }
        // The bricks take both or neither.
        if (ok && (!gradient || !magnitude)) {
            if (gradient)
                RELEASE_VOXELS(gradient);
            if (magnitude)
                RELEASE_VOXELS(magnitude);
        }
    }
    if (ok)
        ok = report(60, "Creating bricking structure.");
    if (ok)
        buildBricks(data, glType, v, gradient, static_cast<const float*>(magnitude));
    if (gradient)
        RELEASE_VOXELS(gradient);
    if (magnitude)
        RELEASE_VOXELS(magnitude);
    return ok;
}

bool generate(void** data, GLenum glType, Volume& v)
{
    UnpackState unpack;
    int padded[3];
    paddedSizes(v, padded);
    const bool use3D = use3DTextures();
    bool bricking = v.resolution[0] >= kBrickingResolution || v.resolution[1] >= kBrickingResolution ||
                    v.resolution[2] >= kBrickingResolution;
    // A padded size beyond the 3-D limit would leave the volume without a
    // 3-D texture and draw nothing in every 3-D style: brick it instead.
    if (!bricking && use3D) {
        const int max3D = max3DTextureSize();
        bricking = max3D > 0 && !fits(padded, max3D);
    }
    // Old bricks never outlive the load: their textures are gone already.
    releaseBricks(v);
    v.isBricking = bricking;
    if (bricking) {
        logBoth(__FILE__, __LINE__, "Bricking enabled\n");
        // Brick textures are used whole.
        v.texScale3D[0] = v.texScale3D[1] = v.texScale3D[2] = 1.0f;
    } else {
        if (!padToPowerOfTwo(data, glType, v))
            return true;
        glGenTextures(1, &v.tidVolume);
        glGenTextures(1, &v.tidGradient);
    }
    makeNameArrays(v);
    if (!bricking && use3D && !make3DTextures(*data, glType, v))
        return false;
    if (bricking && !makeBricks(*data, glType, v))
        return false;
    // Bricks are built whole; one 3-D texture may leave the stacks and the
    // gradients to the first style that draws with them.
    v.stacksPending = !bricking && !g_plan.stacks;
    v.gradientsPending = !bricking && use3D && v.tidVolume && g_plan.laterGradients && !g_plan.gradients;
    if (!v.stacksPending) {
        if (!report(60, "Generating 2D textures (x stack).") || !build2DStacks(*data, glType, v))
            return false;
    }
    if (v.stacksPending || v.gradientsPending) {
        // The one copy they will be built from: the padded voxels, as uploaded.
        v.derivedSource = *data;
        v.derivedType = glType;
        v.derivedGradientCalculation = v.getGradientCalculation();
        *data = nullptr;
        logBoth(__FILE__, __LINE__,
                (std::string("Left to first use:") + (v.stacksPending ? " 2D textures" : "") +
                 (v.gradientsPending ? " gradients" : "") + "\n")
                    .c_str());
    }
    return true;
}

bool validRequest(void** data, GLenum glType, const Volume& v)
{
    return data && *data && isVoxelType(glType) && v.resolution[0] > 0 && v.resolution[1] > 0 &&
           v.resolution[2] > 0 && v.nbrChannels > 0;
}

} // namespace

int nextPowerOfTwo(int n)
{
    if (n <= 1)
        return 1;
    if (n > (1 << 30))
        return INT_MAX;
    int p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

int maxTextureSize()
{
    if (g_max2DOverride > 0)
        return g_max2DOverride;
    GLint value = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
    return value;
}

int max3DTextureSize()
{
    if (g_max3DOverride > 0)
        return g_max3DOverride;
    GLint value = 0;
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &value);
    return value;
}

void setTextureSizeLimits(int max2D, int max3D)
{
    g_max2DOverride = max2D > 0 ? max2D : 0;
    g_max3DOverride = max3D > 0 ? max3D : 0;
}

bool padToPowerOfTwo(void** data, GLenum glType, Volume& volume)
{
    int padded[3];
    paddedSizes(volume, padded);
    if (!fits(padded, maxTextureSize()) && !fits(padded, max3DTextureSize()))
        return false;
    const int* res = volume.resolution;
    if (padded[0] == res[0] && padded[1] == res[1] && padded[2] == res[2])
        return true;
    size_t bytes = 0;
    if (!data || !*data || !bufferBytes(padded, volume.nbrChannels, glType, &bytes))
        return false;
    void* new_data = nullptr;
    GUARDED_VOXELS_AS(new_data, "new_data", bytes);
    if (!new_data)
        return false;
    const size_t voxel = static_cast<size_t>(volume.nbrChannels) * bytesOfVoxelType(glType);
    const unsigned char* src = static_cast<const unsigned char*>(*data);
    unsigned char* dst = static_cast<unsigned char*>(new_data);
    const size_t run = static_cast<size_t>(res[0]) * voxel;
    for (int z = 0; z < res[2]; ++z)
        for (int y = 0; y < res[1]; ++y)
            std::memcpy(dst + (static_cast<size_t>(z) * padded[1] + y) * padded[0] * voxel,
                        src + (static_cast<size_t>(z) * res[1] + y) * run, run);
    RELEASE_VOXELS(*data);
    *data = new_data;
    return true;
}

bool generateTextures(void** data, GLenum glType, Volume& volume, ProgressCallback progress,
                      bool gradients)
{
    TexturePlan plan;
    plan.gradients = gradients;
    return generateTextures(data, glType, volume, progress, plan);
}

bool generateTextures(void** data, GLenum glType, Volume& volume, ProgressCallback progress,
                      const TexturePlan& plan)
{
    if (!validRequest(data, glType, volume))
        return false;
    volume.releaseDerivedSource();
    // Without a current context no texture can exist.
    if (!glGetString(GL_VERSION))
        return true;
    progressCallback = progress;
    g_plan = plan;
    const bool ok = generate(data, glType, volume);
    progressCallback = nullptr;
    return ok;
}

bool buildDeferredTextures(Volume& volume, bool stacks, bool gradients, ProgressCallback progress)
{
    // A progress dialog lets paints through, and a paint asks for the same
    // textures: that one waits for the build under way.
    static bool building = false;
    if (building)
        return false;
    stacks = stacks && volume.stacksPending;
    gradients = gradients && volume.gradientsPending;
    // Asked at every paint while something waits: nothing to do costs nothing.
    if (!volume.derivedSource || (!stacks && !gradients) || !glGetString(GL_VERSION))
        return true;
    struct Building
    {
        Building() { building = true; }
        ~Building() { building = false; }
    } scope;
    UnpackState unpack;
    progressCallback = progress;
    bool ok = true;
    if (stacks) {
        logBoth(__FILE__, __LINE__, "Generating the 2D textures on first use.\n");
        ok = report(60, "Generating 2D textures (x stack).") &&
             build2DStacks(volume.derivedSource, volume.derivedType, volume);
        volume.stacksPending = !ok;
    }
    if (ok && gradients) {
        logBoth(__FILE__, __LINE__, "Generating the gradients on first use.\n");
        int padded[3];
        paddedSizes(volume, padded);
        ok = makeGradientTextures(volume.derivedSource, volume.derivedType, volume, padded, fetchTexImage3D(),
                                  volume.derivedGradientCalculation);
        volume.gradientsPending = !ok;
    }
    progressCallback = nullptr;
    if (!volume.stacksPending && !volume.gradientsPending)
        volume.releaseDerivedSource();
    return ok;
}

bool replaceVolumeVoxels(void** data, GLenum glType, Volume& volume)
{
    if (!validRequest(data, glType, volume) || volume.isBricking || !volume.tidVolume ||
        volume.uploadedType != glType || !glGetString(GL_VERSION) || !glIsTexture(volume.tidVolume))
        return false;
    int padded[3];
    paddedSizes(volume, padded);
    GLint stored[3] = {0, 0, 0};
    glBindTexture(GL_TEXTURE_3D, volume.tidVolume);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &stored[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &stored[1]);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &stored[2]);
    if (stored[0] != padded[0] || stored[1] != padded[1] || stored[2] != padded[2] ||
        !padToPowerOfTwo(data, glType, volume))
        return false;
    {
        UnpackState unpack;
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, padded[0], padded[1], padded[2], textureFormat, glType, *data);
        checkGLError("glTexSubImage3D");
    }
    const int stride[2] = {padded[0], padded[1]};
    skipGridBuild(volume.skipGrid, *data, glType, volume.nbrChannels, volume.resolution, stride);
    // What was built from the old voxels is built again when first drawn.
    const bool stacks = volume.stacksPending || volume.tidx;
    const bool gradients = volume.gradientsPending || volume.tidMagnitude;
    volume.releaseDerivedSource();
    volume.stacksPending = stacks;
    volume.gradientsPending = gradients;
    if (stacks || gradients) {
        volume.derivedSource = *data;
        volume.derivedType = glType;
        volume.derivedGradientCalculation = volume.getGradientCalculation();
        *data = nullptr;
    }
    return true;
}

bool generateMaskTexture(void** data, GLenum glType, Volume& volume, ProgressCallback progress)
{
    if (!validRequest(data, glType, volume))
        return false;
    if (!glGetString(GL_VERSION) || !use3DTextures())
        return true;
    progressCallback = progress;
    if (padToPowerOfTwo(data, glType, volume)) {
        int padded[3];
        paddedSizes(volume, padded);
        glGenTextures(1, &volume.tidMask);
        glBindTexture(GL_TEXTURE_3D, volume.tidMask);
        setVolumeParameters(GL_TEXTURE_3D);
        if (fits(padded, max3DTextureSize())) {
            PFNGLTEXIMAGE3DPROC texImage3D = fetchTexImage3D();
            if (!texImage3D) {
                logBoth(__FILE__, __LINE__, "Not supported 3D textures!\n");
            } else {
                UnpackState unpack;
                texImage3D(GL_TEXTURE_3D, 0, textureInternalFormat, padded[0], padded[1], padded[2], 0,
                           textureFormat, glType, *data);
                checkGLError("glTexImage3D");
            }
        }
    }
    progressCallback = nullptr;
    return true;
}

void applyFilter(Volume& volume)
{
    auto filter = [](GLenum target, GLuint name) {
        if (name == 0)
            return;
        glBindTexture(target, name);
        glTexParameterf(target, GL_TEXTURE_MIN_FILTER, textureFilter);
        glTexParameterf(target, GL_TEXTURE_MAG_FILTER, textureFilter);
    };
    filter(GL_TEXTURE_3D, volume.tidMask);
    filter(GL_TEXTURE_3D, volume.tidVolume);
    filter(GL_TEXTURE_3D, volume.tidGradient);
    filter(GL_TEXTURE_3D, volume.tidMagnitude);
    const GLuint* stacks[3] = {volume.tidz, volume.tidy, volume.tidx};
    const int lengths[3] = {volume.resolution[2], volume.resolution[1], volume.resolution[0]};
    for (int s = 0; s < 3; ++s)
        if (stacks[s])
            for (int i = 0; i < lengths[s]; ++i)
                filter(GL_TEXTURE_2D, stacks[s][i]);
    if (volume.myMVolumeInfo)
        for (int i = 0; i < volume.myMVolumeInfo->getCount(); ++i)
            filter(GL_TEXTURE_3D, volume.myMVolumeInfo->getTexture(i));
    if (BrickInfo* info = volume.myBrickInfo)
        for (int i = 0; i < info->getCount(); ++i)
            if (const Brick* b = info->getBrick(i)) {
                filter(GL_TEXTURE_3D, b->texData);
                filter(GL_TEXTURE_3D, b->texGradient);
                filter(GL_TEXTURE_3D, b->texMagnitude);
            }
}

namespace {

// The work cubes of the brick builder, reused for every brick: the voxels,
// and when gradients are given the gradients (three elements of the data's
// type a voxel) and their magnitudes.
struct BrickCubes
{
    int size[3] = {kBrickSize, kBrickSize, kBrickSize}; // texels along x, y, z
    unsigned char* voxels = nullptr;    // registered as "aTmp"
    unsigned char* gradients = nullptr; // "aTmp2", or null
    float* magnitudes = nullptr;        // "aTmp3", or null
};

// False when the voxel cube could not be had; the gradient cubes are
// optional.
bool allocateBrickCubes(BrickCubes& c, int channels, size_t elementBytes, bool gradients)
{
    const size_t cube = static_cast<size_t>(c.size[0]) * c.size[1] * c.size[2];
    GUARDED_ARRAY_AS(c.voxels, "aTmp", unsigned char, cube * channels * elementBytes);
    if (gradients) {
        GUARDED_ARRAY_AS(c.gradients, "aTmp2", unsigned char, cube * 3 * elementBytes);
        GUARDED_ARRAY_AS(c.magnitudes, "aTmp3", float, cube);
    }
    return c.voxels != nullptr;
}

void releaseBrickCubes(BrickCubes& c)
{
    if (c.voxels)
        RELEASE_ARRAY(c.voxels);
    if (c.gradients)
        RELEASE_ARRAY(c.gradients);
    if (c.magnitudes)
        RELEASE_ARRAY(c.magnitudes);
}


// The source buffers of the bricks: the data and, optionally, its gradients
// and magnitudes, all of the unpadded volume.
struct BrickSources
{
    const void* data;       // nbrChannels elements of glType a voxel
    const void* gradient;   // three elements of glType a voxel, or null
    const float* magnitude; // one float a voxel, or null
    GLenum glType;          // the data's element type
    int channels;           // elements a data voxel
    const int* resolution;  // voxels along x, y, z
};

// The cube of every source from voxel `first` on into its work cube and up
// into the brick's textures: the same voxels, shared border included, in
// each of them.
void uploadBrick(Brick& brick, const int first[3], const BrickSources& src, BrickCubes& c,
                 PFNGLTEXIMAGE3DPROC texImage3D)
{
    const size_t elementBytes = static_cast<size_t>(bytesOfVoxelType(src.glType));
    copyBrick(c.voxels, c.size, first, src.data, src.resolution, src.channels, elementBytes);
    brick.texData =
        uploadBrickTexture(texImage3D, c.size, textureInternalFormat, textureFormat, src.glType, c.voxels);
    if (c.gradients && src.gradient) {
        // Beyond the volume the zero gradient, not the direction (-1, -1, -1)
        // a zero code means, blends into the far faces.
        unsigned char zero[12];
        const bool coded = zeroGradientTexel(src.glType, zero) == 3 * elementBytes;
        copyBrick(c.gradients, c.size, first, src.gradient, src.resolution, 3, elementBytes,
                  coded ? zero : nullptr);
        brick.texGradient = uploadBrickTexture(texImage3D, c.size, GL_RGB, GL_RGB, src.glType, c.gradients);
    }
    if (c.magnitudes && src.magnitude) {
        copyBrick(c.magnitudes, c.size, first, src.magnitude, src.resolution, 1, sizeof(float));
        brick.texMagnitude =
            uploadBrickTexture(texImage3D, c.size, GL_INTENSITY, GL_LUMINANCE, GL_FLOAT, c.magnitudes);
    }
}

} // namespace

void buildBricks(const void* data, GLenum glType, Volume& volume, const void* gradient, const float* magnitude)
{
    // Neighbouring bricks share their border voxels.
    logBoth(__FILE__, __LINE__, "overlapping enabled\n");
    const int* res = volume.resolution;
    if (!data || res[0] <= 0 || res[1] <= 0 || res[2] <= 0)
        return;
    // A side thinner than a brick keeps the size its own texture would have.
    BrickCubes cubes;
    int counts[3];
    for (int a = 0; a < 3; ++a) {
        cubes.size[a] = brickTexels(res[a], kBrickSize);
        counts[a] = bricksAlong(res[a], cubes.size[a]);
    }

    releaseBricks(volume);
    GUARDED_NEW_AS(volume.myBrickInfo, "volume_in->myBrickInfo", BrickInfo, kBrickSize);
    if (!volume.myBrickInfo)
        return;
    BrickInfo* info = volume.myBrickInfo;
    for (int a = 0; a < 3; ++a)
        info->texSize[a] = cubes.size[a];
    // Checked before any name is made: without it the record stays empty.
    const PFNGLTEXIMAGE3DPROC texImage3D = fetchTexImage3D();
    if (!texImage3D) {
        logBoth(__FILE__, __LINE__, "Not supported 3D textures!\n");
        return;
    }

    const BrickSources sources = {data, gradient, magnitude, glType, volume.nbrChannels, res};
    if (allocateBrickCubes(cubes, volume.nbrChannels, bytesOfVoxelType(glType), gradient && magnitude)) {
        UnpackState unpack;
        for (int i = 0; i < counts[2]; ++i)
            for (int j = 0; j < counts[1]; ++j)
                for (int k = 0; k < counts[0]; ++k) {
                    Brick* aBrick = nullptr;
                    GUARDED_NEW(aBrick, Brick);
                    if (!aBrick)
                        continue;
                    placeBrick(*aBrick, k, j, i, cubes.size, res, volume.extent);
                    const int first[3] = {brickSpan(k, res[0], cubes.size[0]).first,
                                          brickSpan(j, res[1], cubes.size[1]).first,
                                          brickSpan(i, res[2], cubes.size[2]).first};
                    uploadBrick(*aBrick, first, sources, cubes, texImage3D);
                    info->addBrick(aBrick);
                }
    }
    releaseBrickCubes(cubes);
}

GLuint uploadBrickTexture(PFNGLTEXIMAGE3DPROC texImage3D, const int size[3], GLint internalFormat, GLenum format,
                          GLenum type, const void* cube)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_3D, name);
    setVolumeParameters(GL_TEXTURE_3D);
    texImage3D(GL_TEXTURE_3D, 0, internalFormat, size[0], size[1], size[2], 0, format, type, cube);
    checkGLError("glTexImage3D");
    return name;
}
