// The geometry of the slicing renderers as plain functions: slice counts,
// which face looks at the viewer, which stack texture a position takes, and
// the view-aligned cut through the box. No GL calls.
#ifndef GLIMRA_SLICING_H
#define GLIMRA_SLICING_H

// How many proxy polygons a frame draws and how far apart they are in the
// position parameter (0 farthest, 1 nearest).
struct SliceSchedule
{
    int count = 0;     // polygons per box (or per brick)
    float step = 0.0f; // position increment between them
};

// n slices asked for (sampling or halfSampling) under slicing kind k. View-
// aligned slicing draws 1.8 times as many. Fewer than two slices leave the
// step undefined: such a frame draws no polygon.
SliceSchedule sliceSchedule(int n, int slicing);

// x rounded to the nearest integer, halves going up (ceil unless more than
// half away, then floor).
int nearestIndex(float x);
// The voxel slice (0..n-1) a position a in [0, 1] selects along an axis of n
// voxels; a is clamped first. 0 when n < 1.
int sliceIndexAt(float a, int n);
// Entry of the stack for voxel slice i along the axis of frontFace: counted
// from the back face, so faces 0, 3 and 5 (looking down the axis) reverse it.
int stackEntry(int frontFace, int i, int n);
// The stack axis of a face: 0 x (faces 1, 3), 1 y (4, 5), 2 z (0, 2).
int faceAxis(int face);
// 0<->2, 1<->3, 4<->5.
int oppositeFace(int face);
// The face whose normal, turned by rotation (column-major, as OpenGL
// applies it), has the largest z; the first of equal ones wins.
int frontFaceFor(const float rotation[16], const float normals[6][3]);

// The corners (box corner indices) of the axis-aligned slice for frontFace.
const int* axisSliceCorners(int frontFace);
// Fills quad with the slice at position a: the corners of frontFace's side of
// the box with the axis coordinate moved from the back face (a = 0) to the
// front face (a = 1).
void axisAlignedQuad(const float vertices[8][3], int frontFace, float a, float quad[4][3]);
// The 2-D texture range (s, t) of the slice quad for frontFace.
void stackTextureRange(const float texScale2D[3], int frontFace, float range[2]);

// Whether the slice at coordinate `at` is one of a brick whose part spans
// lo ... hi of a box spanning boxLo ... boxHi (along the slicing axis, or in
// depth): from lo up to hi but not hi itself, so that a slice on the face two
// bricks share is drawn once; the bricks at the box's ends take what lies
// beyond it too, as the box does.
bool sliceInPart(float at, float lo, float hi, float boxLo, float boxHi);
// The slices of schedule s (position i * step, placed from `from` at
// position 0 to `to` at position 1) that may lie in lo ... hi: range[0] to
// range[1], one more on each side than rounding can move a slice, within
// 0 ... count - 1; range[0] > range[1] when none can.
void slicesWithin(float lo, float hi, float from, float to, const SliceSchedule& s, int range[2]);
// The smallest (range[0]) and largest z of the corners turned by rotation.
void rotatedDepthRange(const float rotation[16], const float corners[8][3], float range[2]);

// The box (vertices, turned by rotation) cut by the plane z = d: writes the
// points in angular order about their centre to polygon and returns how many
// there are (0 to 6). With fewer than three, polygon is left untouched.
int viewAlignedCut(const float rotation[16], const float vertices[8][3], float d, float polygon[6][3]);
// Orders count points by the angle atan2(c.y - p.y, c.x - p.x) + pi about
// their centre c, smallest first, the first of equal angles winning.
void orderByAngle(float points[][3], int count);

#endif
