#include "brick_stream.h"

#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "load_convert.h"
#include "mat4.h"
#include "texture_formats.h"
#include "volume.h"
#include "zarr_read.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The smallest and largest of n values of the type at data.
void valueExtremes(VoxelType type, const void* data, size_t n, double* least, double* most)
{
    *least = n ? 1e300 : 0.0;
    *most = 0.0;
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* p = static_cast<const T*>(data);
        for (size_t i = 0; i < n; ++i) {
            *least = std::min(*least, static_cast<double>(p[i]));
            *most = std::max(*most, static_cast<double>(p[i]));
        }
    });
}

// The GL element type the load uploads values of the type as, 0 for the
// types the stream does not take.
GLenum streamedGLType(VoxelType type)
{
    if (type == VOXEL_UCHAR)
        return GL_UNSIGNED_BYTE;
    if (type == VOXEL_USHORT)
        return GL_UNSIGNED_SHORT;
    return 0;
}

// A 3-D texture of size texels from `voxels` values of `count` voxels in
// its low corner; the texels past them are zero.
GLuint uploadRegion(const PlanRegion& r, GLenum glType, size_t bytes, const std::vector<unsigned char>& values)
{
    std::vector<unsigned char> padded;
    const unsigned char* pixels = values.data();
    if (r.values() != static_cast<uint64_t>(r.voxels[0]) * r.voxels[1] * r.voxels[2]) {
        padded.assign(static_cast<size_t>(r.values()) * bytes, 0);
        const size_t row = static_cast<size_t>(r.voxels[0]) * bytes;
        for (int z = 0; z < r.voxels[2]; ++z)
            for (int y = 0; y < r.voxels[1]; ++y)
                std::memcpy(&padded[((static_cast<size_t>(z) * r.texels[1] + y) * r.texels[0]) * bytes],
                            &values[(static_cast<size_t>(z) * r.voxels[1] + y) * row], row);
        pixels = padded.data();
    }
    const auto texImage3D = reinterpret_cast<PFNGLTEXIMAGE3DPROC>(getGLProcAddress("glTexImage3D"));
    if (!texImage3D)
        return 0;
    // Drawing may have left another unit active and a texture bound there.
    GLint active = GL_TEXTURE0, bound = 0, alignment = 4;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_3D, &bound);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLuint name =
        uploadBrickTexture(texImage3D, r.texels, static_cast<GLint>(textureInternalFormat), textureFormat, glType, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_3D, static_cast<GLuint>(bound));
    glActiveTexture(static_cast<GLenum>(active));
    return name;
}

} // namespace

BrickStream::~BrickStream()
{
    stopWorkers();
    // No GL here: the context may be gone; the textures go with it.
    myTextures.clear();
    detach();
}

void BrickStream::startWorkers(const std::function<void()>& arrival, int threads, int perFrame,
                               uint64_t perFrameBytes)
{
    stopWorkers();
    std::lock_guard<std::mutex> lock(myMutex);
    myArrival = arrival;
    myPerFrame = perFrame > 0 ? perFrame : 1;
    myPerFrameBytes = perFrameBytes;
    myStopping = false;
    for (int t = 0; t < std::max(threads, 1); ++t)
        myWorkers.emplace_back([this] { work(); });
}

void BrickStream::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(myMutex);
        myStopping = true;
        myRequests.clear();
    }
    myWake.notify_all();
    for (std::thread& t : myWorkers)
        t.join();
    myWorkers.clear();
    std::lock_guard<std::mutex> lock(myMutex);
    myReady.clear();
    myReadyBytes = 0;
    myReading.clear();
}

void BrickStream::waitForReads()
{
    std::unique_lock<std::mutex> lock(myMutex);
    myDone.wait(lock, [this] {
        return myWorkers.empty() || ((myRequests.empty() || readyFull()) && myReading.empty());
    });
}

bool BrickStream::pending()
{
    std::lock_guard<std::mutex> lock(myMutex);
    return !myRequests.empty() || !myReading.empty() || !myReady.empty();
}

