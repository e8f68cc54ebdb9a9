// The arithmetic of streamed pyramid bricks, without GL: the parts of the box
// the bricks draw, the voxels of a level one part needs (with the border
// filtering reads), the level a part is drawn at for a view, and the cache
// that keeps bricks under a memory budget, least recently used going first.
#ifndef GLIMRA_BRICK_PLAN_H
#define GLIMRA_BRICK_PLAN_H

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

// One level of a pyramid as the bricks see it.
struct PlanLevel
{
    int resolution[3] = {1, 1, 1}; // voxels along x, y, z
    double span[3] = {1, 1, 1};    // the box's length in this level's voxels (resolution where the level fills it)
};

// A brick's part of the box, box coordinates (the box centred on the origin).
struct PlanPart
{
    float lo[3] = {};
    float hi[3] = {};
};

// The parts of the box of extents `extent`: the brick grid of `finest`
// (bricks of `texels` along each axis sharing one voxel, as bricksAlong and
// brickSpan cut it), the last part of each axis reaching the box's face.
// Build order: x fastest, then y, then z.
std::vector<PlanPart> planParts(const PlanLevel& finest, int texels, const float extent[3]);

// The bricks as a tree: the leaves (depth 0) are planParts' parts of
// `texels`; a node of depth k covers 2 x 2 x 2 nodes of depth k - 1 (fewer
// at the far faces), so its children tile it, and at level k it needs about
// `texels` voxels per axis. The roots are the nodes of the depth where one
// node covers the box, or of `deepest` (the coarsest level) if that comes
// first.
struct PlanNode
{
    PlanPart part;              // its part of the box
    int depth = 0;              // 0 for a leaf
    int firstLeaf[3] = {};      // the leaves it covers along x, y, z: firstLeaf ...
    int endLeaf[3] = {};        // ... endLeaf - 1
    std::vector<int> children;  // node indices, empty for a leaf
};
struct PlanTree
{
    std::vector<PlanNode> nodes; // the leaves first (planParts' order), then depth by depth
    std::vector<int> roots;      // the nodes of the top depth
    int leaves[3] = {1, 1, 1};   // leaves along x, y, z
    int leafCount() const { return leaves[0] * leaves[1] * leaves[2]; }
    // The index of leaf (x, y, z).
    int leaf(int x, int y, int z) const { return x + leaves[0] * (y + leaves[1] * z); }
};
PlanTree planTree(const PlanLevel& finest, int texels, const float extent[3], int deepest);

// The nodes drawn for a view: from the roots down, a node whose wanted
// level (wanted(node)) is finer than its depth is replaced by its children
// (a leaf is not); every other one is drawn at the larger of its wanted
// level and its depth. Per node the level it is drawn at; -1 for the nodes
// not drawn.
std::vector<int> planCut(const PlanTree& tree, const std::function<int(int node)>& wanted);

// The nodes drawn (cut[node] >= 0), the farthest from the eye first, in an
// order where none is drawn before one that lies behind it: siblings (and
// the roots) farthest first along z, then y, then x, each node's children in
// place of it. eye: the eye in box coordinates (far along the view
// direction for an orthographic view).
std::vector<int> planCutOrder(const PlanTree& tree, const std::vector<int>& cut, const double eye[3]);

// Leaf texels for a finest level: `least` (a power of two), doubled while
// the leaves would be more than `most` (every node is a brick the draw
// loop keeps), at most 4096.
int planLeafTexels(const PlanLevel& finest, int least = 256, int64_t most = 32768);

// The texture of one part at one level: the voxels read and where the box
// falls in it.
struct PlanRegion
{
    int first[3] = {};  // first voxel read along x, y, z
    int voxels[3] = {}; // voxels read along x, y, z
    int texels[3] = {}; // texels of the texture: the voxels, and one zero texel after them
                        // where the level ends inside a power-of-two padding
    float texScale[3] = {1, 1, 1};  // box point p to texel coordinate: p * texScale + texOffset
    float texOffset[3] = {0, 0, 0};
    uint64_t values() const; // texels of the texture
};
// The voxels of `level` the part needs so that linear filtering anywhere in
// it reads only its own texels: from the voxel whose centre lies at or below
// the part's start to the one at or above its end, within the level. Where
// the part reaches the level's last voxel centre and the level is not a
// power of two long, a zero texel follows, as a single padded texture has.
PlanRegion planRegion(const PlanPart& part, const PlanLevel& level, const float extent[3]);

