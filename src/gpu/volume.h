// The record of the data set on screen: description, textures, camera,
// display switches and the settings that belong to the data set.
#ifndef GLIMRA_VOLUME_H
#define GLIMRA_VOLUME_H

#include "empty_space.h"
#include "includegl.h"
#include "voxel_types.h"

class TextureTarget;
class BrickInfo;
class MultiVolumeInfo;
struct FocusPass;

// Entry points fetched once when the main view sets up OpenGL; null when missing.
struct ExtProcs
{
    void (*multiTexCoord2f)(GLenum target, GLfloat s, GLfloat t) = nullptr;
    void (*blendEquation)(GLenum mode) = nullptr;
    void (*blendEquationSeparate)(GLenum modeRGB, GLenum modeAlpha) = nullptr;
};

class Volume
{
public:
    Volume();
    ~Volume() = default;
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // Frees the render target, all textures, bricks and multi-volume record.
    void release();
    // Frees the kept voxels; nothing is pending any more.
    void releaseDerivedSource();
    // Deletes tidMask; with all, every data texture too (tidMagnitude included)
    // and the voxels kept for the pending ones.
    void deleteTextures(bool all);
    // Replaces the render target; true when it exists.
    bool createShiftTex();
    // Box extent, diagonal and corners from the resolution and voxel spacing.
    void setBoxProportions(float px, float py, float pz);

    void setBlending(int b) { blending = b; }
    int getBlending() const { return blending; }
    void setAlphaCalculation(int a) { alphaCalculation = (a >= 0 && a <= 2) ? a : 0; }
    int getAlphaCalculation() const { return alphaCalculation; }
    void setGradientCalculation(int g) { gradientCalculation = (g >= 0 && g <= 4) ? g : 0; }
    int getGradientCalculation() const { return gradientCalculation; }
    void setAlphaCorrection(bool on) { alphaCorrection = on; }
    bool getAlphaCorrection() const { return alphaCorrection; }
    // Keeps halfSampling in step with sampling.
    void setSampling(int s) { sampling = s; halfSampling = s / 2; }

    void toggleBBox() { showBBox = !showBBox; }
    void toggleVolume() { showVolume = !showVolume; }
    void toggleSlices() { showSlices = !showSlices; }
    void toggleBricks() { showBricks = !showBricks; }

    // ---- the slicing renderers (volume_render.cpp, slicing_*.cpp, compositing.cpp) ----

    // The per-frame entry point: compositing, alpha test, proxy polygons back to front.
    void renderVolume();
    // frontFace/backFace from the rotation, when "Switching slices" is on.
    void chooseFrontFace();
    // One proxy polygon of the current slicing at position a (0 farthest, 1
    // nearest); brick -1 without bricks; mask selects the mask texture.
    void drawSlice(float a, int brick, bool mask);
    // quad: the axis-aligned slice at position a, perpendicular to frontFace.
    void axisAlignedQuad(float a);
    // The stack textures of a 2-D slice at a and at the next position b.
    void select2DSlices(float a, float b);
    // slicePolygon: the box cut by the plane z = d of the rotated frame.
    void viewAlignedPolygon(float d);
    // Outline of the slice just drawn (showSlices).
    void drawSliceOutline();
    // Bounding box and brick outlines, after rendering.
    void drawOutlines();
    // Blend equation and function and GL_BLEND for this frame.
    void setupCompositing();
    // The colour a frame is cleared with: white under minimum intensity
    // (the minimum of anything and white is the thing itself), the
    // background otherwise.
    void clearColour(float rgb[3]) const;
    // "Ray Casting": the box, or every brick's box back to front, marched by
    // the ray-casting programs.
    void renderRayCasting();
    // "Focus and Context": the mask pass, its dilation in the render target
    // and the main ray-cast pass (focus_context.cpp).
    void renderFocusContext();
    // The ray caster's box (or one brick's) with the programs bound; mask
    // selects the mask texture, a focus-and-context pass its own programs.
    void drawBox(int brick, bool mask, const FocusPass* pass = nullptr);
    // The skip grid's flags for the palette the ray caster classifies with,
    // remade only when that palette changed since the last frame.
    void updateSkipGrid();