void BrickStream::work()
{
    std::unique_lock<std::mutex> lock(myMutex);
    for (;;) {
        myWake.wait(lock, [this] { return myStopping || (!myRequests.empty() && !readyFull()); });
        if (myStopping)
            return;
        auto most = std::max_element(myRequests.begin(), myRequests.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
        const uint64_t key = most->first;
        myRequests.erase(most);
        myReading.insert(key);
        lock.unlock();
        std::vector<unsigned char> values;
        std::string why;
        const bool ok = readRegion(BrickLru::levelOf(key), BrickLru::partOf(key), &values, &why);
        lock.lock();
        if (ok) {
            ++myReads;
            myReadyBytes += values.size();
            myReady[key] = std::move(values);
        } else {
            myFailed.insert(key);
            if (myFault != why)
                logBoth(__FILE__, __LINE__, (why + "\n").c_str());
            myFault = why;
        }
        // Told before the read counts as done, so that whoever waits for
        // the reads finds every arrival told.
        if (myArrival && ok) {
            lock.unlock();
            myArrival();
            lock.lock();
        }
        myReading.erase(key);
        myDone.notify_all();
    }
}

bool BrickStream::fetch(uint64_t key, double priority)
{
    std::vector<unsigned char> values;
    {
        std::lock_guard<std::mutex> lock(myMutex);
        if (myWorkers.empty() || myFailed.count(key))
            return false;
        myAsked.insert(key);
        const auto ready = myReady.find(key);
        if (ready == myReady.end()) {
            if (!myReading.count(key)) {
                myRequests[key] = priority;
                myWake.notify_one();
            }
            return false;
        }
        // perFrame bricks, and more while within perFrameBytes.
        if (myUploads >= myPerFrame && myUploadedBytes + ready->second.size() > myFrameBytes)
            return false;
        values = std::move(ready->second);
        myReadyBytes -= values.size();
        myReady.erase(ready);
        ++myUploads;
        myUploadedBytes += values.size();
    }
    myWake.notify_one(); // room for another read
    return upload(key, values);
}

bool BrickStream::open(const std::string& path, std::string* why)
{
    ZarrPyramid pyramid;
    if (!openZarrPyramid(path, &pyramid, why))
        return false;
    myPyramid = pyramid;
    myCoarsest = myPyramid.coarsest();
    myLevels.clear();
    int64_t coarse[3];
    myPyramid.resolution(myCoarsest, coarse);
    for (int l = 0; l <= myCoarsest; ++l) {
        PlanLevel level;
        int64_t res[3];
        myPyramid.resolution(l, res);
        for (int a = 0; a < 3; ++a) {
            level.resolution[a] = static_cast<int>(res[a]);
            const int axis = myPyramid.spaceAxis(a);
            const double ratio = axis < 0 ? 1.0 :
                myPyramid.levels[static_cast<size_t>(myCoarsest)].scale[axis] /
                    myPyramid.levels[static_cast<size_t>(l)].scale[axis];
            level.span[a] = static_cast<double>(coarse[a]) * ratio;
        }
        myLevels.push_back(level);
    }
    // The coarsest level's values tell whether the load scaled them.
    const int64_t lo[3] = {0, 0, 0};
    const ZarrBox box = zarrVoxelBox(myPyramid, lo, coarse, 0, 1);
    const ZarrArray& array = myPyramid.levels[static_cast<size_t>(myCoarsest)].array;
    std::vector<unsigned char> values(static_cast<size_t>(box.values()) * bytesOfVoxelType(array.type));
    if (!readZarrBox(myPyramid, myCoarsest, box, values.data(), why, 1))
        return false;
    double least = 0.0;
    valueExtremes(array.type, values.data(), static_cast<size_t>(box.values()), &least, &myCoarseMax);
    // 12-bit values: every level stretched by the coarsest level's smallest value.
    myStretch.clear();
    if (array.type == VOXEL_USHORT && myCoarseMax <= 4095.0) {
        myStretch.resize(65536);
        for (int v = 0; v < 65536; ++v)
            myStretch[static_cast<size_t>(v)] = stretched12Bit(v, least);
    }
    return true;
}

std::string BrickStream::whyNot(const Volume& v) const
{
    if (myLevels.empty())
        return "no pyramid is open";
    if (myCoarsest == 0)
        return "the pyramid has one level";
    const VoxelType type = myPyramid.levels[0].array.type;
    if (myPyramid.channels(0) != 1 || v.nbrChannels != 1)
        return "finer levels are streamed for one band only";
    if (!streamedGLType(type) || v.uploadedType != streamedGLType(type))
        return "finer levels are streamed for 8- and 16-bit unsigned values only";
    for (int a = 0; a < 3; ++a)
        if (v.resolution[a] != myLevels.back().resolution[a] || !v.tidVolume)
            return "the volume on screen is not this pyramid's coarsest level";
    return "";
}

bool BrickStream::attach(Volume& v, std::string* why, int texels)
{
    detach();
    const std::string reason = whyNot(v);
    if (!reason.empty()) {
        *why = reason;
        return false;
    }
    if (texels <= 0)
        texels = planLeafTexels(myLevels.front(), kLeafTexels);
    BrickInfo* info = nullptr;
    GUARDED_NEW_AS(info, "volume->myBrickInfo", BrickInfo, texels);
    if (!info) {
        *why = "no memory for the bricks";
        return false;
    }
    if (v.myBrickInfo) {
        g_garbageCollector.remove(v.myBrickInfo);
        delete v.myBrickInfo;
    }
    v.myBrickInfo = info;
    info->borrowedTextures = true;
    myTree = planTree(myLevels.front(), texels, v.extent, myCoarsest);
    for (const PlanNode& node : myTree.nodes) {
        Brick* brick = nullptr;
        GUARDED_NEW_AS(brick, "aBrick", Brick);
        if (!brick)
            continue;
        const PlanPart& part = node.part;
        for (int a = 0; a < 3; ++a) {
            brick->lo[a] = part.lo[a];
            brick->hi[a] = part.hi[a];
            brick->placement[a * 5] = (part.hi[a] - part.lo[a]) / v.extent[a];
            brick->placement[12 + a] = 0.5f * (part.lo[a] + part.hi[a]);
        }
        brick->placement[15] = 1.0f;
        info->addBrick(brick);
    }
    for (int a = 0; a < 3; ++a)
        info->texSize[a] = brickTexels(myLevels.front().resolution[a], texels);
    if (info->getCount() != static_cast<int>(myTree.nodes.size())) {
        // A brick missing: the tree's indices would not be the bricks'.
        v.myBrickInfo = nullptr;
        g_garbageCollector.remove(info);
        delete info;
        *why = "no memory for the bricks";
        return false;
    }
    myDrawn.assign(static_cast<size_t>(myTree.leafCount()), -1);
    myFrameLevels.clear();
    myFrameNodes.clear();
    for (int a = 0; a < 3; ++a)
        myExtent[a] = v.extent[a];
    myVolume = &v;
    myReads = 0;
    myFault.clear();
    info->beforeDraw = [this](int part) { beforeDraw(part); };
    info->beforeFrame = [this] { return beforeFrame(); };
    v.isBricking = true;
    return true;
}

void BrickStream::detach()
{
    {
        std::lock_guard<std::mutex> lock(myMutex);
        myRequests.clear();
        myReady.clear();
        myReadyBytes = 0;
        myFailed.clear();
    }
    waitForReads();
    for (const auto& kept : myTextures)
        glDeleteTextures(1, &kept.second);
    myTextures.clear();
    for (uint64_t key : myCache.order())
        myCache.drop(key);
    if (myVolume && myVolume->myBrickInfo) {
        g_garbageCollector.remove(myVolume->myBrickInfo);
        delete myVolume->myBrickInfo;
        myVolume->myBrickInfo = nullptr;
        myVolume->isBricking = false;
    }
    myVolume = nullptr;
}

int BrickStream::drawnLevel(int part) const
{
    return part >= 0 && static_cast<size_t>(part) < myDrawn.size() ? myDrawn[static_cast<size_t>(part)] : -1;
}

int BrickStream::wantedLevel(int part, double* priority) const
{
    const PlanPart& p = myTree.nodes[static_cast<size_t>(part)].part;
    // A part outside the view draws nothing: the coarsest level, read last.
    if (!partInView(myModelview, myProjection, p.lo, p.hi)) {
        *priority = 0.0;
        return myCoarsest;
    }
    const float centre[3] = {0.5f * (p.lo[0] + p.hi[0]), 0.5f * (p.lo[1] + p.hi[1]), 0.5f * (p.lo[2] + p.hi[2])};
    const double perUnit = pixelsPerUnit(myModelview, myProjection, myViewport[0], myViewport[1], centre);
    const int level = chooseLevel(myLevels, myVolume->extent, perUnit, myPixels);
    // Larger on screen first: nearer the eye, or a larger part.
    *priority = perUnit * std::max({p.hi[0] - p.lo[0], p.hi[1] - p.lo[1], p.hi[2] - p.lo[2]});
    return level;
}

uint64_t BrickStream::brickBytes(int level, int part) const
{
    const PlanRegion r = planRegion(myTree.nodes[static_cast<size_t>(part)].part,
                                    myLevels[static_cast<size_t>(level)], myExtent);
    const VoxelType type = myPyramid.levels[static_cast<size_t>(level)].array.type;
    return r.values() * static_cast<uint64_t>(bytesOfVoxelType(type));
}

void BrickStream::chooseFrameLevels()
{
    myFramePriority.assign(myTree.nodes.size(), 0.0);
    myFrameLevels = planCut(myTree, [this](int node) {
        return wantedLevel(node, &myFramePriority[static_cast<size_t>(node)]);
    });
    // A drag draws the same nodes one level coarser: their bricks are an
    // eighth of the size, where a cut of larger nodes would read and upload
    // bricks as large as the view's.
    const int coarser = myCoarser || myVolume->interacting ? 1 : 0;
    myFrameNodes.clear();
    for (size_t n = 0; n < myFrameLevels.size(); ++n)
        if (myFrameLevels[n] >= 0) {
            myFrameLevels[n] = std::min(myFrameLevels[n] + coarser, myCoarsest);
            myFrameNodes.push_back(static_cast<int>(n));
        }
    // A picture that waits reads and draws each node in turn, whatever the
    // budget; one that does not keeps every brick it draws.
    if (myWaiting)
        return;
    std::vector<int> wanted(myFrameNodes.size());
    std::vector<double> priority(myFrameNodes.size());
    for (size_t i = 0; i < myFrameNodes.size(); ++i) {
        wanted[i] = myFrameLevels[static_cast<size_t>(myFrameNodes[i])];
        priority[i] = myFramePriority[static_cast<size_t>(myFrameNodes[i])];
    }
    // In flight: a brick per worker, the ready ones (perFrame bricks and
    // perFrameBytes), and one taken for upload.
    const int inFlight = static_cast<int>(myWorkers.size()) + myPerFrame + 1;
    uint64_t readyBytes = 0;
    {
        std::lock_guard<std::mutex> lock(myMutex);
        // A drag keeps its frames quick: perFrame bricks only.
        const bool dragging = myCoarser || myVolume->interacting;
        myFrameBytes = dragging ? 0 : std::min(myPerFrameBytes, myBudget / 8);
        readyBytes = myWorkers.empty() ? 0 : myFrameBytes;
    }
    uint64_t largest = 0;
    const std::vector<int> fitted = levelsWithinBudget(
        wanted, priority, myCoarsest, myBudget > readyBytes ? myBudget - readyBytes : 0, inFlight,
        [this](int level, int i) { return brickBytes(level, myFrameNodes[static_cast<size_t>(i)]); }, &largest);
    for (size_t i = 0; i < myFrameNodes.size(); ++i)
        myFrameLevels[static_cast<size_t>(myFrameNodes[i])] = fitted[i];
    const uint64_t room = largest * static_cast<uint64_t>(inFlight) + readyBytes;
    myCache.setBudget(myBudget > room ? myBudget - room : 0);
}

int BrickStream::beforeFrame()
{
    if (!myVolume || !myVolume->myBrickInfo)
        return 0;
    // What the last frame asked for and did not get read yet is asked again
    // by this one's nodes.
    {
        std::lock_guard<std::mutex> lock(myMutex);
        myUploads = 0;
        myUploadedBytes = 0;
        myRequests.clear();
        // Bricks read for a view that has moved on make room for the reads
        // of this one.
        for (auto it = myReady.begin(); it != myReady.end();) {
            if (myAsked.count(it->first)) {
                ++it;
                continue;
            }
            myReadyBytes -= it->second.size();
            it = myReady.erase(it);
        }
        myAsked.clear();
    }
    myWake.notify_all();
    matMultiply(myVolume->translation, myVolume->rotation, myModelview);
    glGetFloatv(GL_PROJECTION_MATRIX, myProjection);
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    myViewport[0] = viewport[2];
    myViewport[1] = viewport[3];
    chooseFrameLevels();
    // A budget lowered since the last frame, or more of it in flight: the
    // least recently used bricks go now, not one by one as others arrive.
    for (uint64_t gone : myCache.trim()) {
        glDeleteTextures(1, &myTextures[gone]);
        myTextures.erase(gone);
    }
    // The eye in box coordinates; for an orthographic view far along the
    // direction it looks from.
    float inverse[16];
    matInvert(myModelview, inverse);
    const float w = myVolume->perspective ? 1.0f : 0.0f;
    double eye[3];
    for (int a = 0; a < 3; ++a)
        eye[a] = static_cast<double>(w * inverse[12 + a]) + (myVolume->perspective ? 0.0 : 1e9 * inverse[8 + a]);
    const std::vector<int> order = planCutOrder(myTree, myFrameLevels, eye);
    myVolume->myBrickInfo->setOrder(order);
    return static_cast<int>(order.size());
}

void BrickStream::beforeDraw(int part)
{
    if (!myVolume || part < 0 || static_cast<size_t>(part) >= myFrameLevels.size())
        return;
    const size_t p = static_cast<size_t>(part);
    const int wanted = myFrameLevels[p];
    if (wanted < 0)
        return;
    const double priority = myFramePriority[p];
    for (int level = wanted; level < myCoarsest; ++level) {
        const uint64_t key = BrickLru::key(level, part);
        if (myCache.touch(key) || (level == wanted && (myWaiting ? load(level, part) : fetch(key, priority)))) {
            use(level, part);
            return;
        }
    }
    use(myCoarsest, part);
}

bool BrickStream::readRegion(int level, int part, std::vector<unsigned char>* values, std::string* why) const
{
    const PlanRegion r = planRegion(myTree.nodes[static_cast<size_t>(part)].part,
                                    myLevels[static_cast<size_t>(level)], myExtent);
    const int64_t lo[3] = {r.first[0], r.first[1], r.first[2]};
    const int64_t hi[3] = {r.first[0] + r.voxels[0], r.first[1] + r.voxels[1], r.first[2] + r.voxels[2]};
    const ZarrBox box = zarrVoxelBox(myPyramid, lo, hi, 0, 1);
    const VoxelType type = myPyramid.levels[static_cast<size_t>(level)].array.type;
    values->resize(static_cast<size_t>(box.values()) * static_cast<size_t>(bytesOfVoxelType(type)));
    if (!readZarrBox(myPyramid, level, box, values->data(), why, 1))
        return false;
    if (!myStretch.empty()) {
        uint16_t* p = reinterpret_cast<uint16_t*>(values->data());
        for (size_t i = 0; i < values->size() / 2; ++i)
            p[i] = myStretch[p[i]];
    }
    return true;
}

bool BrickStream::upload(uint64_t key, const std::vector<unsigned char>& values)
{
    const int level = BrickLru::levelOf(key);
    const PlanRegion r = planRegion(myTree.nodes[static_cast<size_t>(BrickLru::partOf(key))].part,
                                    myLevels[static_cast<size_t>(level)], myExtent);
    const VoxelType type = myPyramid.levels[static_cast<size_t>(level)].array.type;
    const GLuint name = uploadRegion(r, streamedGLType(type), static_cast<size_t>(bytesOfVoxelType(type)), values);
    if (!name)
        return false;
    for (uint64_t gone : myCache.put(key, brickBytes(level, BrickLru::partOf(key)))) {
        glDeleteTextures(1, &myTextures[gone]);
        myTextures.erase(gone);
    }
    myTextures[key] = name;
    return true;
}

bool BrickStream::load(int level, int part)
{
    const uint64_t key = BrickLru::key(level, part);
    {
        std::lock_guard<std::mutex> lock(myMutex);
        if (myFailed.count(key))
            return false;
    }
    std::vector<unsigned char> values;
    std::string why;
    if (!readRegion(level, part, &values, &why)) {
        std::lock_guard<std::mutex> lock(myMutex);
        // Drawn coarser from now on, and logged once.
        myFailed.insert(key);
        if (myFault != why)
            logBoth(__FILE__, __LINE__, (why + "\n").c_str());
        myFault = why;
        return false;
    }
    ++myReads;
    return upload(key, values);
}

void BrickStream::use(int level, int part)
{
    Brick* brick = myVolume->myBrickInfo->getBrick(part);
    if (!brick)
        return;
    const PlanNode& node = myTree.nodes[static_cast<size_t>(part)];
    for (int z = node.firstLeaf[2]; z < node.endLeaf[2]; ++z)
        for (int y = node.firstLeaf[1]; y < node.endLeaf[1]; ++y)
            for (int x = node.firstLeaf[0]; x < node.endLeaf[0]; ++x)
                myDrawn[static_cast<size_t>(myTree.leaf(x, y, z))] = level;
    if (level >= myCoarsest) {
        // The whole texture of the load, as the box draws without bricks.
        brick->texData = myVolume->tidVolume;
        for (int a = 0; a < 3; ++a) {
            brick->texScale[a] = myVolume->texScale3D[a] / myVolume->extent[a];
            brick->texOffset[a] = myVolume->texScale3D[a] / 2.0f;
        }
        return;
    }
    const PlanRegion r = planRegion(node.part, myLevels[static_cast<size_t>(level)], myVolume->extent);
    brick->texData = myTextures[BrickLru::key(level, part)];
    for (int a = 0; a < 3; ++a) {
        brick->texScale[a] = r.texScale[a];
        brick->texOffset[a] = r.texOffset[a];
    }
}
