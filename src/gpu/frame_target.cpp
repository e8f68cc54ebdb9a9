#include "frame_target.h"

#include <algorithm>

FrameTarget::FrameTarget(int width, int height) : myWidth(width), myHeight(height)
{
    if (width < 1 || height < 1 || width > largestSide() || height > largestSide()) {
        myError = "A picture of " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels is beyond this graphics driver (at most " + std::to_string(largestSide()) +
                  " on each side).";
        return;
    }
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGenFramebuffers(1, &myFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, myFramebuffer);
    glGenRenderbuffers(1, &myColor);
    glBindRenderbuffer(GL_RENDERBUFFER, myColor);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, myColor);
    glGenRenderbuffers(1, &myDepthStencil);
    glBindRenderbuffer(GL_RENDERBUFFER, myDepthStencil);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, myDepthStencil);
    myOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!myOk)
        myError = "The graphics driver cannot make a frame buffer of " + std::to_string(width) + " x " +
                  std::to_string(height) + " pixels.";
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
}

FrameTarget::~FrameTarget()
{
    if (myFramebuffer)
        glDeleteFramebuffers(1, &myFramebuffer);
    if (myColor)
        glDeleteRenderbuffers(1, &myColor);
    if (myDepthStencil)
        glDeleteRenderbuffers(1, &myDepthStencil);
}

void FrameTarget::bind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, myFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void FrameTarget::readPixels(unsigned char* rgba) const
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, myWidth, myHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

int FrameTarget::largestSide()
{
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::max(0, std::min({static_cast<int>(renderbuffer), static_cast<int>(viewport[0]),
                                 static_cast<int>(viewport[1])}));
}