    TextureTarget* shiftTex;      // render target while a mask is in use; owned
    float rotation[16];           // model-view rotation of the data set, column-major
    float translation[16];        // camera part of the last paint's model-view matrix
    float vertices[8][3];         // corners of the proxy box
    float normals[6][3];          // outward normals of the six faces
    int backFace;                 // face opposite to frontFace
    int frontFace;                // face whose rotated normal points most at the viewer
    int faces[6][4];              // corner indices of the faces, in the order of normals
    GLuint* tidx;                 // 2-D stack across x, resolution[0] ids
    GLuint* tidy;                 // 2-D stack across y, resolution[1] ids
    GLuint* tidz;                 // 2-D stack across z, resolution[2] ids
    GLuint tidVolume;             // 3-D texture of the data
    GLenum uploadedType = 0;      // element type tidVolume's voxels were given in
    GLuint tidGradient;           // 3-D texture of the gradients
    GLuint tidMask;               // 3-D texture of the mask
    GLuint tidMagnitude;          // 3-D texture of the gradient magnitudes
    bool isMask;                  // a mask is loaded and shiftTex exists
    bool isData;                  // a data set is loaded
    int resolution[3];            // voxels along x, y, z
    int sampling;                 // number of slices
    int halfSampling;             // sampling / 2 while interacting
    bool interacting;             // a mouse drag with speed-up is in progress
    float extent[3];              // proxy box size, x always 1
    int blending;                 // 0 blending, 1 maximum, 2 minimum intensity
    float alphaThreshold;         // alpha-test threshold 0..1
    float texScale2D[3];          // used fraction of the 2-D stack textures
    float texScale3D[3];          // used fraction of the 3-D texture
    bool switchSlices;            // "Switching slices"
    float slicePolygon[6][3];     // outline of the current slice
    int slicePolygonCount;        // valid points in slicePolygon
    float diagonal;               // box diagonal
    bool perspective;             // perspective (true) or orthographic projection
    GLenum alphaFunc;             // GL_GREATER, GL_EQUAL or GL_LESS
    float distance;               // camera z translation
    float pan[2];                 // camera x and y translation
    bool showBBox;                // draw the bounding box
    bool showVolume;              // draw the volume
    bool showSlices;              // draw the slice outlines
    bool showBricks;              // draw the brick outlines
    GLuint sliceTex[2];           // 2-D stack textures of this and the next slice
    float background[3];          // clear colour
    float cornerWindow[8][3];     // window position of each box corner (focus and context)
    float multiSlices[6];         // "2D Multi Texture": k, k + 1, fraction, twice
    int nbrChannels;              // channels per voxel
    BrickInfo* myBrickInfo;       // bricks of a large data set; owned
    bool isBricking;              // the data set is split into bricks
    bool isoMode;                 // iso-surface mode
    MultiVolumeInfo* myMVolumeInfo; // per-band textures; owned
    float depthRange[2];          // near and far of the last orthographic projection
    float orthoScale;             // scale of the orthographic projection
    int alphaCalculation;         // fourth channel of RGB data: 0 one, 1 average, 2 maximum
    int gradientCalculation;      // gradient channel: 0..3 one channel, 4 average
    bool alphaCorrection;         // opacity correction for the slice distance
    float quad[4][3];             // scratch quadrilateral of the slicing renderers
    SkipGrid skipGrid;            // empty-space cells of the data for the ray caster
    // The textures a load left to their first use, and the one copy of the
    // voxels they are built from (padded, in the uploaded type); the copy
    // goes once nothing is pending (gen_texture.h, buildDeferredTextures).
    void* derivedSource = nullptr;   // the kept voxels, null when nothing is pending
    GLenum derivedType = 0;          // their element type
    int derivedGradientCalculation = 4; // the gradient setting the load had
    bool stacksPending = false;      // the three 2-D stacks are still to be built
    bool gradientsPending = false;   // the gradient and magnitude textures are still to be built
    // The data file said how the data lie: direction (row-major) holds in
    // column a where the data's axis a points among the patient's left,
    // anterior and superior directions (volume_file.h).
    bool oriented = false;
    float direction[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    ExtProcs extProcs;            // entry points fetched by the main view (blend equation only with min/max blending)
};

extern Volume volume;

#endif
