// The bricks of an OME-Zarr pyramid drawn over its coarsest level: the box
// is cut into a tree of bricks (planTree), bricks of the finest level's grid
// at the leaves, each node covering 2 x 2 x 2 of the depth below, so a node
// of depth k at level k is a texture of about the leaves' size. Each frame
// draws a cut through the tree: the nodes whose depth suits the level their
// size on screen asks for. Before each is drawn it takes the texture of its
// level, kept in a cache of textures under a memory budget. Until that
// texture is there the node draws from the finest one it has, or from the
// coarsest level's whole texture that the load made.
#ifndef GLIMRA_BRICK_STREAM_H
#define GLIMRA_BRICK_STREAM_H

#include "brick_plan.h"
#include "includegl.h"
#include "zarr_metadata.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class Volume;

class BrickStream
{
public:
    BrickStream() = default;
    // Stops the workers and detaches without a GL call: textures detach
    // did not delete go with their context.
    ~BrickStream();
    BrickStream(const BrickStream&) = delete;
    BrickStream& operator=(const BrickStream&) = delete;

    // Opens the pyramid at path; false with *why.
    bool open(const std::string& path, std::string* why);
    // Why the volume, loaded from this pyramid's coarsest level, cannot take
    // finer bricks; "" when it can (one band of 8- or 16-bit unsigned
    // values; 12-bit ones are stretched as the load stretched the coarsest
    // level's).
    std::string whyNot(const Volume& v) const;
    // Cuts the volume's box into the tree of bricks whose leaves are the
    // finest level's grid of `texels` (0: planLeafTexels from kLeafTexels) drawn through this
    // stream; false with *why (whyNot).
    bool attach(Volume& v, std::string* why, int texels = 0);
    // Gives the volume its own drawing back (no bricks) and deletes the
    // textures it made (the volume's context must be current).
    void detach();

    // Bytes of brick textures kept and, while workers read, of the bricks
    // in flight besides (read and not uploaded) at most.
    void setBudget(uint64_t bytes)
    {
        myBudget = bytes;
        myCache.setBudget(bytes);
    }
    uint64_t budget() const { return myBudget; }
    // Reads a brick the view needs when it is drawn (a picture that waits
    // for every brick), instead of drawing it coarser.
    void setWaiting(bool wait) { myWaiting = wait; }
    bool waiting() const { return myWaiting; }
    // Without waiting, bricks are read by `threads` worker threads (started
    // at the first call, 2 by default) while the bricks draw coarser;
    // arrival is called on a worker thread each time one is read (the
    // owner asks for a repaint on its own thread), and each frame uploads
    // `perFrame` of them, largest on screen first, and more while its
    // uploads stay within `perFrameBytes`, at most an eighth of the budget
    // (small bricks of the tree's leaves would otherwise refine slowly; not
    // while drawing coarser for a drag, whose frames stay quick); as many
    // wait read, not uploaded.
    void startWorkers(const std::function<void()>& arrival, int threads = 2, int perFrame = 4,
                      uint64_t perFrameBytes = kPerFrameBytes);
    // The bytes a frame uploads by default.
    static constexpr uint64_t kPerFrameBytes = 64u << 20;
    // Blocks until the workers have read every brick asked for (tests).
    void waitForReads();
    // Bricks asked for, being read or read and not yet uploaded: a repaint
    // would draw finer.
    bool pending();
    // Draws one level coarser than the view needs (the volume's interacting
    // flag, set while the user drags, does so too).
    void setCoarser(bool coarser) { myCoarser = coarser; }
    // Screen pixels a voxel may span before a finer level is drawn (1: the
    // coarsest level whose voxel is no larger than a pixel).
    void setPixelsPerVoxel(double pixels) { myPixels = pixels > 0.0 ? pixels : 1.0; }

