// The render target of "Focus and Context": where on screen the volume can
// lie (grown to powers of two), the part of that inside the window, one RGBA
// texture of its size, and how many dilation passes the mask image needs.
#ifndef GLIMRA_TEXTURE_H
#define GLIMRA_TEXTURE_H

#include "includegl.h"

class TextureTarget
{
public:
    // Initial values, then updateReach.
    TextureTarget();
    ~TextureTarget();
    TextureTarget(const TextureTarget&) = delete;
    TextureTarget& operator=(const TextureTarget&) = delete;

    void setWindowSize(int w, int h);
    void setPerspective(bool flag) { perspective = flag; }
    // Focus angle in degrees; recomputes the reach.
    void setAngle(int degrees);
    // Rectangle, copy rectangle and texture size from the camera (current
    // projection and viewport; the model-view stack is not touched).
    void place(float panX, float panY, float distance, float diagonal);
    // Eye-space extents of the box in the frame being drawn.
    void setSpans(float x, float y, float z);
    // Screen bounding rectangle of the corners and the box depth in pixels,
    // with the frame's matrices and viewport.
    void measureBox(const float corners[8][3]);
    // reach and decrement from intensity, tangent and the box on screen.
    void updateReach();
    // Brightest green of the box's pixels, right after the mask copy.
    void readBack();
    // The texture as a small quad at the lower left, when show is set.
    void drawInspection();
    void deleteTexture();

    // ---- the arithmetic behind place, measureBox and readBack (no GL) ----

    // Step one of place after projection: corner (x0, y0) and the opposite
    // corner (x1, y1) in window coordinates, clamped to the texture size.
    void setProjected(double x0, double y0, double x1, double y1);
    // Growth to powers of two about the centre, then the copy rectangle.
    void fitRectangle();
    // Bounding rectangle of the projected corners and boxDepth.
    void setBoxFromWindow(const double window[8][2]);
    // The brightest copied green byte: the reach is redone with the old
    // intensity when it falls short of 255, then intensity = v / 255.
    void takeBrightest(int v);
    // Window position of each corner relative to the rectangle (0..1 across it).
    void toTarget(const double window[8][3], float out[8][3]) const;
    // gluProject of each corner with the current matrices, then toTarget.
    void cornerPositions(const float corners[8][3], float out[8][3]) const;

    // ---- flags ----
    void setShow(bool on) { show = on; }
    void setEnabled(bool on) { enabled = on; }

    int clipX = 0;          // texel offset of the copy: the part of the rectangle left of the window
    int clipY = 0;          // ... below the window
    int copyX = 0;          // window position the copy starts at
    int copyY = 0;
    int copyWidth = 0;      // size of the copy
    int copyHeight = 0;
    int rectWidth = 0;      // screen rectangle, powers of two after placement; the texture size
    int rectHeight = 0;
    int rectX = 0;          // its lower-left corner in window coordinates, may be negative
    int rectY = 0;
    int windowWidth = 0;    // main view size in pixels
    int windowHeight = 0;
    float intensity = 1.0f; // brightest copied mask value of the last read-back, 0..1
    int angle = 15;         // focus angle in degrees
    float tangent;          // tan(angle)
    int reach = 0;          // dilation passes
    float decrement = 1.0f; // value each dilation pass takes off
    GLuint texture = 0;     // GL_TEXTURE_2D of the rectangle's size, from the first placement on
    bool show = false;      // draw the inspection quad
    bool enabled = true;    // run the red highlight of the mask
    int boxWidth = 0;       // screen bounding rectangle of the eight box corners
    int boxHeight = 0;
    int boxDepth = 0;       // depth of the box in pixels
    int boxX = 0;
    int boxY = 0;
    float spanX = 0.0f;     // eye-space extents of the box
    float spanY = 0.0f;
    float spanZ = 0.0f;
    int texWidth = 1;       // window size rounded up to powers of two
    int texHeight = 1;
    bool perspective = false; // the main view projects in perspective

private:
    void sizeTexture();

    int myAllocatedWidth = 0; // size the texture was last allocated with (glTexImage2D)
    int myAllocatedHeight = 0;
};

#endif
