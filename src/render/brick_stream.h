// The bricks of an OME-Zarr pyramid drawn over its coarsest level: the box
// is cut into the brick grid of the finest level; before each brick is
// drawn it takes the texture of the level its size on screen asks for,
// kept in a cache of textures under a memory budget. Until that texture is
// there the brick draws from the finest one it has, or from the coarsest
// level's whole texture that the load made.
#ifndef GLIMRA_BRICK_STREAM_H
#define GLIMRA_BRICK_STREAM_H

#include "brick_plan.h"
#include "includegl.h"
#include "zarr_metadata.h"

#include <string>
#include <unordered_map>
#include <vector>

class Volume;

class BrickStream
{
public:
    BrickStream() = default;
    // Deletes the textures it made (a context must be current) and detaches.
    ~BrickStream();
    BrickStream(const BrickStream&) = delete;
    BrickStream& operator=(const BrickStream&) = delete;

    // Opens the pyramid at path; false with *why.
    bool open(const std::string& path, std::string* why);
    // Why the volume, loaded from this pyramid's coarsest level, cannot take
    // finer bricks; "" when it can (one band of bytes, or of 16-bit values
    // the load left as they are).
    std::string whyNot(const Volume& v) const;
    // Cuts the volume's box into bricks of `texels` (the finest level's
    // grid) drawn through this stream; false with *why (whyNot).
    bool attach(Volume& v, std::string* why, int texels = 32);
    // Gives the volume its own drawing back (no bricks) and the textures up.
    void detach();

    // Bytes of brick textures kept at most.
    void setBudget(uint64_t bytes) { myCache.setBudget(bytes); }
    // Reads a brick the view needs when it is drawn (a picture that waits
    // for every brick), instead of drawing it coarser.
    void setWaiting(bool wait) { myWaiting = wait; }
    // Draws one level coarser than the view needs (while the user drags).
    void setCoarser(bool coarser) { myCoarser = coarser; }
    // Screen pixels a voxel may span before a finer level is drawn (1: the
    // coarsest level whose voxel is no larger than a pixel).
    void setPixelsPerVoxel(double pixels) { myPixels = pixels > 0.0 ? pixels : 1.0; }

    // The level brick `part` was last drawn from (the coarsest for the
    // whole texture); -1 before it was drawn.
    int drawnLevel(int part) const;
    // The bricks the cache holds.
    const BrickLru& cache() const { return myCache; }
    // Levels, finest first, up to the coarsest.
    const std::vector<PlanLevel>& levels() const { return myLevels; }
    // Bricks read since attach.
    int reads() const { return myReads; }
    // The last read fault, "" when none.
    const std::string& fault() const { return myFault; }

private:
    // Chooses and binds brick `part`'s texture; the draw hook.
    void beforeDraw(int part);
    // The level the view needs for the part.
    int wantedLevel(int part) const;
    // Reads and uploads the part at the level into the cache; false on a fault.
    bool load(int level, int part);
    // Points brick `part` at the cached texture of the level (the coarsest: the whole texture).
    void use(int level, int part);

    ZarrPyramid myPyramid;               // the pyramid read
    int myCoarsest = 0;                  // its coarsest level
    double myCoarseMax = 0;              // the largest value of the coarsest level
    std::vector<PlanLevel> myLevels;     // levels 0 ... myCoarsest
    std::vector<PlanPart> myParts;       // the bricks' parts of the box
    std::vector<int> myDrawn;            // per part the level last drawn
    BrickLru myCache{256u << 20};        // the kept textures
    std::unordered_map<uint64_t, GLuint> myTextures; // the texture of every kept key
    Volume* myVolume = nullptr;          // the volume attached to, null when none
    bool myWaiting = false;              // read missing bricks while drawing
    bool myCoarser = false;              // one level coarser (dragging)
    double myPixels = 1.0;               // screen pixels a voxel may span
    int myReads = 0;                     // bricks read
    std::string myFault;                 // the last read fault
};

#endif
