#include "gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <cstring>

OffscreenContext::OffscreenContext(int width, int height) : myWidth(width), myHeight(height)
{
    myOk = init();
}

bool OffscreenContext::init()
{
    EGLDisplay display = EGL_NO_DISPLAY;
    // The surfaceless platform needs no X server; fall back to the default display.
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (getPlatformDisplay && clientExt && std::strstr(clientExt, "EGL_MESA_platform_surfaceless"))
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        myError = "no EGL display";
        return false;
    }
    myDisplay = display;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        myError = "EGL has no desktop OpenGL";
        return false;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8,
                                    EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                    EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 8,
                                    EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    const bool haveConfig = eglChooseConfig(display, configAttribs, &config, 1, &count) && count > 0;
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, haveConfig ? config : EGL_NO_CONFIG_KHR,
                                          EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) {
        myError = "eglCreateContext failed";
        return false;
    }
    myContext = context;
    if (haveConfig) {
        const EGLint pbufferAttribs[] = {EGL_WIDTH, myWidth, EGL_HEIGHT, myHeight, EGL_NONE};
        EGLSurface surface = eglCreatePbufferSurface(display, config, pbufferAttribs);
        if (surface != EGL_NO_SURFACE)
            mySurface = surface;
    }
    if (!makeCurrent()) {
        myError = "eglMakeCurrent failed";
        return false;
    }
    if (!mySurface) {
        // Surfaceless: draw into a frame buffer object of our own.
        myTarget.reset(new FrameTarget(myWidth, myHeight));
        if (!myTarget->ok()) {
            myError = "offscreen framebuffer incomplete";
            return false;
        }
        myTarget->bind();
    }
    glViewport(0, 0, myWidth, myHeight);
    return true;
}

bool OffscreenContext::makeCurrent()
{
    if (!myContext)
        return false;
    EGLSurface surface = mySurface ? static_cast<EGLSurface>(mySurface) : EGL_NO_SURFACE;
    if (!eglMakeCurrent(static_cast<EGLDisplay>(myDisplay), surface, surface,
                        static_cast<EGLContext>(myContext)))
        return false;
    if (myTarget)
        myTarget->bind();
    return true;
}

void OffscreenContext::readPixels(unsigned char* rgba) const
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, myWidth, myHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

OffscreenContext::~OffscreenContext()
{
    if (!myDisplay)
        return;
    EGLDisplay display = static_cast<EGLDisplay>(myDisplay);
    if (myContext && makeCurrent() && myTarget) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        myTarget.reset();
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (mySurface)
        eglDestroySurface(display, static_cast<EGLSurface>(mySurface));
    if (myContext)
        eglDestroyContext(display, static_cast<EGLContext>(myContext));
}
