// A frame buffer object of its own size in the current context: RGBA8 colour,
// 24-bit depth and 8-bit stencil, as the window's frame buffer has them.
// Pictures larger than the window and the offscreen context draw into one.
#ifndef GLIMRA_FRAME_TARGET_H
#define GLIMRA_FRAME_TARGET_H

#include "includegl.h"

#include <string>

class FrameTarget
{
public:
    // Creates the target in the current context (nothing bound afterwards but
    // what was bound before); ok() tells whether it is complete.
    FrameTarget(int width, int height);
    // Deletes the target; the context it was made in must be current.
    ~FrameTarget();
    FrameTarget(const FrameTarget&) = delete;
    FrameTarget& operator=(const FrameTarget&) = delete;

    bool ok() const { return myOk; }
    const std::string& error() const { return myError; }
    int width() const { return myWidth; }
    int height() const { return myHeight; }
    // Draws and reads go to the target from now on.
    void bind();
    // Reads the colour back, RGBA8, bottom row first (bound target).
    void readPixels(unsigned char* rgba) const;

    // The largest side a target may have in the current context.
    static int largestSide();

private:
    GLuint myFramebuffer = 0;  // the frame buffer object
    GLuint myColor = 0;        // its colour renderbuffer
    GLuint myDepthStencil = 0; // its depth and stencil renderbuffer
    int myWidth;               // size in pixels
    int myHeight;
    bool myOk = false;         // complete and usable
    std::string myError;       // why not
};

#endif
