// Volume textures from a loaded voxel buffer: the 3-D data and mask
// textures, the three 2-D stacks, gradient and magnitude textures, bricks.
//
// Every GL operation here needs a current context. Buffers hold nbrChannels
// interleaved elements of the GL type per voxel, x fastest, then y, then z.
#ifndef GLIMRA_GEN_TEXTURE_H
#define GLIMRA_GEN_TEXTURE_H

#include "includegl.h"
#include "load_progress.h"
#include "texture_formats.h"

#include <cstddef>

class Volume;

// Progress of the running generation, null otherwise; false cancels.
extern ProgressCallback progressCallback;

// Builds every texture of the data set from *data (glType values, the
// volume's resolution and channels): the 3-D texture with its gradient and
// magnitude textures, or bricks, then the 2-D stacks. *data may be replaced
// by a padded copy (the old buffer unregistered and freed, see
// voxel_buffer.h). Bricks are used from 4096 voxels along an axis on, and
// whenever a padded size does not fit one 3-D texture. False when progress
// cancelled or glType is not a voxel type; true otherwise, also when no
// texture could be made (no context, sizes beyond every limit). Gradient and
// magnitude textures only when gradients is set (they serve shading programs).
bool generateTextures(void** data, GLenum glType, Volume& volume, ProgressCallback progress,
                      bool gradients);

// What a load builds at once, and what it leaves to the first style that
// draws with it.
struct TexturePlan
{
    bool gradients = false;      // gradient and magnitude textures now
    bool stacks = true;          // the three 2-D stacks now
    bool laterGradients = false; // gradients may be wanted later: keep the voxels for them
};
// As above, by plan. With one 3-D texture (no bricks), stacks and gradients
// not built now stay pending on the volume, with the padded voxels kept for
// them in volume.derivedSource (*data is then null); bricks are built whole.
bool generateTextures(void** data, GLenum glType, Volume& volume, ProgressCallback progress,
                      const TexturePlan& plan);
// Builds the pending 2-D stacks (stacks) and gradient textures (gradients)
// from the kept voxels, reporting as a load does; the voxels go once nothing
// is pending. The result equals what the load would have built. False on a
// cancel (what was cancelled stays pending), and for a call made while a
// build is under way (a paint during its progress dialog).
bool buildDeferredTextures(Volume& volume, bool stacks, bool gradients, ProgressCallback progress);
// Puts *data (glType values of the volume's resolution and channels, a
// time point of the data on screen) into the textures that exist, keeping
// their names and storage: the 3-D texture is overwritten in place and its
// empty-space cells are made anew; the 2-D stacks and gradients that were
// built or pending become pending, built from the padded voxels (kept in
// volume.derivedSource, *data then null) on first use. False, with nothing
// changed, where the voxels cannot go in place (bricks, no 3-D texture, a
// type other than the one uploaded): the caller then builds the textures
// anew.
bool replaceVolumeVoxels(void** data, GLenum glType, Volume& volume);
// The 3-D mask texture tidMask (padding *data like the data); texScale3D stays.
bool generateMaskTexture(void** data, GLenum glType, Volume& volume, ProgressCallback progress);
// Sets min and mag filter to textureFilter on every texture of the volume.
void applyFilter(Volume& volume);

// n when n is a power of two, else the next larger one; 1 for n <= 1, and
// INT_MAX when the answer does not fit an int.
int nextPowerOfTwo(int n);
// Enlarges *data to power-of-two sizes, zero-filled ("new_data"); the
// resolution keeps the unpadded sizes. False when no texture limit holds the
// padded sizes, or the copy could not be allocated (*data unchanged).
bool padToPowerOfTwo(void** data, GLenum glType, Volume& volume);

// The data limits in use: the driver's GL_MAX_TEXTURE_SIZE and
// GL_MAX_3D_TEXTURE_SIZE unless a test replaced them.
int maxTextureSize();
int max3DTextureSize();
// Test hook: positive values replace the driver's answers, 0 restores them.
void setTextureSizeLimits(int max2D, int max3D);

// ---- CPU stages (no GL) ----

