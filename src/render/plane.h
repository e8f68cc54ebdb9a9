// Clip planes: up to six planes that cut the volume, as OpenGL clip planes,
// with red stippled outlines.
#ifndef GLIMRA_PLANE_H
#define GLIMRA_PLANE_H

#include "includegl.h"

class ClipPlane
{
public:
    explicit ClipPlane(const float matrix[16]);

    // Turns the kept half-space over: b becomes -1 (or back to 1), d negated.
    void invert();
    // Moves the plane along its normal by delta.
    void translate(float delta);
    // Outline under the camera transform; translating planes move by shift first.
    void draw(float shift);

    float corners[4][3];   // outline quad in the plane's frame
    bool visible;          // the outline is drawn
    bool rotating;         // follows mouse rotation
    bool translating;      // follows mouse translation
    double equation[4];    // a x + b y + c z + d >= 0 is kept, in the plane's frame
    float matrix[16];      // places the plane's frame in volume space
    float offset;          // distance moved along the normal
};

class ClipPlaneSet
{
public:
    static const int kSlots = 6;

    ClipPlaneSet();
    ~ClipPlaneSet();
    ClipPlaneSet(const ClipPlaneSet&) = delete;
    ClipPlaneSet& operator=(const ClipPlaneSet&) = delete;

    // After the OpenGL context exists: the table of GL clip-plane names.
    // Until then the set keeps its planes but makes no OpenGL calls.
    void initialise();
    // Frees the table of GL names (shutdown).
    void release();

    // A plane with that matrix in the first empty slot; its slot index, or
    // -1 when all slots are taken.
    int add(const float matrix[16]);
    // The plane a x + b y + c z + d >= 0 of the box's own frame (plane[0..3]),
    // on data turned by rotation, in the first empty slot, its outline hidden;
    // its slot index, or -1 when all slots are taken or (a, b, c) is no
    // direction.
    int addInBoxFrame(const float plane[4], const float rotation[16]);
    // Plane numbers are 1 ... 6. Out-of-range numbers and empty slots do nothing.
    // A deleted plane leaves the rotate/translate counts of its modes.
    void del(int number);
    void invert(int number);
    void setMatrix(const float matrix[16], int number);
    void setMatrixAll(const float matrix[16]);
    // The planes in rotate mode, or every plane when none is in rotate or
    // translate mode, become R x matrix.
    void rotate(const float R[16]);
    // Deletes every plane; no plane is left in a mode.
    void removeAll();
    // Each plane under the camera transform times its matrix, enabled.
    void applyAll();
    // One plane under the current model-view matrix.
    void apply(int number);
    void disableAll();
    void disable(int number);
    // Stippled outlines of every plane.
    void drawAll(float shift);

    // Toggles a plane's mode flag and keeps the matching count in step;
    // the new flag (false for an empty slot).
    bool toggleRotating(int number);
    bool toggleTranslating(int number);

    ClipPlane* plane(int number) const; // null when empty or out of range

    int count;                 // existing planes
    int maximum;               // number of slots
    ClipPlane* pole[kSlots];   // slots; plane k is slot k - 1
    GLenum* clipplane;         // GL_CLIP_PLANE0 ... per slot; null before initialise
    int rotatingCount;         // planes with rotating set
    int translatingCount;      // planes with translating set

private:
    // Takes a plane about to go out of the rotate/translate counts.
    void forgetModes(const ClipPlane& p);
};

extern ClipPlaneSet clipPlanes;

// A rotation taking the y axis to the direction of normal (any length but 0),
// column-major: the frame of a plane with that normal.
void planeFrame(const float normal[3], float out[16]);

// Loads the camera transform of the current volume (its pan, distance, scale
// and projection) into the model-view matrix.
void loadCameraTransform();

#endif