    // Texels of the leaves along each axis when attach is given none
    // (more for a finest level that would have very many leaves).
    static constexpr int kLeafTexels = 256;
    // The level leaf `part` (a brick of the finest level's grid, planParts'
    // order) was last drawn from, by the node of the tree covering it (the
    // coarsest for the whole texture); -1 before it was drawn.
    int drawnLevel(int part) const;
    // Every leaf's drawnLevel, in build order.
    std::vector<int>::const_iterator drawnLevelsBegin() const { return myDrawn.begin(); }
    std::vector<int>::const_iterator drawnLevelsEnd() const { return myDrawn.end(); }
    // The nodes of the tree (BrickInfo's bricks, the leaves first).
    const PlanTree& tree() const { return myTree; }
    // The nodes the last frame drew.
    const std::vector<int>& drawnNodes() const { return myFrameNodes; }
    // The bricks the cache holds.
    const BrickLru& cache() const { return myCache; }
    // Levels, finest first, up to the coarsest.
    const std::vector<PlanLevel>& levels() const { return myLevels; }
    // Bricks read since attach.
    int reads() const { return myReads; }
    // The last read fault, "" when none.
    std::string fault()
    {
        std::lock_guard<std::mutex> lock(myMutex);
        return myFault;
    }

private:
    // The start of a frame: chooses the nodes to draw and their levels and
    // orders them farthest first in the volume's bricks; their number.
    int beforeFrame();
    // Chooses and binds node `part`'s texture; the draw hook.
    void beforeDraw(int part);
    // The level the view needs for the part (before a drag's one coarser),
    // and its priority for reading (larger first).
    int wantedLevel(int part, double* priority) const;
    // Bytes of the part's brick at the level.
    uint64_t brickBytes(int level, int part) const;
    // The level of every node drawn this frame: the level the view wants, made
    // coarser where the bricks would not fit the budget together with
    // those in flight (else they would push each other out of the cache
    // for ever); the cache keeps what the bricks in flight leave of it.
    void chooseFrameLevels();
    // Whether the bricks read and not uploaded fill a frame's uploads
    // (perFrame bricks and perFrameBytes; under myMutex): the workers wait.
    bool readyFull() const
    {
        return myReady.size() >= static_cast<size_t>(myPerFrame) && myReadyBytes >= myFrameBytes;
    }
    // Reads and uploads the part at the level into the cache; false on a fault.
    bool load(int level, int part);
    // The level's voxels of the part read from the pyramid; false with *why.
    bool readRegion(int level, int part, std::vector<unsigned char>* values, std::string* why) const;
    // Uploads values read for the key into the cache.
    bool upload(uint64_t key, const std::vector<unsigned char>& values);
    // Asks the workers for the key with the priority (larger first), or
    // takes its voxels when they have arrived and this frame may upload:
    // true when the key's texture is in the cache now.
    bool fetch(uint64_t key, double priority);
    // A worker: reads the most urgent brick asked for until stopped.
    void work();
    // Stops and joins the workers, forgetting what was asked for.
    void stopWorkers();
    // Points brick `part` at the cached texture of the level (the coarsest: the whole texture).
    void use(int level, int part);

    ZarrPyramid myPyramid;               // the pyramid read
    int myCoarsest = 0;                  // its coarsest level
    double myCoarseMax = 0;              // the largest value of the coarsest level
    std::vector<uint16_t> myStretch;     // 12-bit data: each value as the load stretches it; else empty
    std::vector<PlanLevel> myLevels;     // levels 0 ... myCoarsest
    PlanTree myTree;                     // the bricks' nodes
    std::vector<int> myDrawn;            // per leaf the level last drawn
    uint64_t myBudget = 256u << 20;      // bytes of bricks kept and in flight
    BrickLru myCache{256u << 20};        // the kept textures
    std::unordered_map<uint64_t, GLuint> myTextures; // the texture of every kept key
    Volume* myVolume = nullptr;          // the volume attached to, null when none
    bool myWaiting = false;              // read missing bricks while drawing
    bool myCoarser = false;              // one level coarser (dragging)
    double myPixels = 1.0;               // screen pixels a voxel may span
    std::vector<int> myFrameLevels;      // per node its level this frame, -1 when not drawn
    std::vector<double> myFramePriority; // per node its priority this frame
    std::vector<int> myFrameNodes;       // the nodes drawn this frame, in node order
    float myModelview[16] = {};          // this frame's model-view matrix,
    float myProjection[16] = {};         // projection
    int myViewport[2] = {1, 1};          // and viewport width and height
    std::atomic<int> myReads{0};         // bricks read (workers count too)
    std::string myFault;                 // the last read fault
    float myExtent[3] = {1, 1, 1};       // the box's extents at attach

    // Shared with the workers, under myMutex.
    std::mutex myMutex;
    std::condition_variable myWake;      // a request came or the workers stop
    std::condition_variable myDone;      // a read finished
    std::vector<std::thread> myWorkers;  // the reading threads
    bool myStopping = false;             // the workers end
    std::map<uint64_t, double> myRequests; // keys to read and their priority
    std::set<uint64_t> myReading;        // keys being read
    std::set<uint64_t> myFailed;         // keys whose read failed (not asked again)
    std::unordered_map<uint64_t, std::vector<unsigned char>> myReady; // read, not uploaded (until readyFull)
    std::set<uint64_t> myAsked;          // keys fetched this frame: the ready ones kept at the next
    std::function<void()> myArrival;     // told when a read finished
    int myPerFrame = 4;                  // uploads a frame makes at least
    uint64_t myPerFrameBytes = 0;        // and bytes it may upload besides
    uint64_t myFrameBytes = 0;           // those this frame: at most an eighth of the budget
    uint64_t myReadyBytes = 0;           // bytes in myReady
    int myUploads = 0;                   // uploads this frame
    uint64_t myUploadedBytes = 0;        // and their bytes
};

#endif