// The code of a zero gradient component, to which the half difference is
// added: 128/255 of the unsigned types' range (128, 128 x 257, 128 x
// 16843009), which an 8-bit texel holds as exactly 128, 128/255 for floats,
// 0 for the signed types.
double gradientBias(GLenum glType);
// The three components of a zero gradient in glType's bytes into out; the
// byte count (0 for a type without gradients).
size_t zeroGradientTexel(GLenum glType, unsigned char out[12]);
// Central differences of the voxels into gradient (nx*ny*nz voxels of three
// glType elements): each component the bias plus the half difference,
// rounded half away from zero (floats: in steps of 1/255) and held to the
// same distance from the bias both ways; boundary voxels, which lack a
// neighbour, hold the zero gradient. With one channel, or
// gradientCalculation 0...3 naming a channel, that channel; otherwise the
// mean of every channel's half difference. The slices are shared
// among the cores; "Generating gradient." is reported after each interior
// slice, in order, through progressCallback; false when that cancels.
bool computeGradient(void* gradient, int nx, int ny, int nz, int channels, const void* data,
                     GLenum glType, int gradientCalculation);
// Gradient lengths of every voxel, divided by the largest (when not 0).
void computeMagnitude(float* magnitude, int nx, int ny, int nz, const void* gradient, GLenum glType);
// For a padded grid of nx x ny x nz, `used` (when given) names the data's
// voxels in it (x, y, z from 0): the data's own boundary and everything
// beyond it hold the zero gradient, as in an unpadded volume.
// The largest gradient length of the volume computeGradient describes
// (computeMagnitude's divisor), a plane at a time on every core, without
// holding the gradients.
float largestGradientLength(int nx, int ny, int nz, int channels, const void* data, GLenum glType,
                            int gradientCalculation, const int* used = nullptr);
// Planes z0 ... z1 - 1 of computeGradient's result (the first at rgba) as
// four elements per voxel, the fourth opaque (the largest value of the type,
// 1 for floats): an RGBA upload that samples as the RGB one does. When
// lengths is given, their magnitude bytes too, one per voxel: the lengths
// divided by largest (when not 0), as an 8-bit normalized texture stores
// computeMagnitude's values (clamped to 0 ... 1, times 255, rounded to the
// nearest even integer). Reports the interior planes of the range as
// computeGradient does; false when that cancels.
bool computeGradientRGBA(void* rgba, unsigned char* lengths, float largest, int z0, int z1, int nx, int ny, int nz,
                         int channels, const void* data, GLenum glType, int gradientCalculation,
                         const int* used = nullptr);
// Threads of the gradient and magnitude passes: 0 (the default) one per
// core, else that many. The result is the same byte for byte either way.
extern int gradientThreads;

// Texture sizes of a 2-D stack (0 x, 1 y, 2 z) for the padded sizes.
void stackSliceSize(int axis, const int padded[3], int* width, int* height);
// Slice `index` of stack `axis` into slice (width x height texels of
// channels elements, cleared here): texel (s, t) holds voxel (index, s, t),
// (s, index, t) or (s, t, index). source has rows of rowLength voxels and
// slices of rowLength x sliceRows voxels; only voxels inside resolution are
// read.
void copyStackSlice(void* slice, int axis, int index, const void* source, int rowLength,
                    int sliceRows, const int resolution[3], const int padded[3], int channels,
                    GLenum glType);
// Rows rowBegin ... rowEnd - 1 (of the padded slice height) of slices first
// ... first + count - 1 of the x stack; slice b starts sliceStride elements
// after slice b - 1 (at least width x height x channels; a little more keeps
// the slice rows written together out of one cache set). Texels outside the
// data are cleared. Each source row is read once for all count slices.
void copyXStack(void* stack, size_t sliceStride, int first, int count, int rowBegin, int rowEnd, const void* source,
                int rowLength, int sliceRows, const int resolution[3], const int padded[3], int channels, GLenum glType);

// A new 3-D texture with the volume's filter and wrap holding one brick's
// cube of size texels, left bound to the active unit's 3-D target.
GLuint uploadBrickTexture(PFNGLTEXIMAGE3DPROC texImage3D, const int size[3], GLint internalFormat, GLenum format,
                          GLenum type, const void* cube);

// Build bricks for the whole volume (unpadded data, optional gradient and
// magnitude buffers of the unpadded volume) into a new volume.myBrickInfo.
void buildBricks(const void* data, GLenum glType, Volume& volume, const void* gradient,
                 const float* magnitude);
// The size[0] x size[1] x size[2] voxels from voxel first (x, y, z) on of a
// volume of resolution voxels with `elements` elements each; out-of-volume
// positions hold fill (one voxel's bytes), or zero without it.
void copyBrick(void* cube, const int size[3], const int first[3], const void* source, const int resolution[3],
               int elements, size_t elementBytes, const void* fill = nullptr);

#endif
