// An offscreen OpenGL context (EGL, compatibility profile) for tests and tools.
#ifndef GLIMRA_GL_CONTEXT_H
#define GLIMRA_GL_CONTEXT_H

#include "frame_target.h"
#include "includegl.h"

#include <memory>
#include <string>

class OffscreenContext
{
public:
    // Creates a width x height RGBA8 colour target with depth 24 and stencil 8
    // and makes the context current; ok() tells whether that worked.
    OffscreenContext(int width, int height);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    bool ok() const { return myOk; }
    const std::string& error() const { return myError; }
    bool makeCurrent();
    int width() const { return myWidth; }
    int height() const { return myHeight; }
    // Reads the colour target back, RGBA8, bottom row first.
    void readPixels(unsigned char* rgba) const;

private:
    bool init();

    void* myDisplay = nullptr;  // EGLDisplay
    void* myContext = nullptr;  // EGLContext
    void* mySurface = nullptr;  // EGLSurface (pbuffer) or null when surfaceless
    std::unique_ptr<FrameTarget> myTarget; // the colour target when surfaceless
    int myWidth;                // target size in pixels
    int myHeight;
    bool myOk = false;          // the context is usable
    std::string myError;        // why it is not
};

#endif