// Screen pixels one box unit covers at point p (box coordinates) for the
// model-view and projection matrices (column-major) and a viewport of
// width x height: the longest of the three axes' images. 0 behind the eye.
double pixelsPerUnit(const float modelview[16], const float projection[16], int width, int height,
                     const float p[3]);

// Whether any of the part lo..hi of the box may be seen: false only when
// its eight corners all lie beyond one face of the view volume (model-view
// and projection column-major; the near and far planes do not count).
bool partInView(const float modelview[16], const float projection[16], const float lo[3], const float hi[3]);

// The coarsest level (index into levels, finest first) whose voxels span at
// most `pixels` screen pixels where a box unit covers `perUnit` pixels; 0
// when none does.
int chooseLevel(const std::vector<PlanLevel>& levels, const float extent[3], double perUnit, double pixels = 1.0);

// "512M", "2G", "1500K", "3000000" (bytes) or "0.5G" to bytes; false for
// anything else or zero.
bool parseMemorySize(const std::string& text, uint64_t* bytes);

// Bricks kept under a budget of bytes. Keys name a brick (a part at a
// level); each has its bytes. A brick put in is the most recently used one;
// the least recently used go while the total is over the budget, but never
// the one just put in.
// The level each part is drawn at so that the bricks of all parts fit
// `budget` bytes together with `inFlight` more of the largest of them (those
// being read and waiting for upload). Each part starts at wanted[p]; while
// they do not fit, the part at the finest level goes one level coarser, of
// several the one with the least priority (the smallest on screen). The
// coarsest level is loaded whole and counts nothing. bytes(level, part) is
// a part's brick's size at a level; *largest receives the largest brick at
// the levels chosen (0 when all are the coarsest).
std::vector<int> levelsWithinBudget(const std::vector<int>& wanted, const std::vector<double>& priority,
                                    int coarsest, uint64_t budget, int inFlight,
                                    const std::function<uint64_t(int level, int part)>& bytes,
                                    uint64_t* largest = nullptr);

class BrickLru
{
public:
    explicit BrickLru(uint64_t budget = 0) : myBudget(budget) {}

    // The key of the part at the level.
    static uint64_t key(int level, int part) { return (static_cast<uint64_t>(level) << 32) | static_cast<uint32_t>(part); }
    // The level and part of a key.
    static int levelOf(uint64_t key) { return static_cast<int>(key >> 32); }
    static int partOf(uint64_t key) { return static_cast<int>(key & 0xffffffffu); }

    void setBudget(uint64_t bytes) { myBudget = bytes; }
    uint64_t budget() const { return myBudget; }
    uint64_t used() const { return myUsed; }
    size_t size() const { return myMap.size(); }
    bool contains(uint64_t key) const { return myMap.count(key) != 0; }
    // Marks the brick as used now; false when it is not kept.
    bool touch(uint64_t key);
    // Keeps the brick (replacing one of the same key) and returns the keys
    // that went to make room, least recently used first.
    std::vector<uint64_t> put(uint64_t key, uint64_t bytes);
    // Forgets the brick; false when it was not kept.
    bool drop(uint64_t key);
    // After the budget was lowered: the least recently used bricks go until
    // the rest fit; their keys, in that order.
    std::vector<uint64_t> trim();
    // Keys from the least to the most recently used.
    std::vector<uint64_t> order() const;

private:
    struct Entry
    {
        uint64_t bytes;
        std::list<uint64_t>::iterator place; // in myOrder
    };
    uint64_t myBudget = 0;                     // bytes kept at most (one brick beyond when it alone is larger)
    uint64_t myUsed = 0;                       // bytes kept
    std::list<uint64_t> myOrder;               // least recently used first
    std::unordered_map<uint64_t, Entry> myMap; // the kept bricks
};

#endif
