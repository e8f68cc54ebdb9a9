#include "picture.h"

#include "frame_target.h"
#include "main_view.h"
#include "offscreen_render.h"
#include "text_overlay.h"

#include <cstring>

std::vector<unsigned char> pictureRows(const unsigned char* bottomUp, int width, int height)
{
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<unsigned char> topDown(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(&topDown[row * static_cast<size_t>(y)], bottomUp + row * static_cast<size_t>(height - 1 - y),
                    row);
    for (size_t i = 3; i < topDown.size(); i += 4)
        topDown[i] = 255;
    return topDown;
}

bool renderPicture(MainView& view, int width, int height, std::vector<unsigned char>* rgba, std::string* error)
{
    std::vector<unsigned char> bottomUp(static_cast<size_t>(width > 0 ? width : 0) *
                                        static_cast<size_t>(height > 0 ? height : 0) * 4);
    if (width == view.width && height == view.height && width > 0 && height > 0) {
        // The view's own size: drawn where the view draws, so the picture is
        // the one on screen to the last pixel (a frame buffer object may
        // break a tie of the line rasteriser the other way).
        const bool text = view.font && view.font->visible;
        if (text)
            view.font->visible = false;
        view.paintCycle();
        if (text)
            view.font->visible = true;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
        *rgba = pictureRows(bottomUp.data(), width, height);
        return true;
    }
    GLint previous = 0;
    GLint drawBuffer = GL_BACK;
    GLint readBuffer = GL_BACK;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    FrameTarget target(width, height);
    if (!target.ok()) {
        if (error)
            *error = target.error();
        return false;
    }
    const int keptWidth = view.width;
    const int keptHeight = view.height;
    const bool text = view.font && view.font->visible;
    if (text)
        view.font->visible = false;
    target.bind();
    view.resize(width, height);
    view.paintCycle();
    target.readPixels(bottomUp.data());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    glDrawBuffer(static_cast<GLenum>(drawBuffer));
    glReadBuffer(static_cast<GLenum>(readBuffer));
    view.resize(keptWidth, keptHeight);
    if (text)
        view.font->visible = true;
    *rgba = pictureRows(bottomUp.data(), width, height);
    return true;
}

bool savePicture(MainView& view, int width, int height, const std::string& path, std::string* error)
{
    std::vector<unsigned char> rgba;
    return renderPicture(view, width, height, &rgba, error) &&
           writePngRGBA(path, rgba.data(), width, height, error);
}
