#include "offscreen_render.h"

#include "brick_stream.h"
#include "gl_context.h"
#include "load.h"
#include "main_view.h"
#include "my_cg.h"
#include "picture.h"
#include "plane.h"
#include "render_mode.h"
#include "running_settings.h"
#include "text_overlay.h"
#include "transfer_function.h"
#include "volume.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

bool viewPresetRotation(const std::string& name, float out[16])
{
    if (name == "front")
        matIdentity(out);
    else if (name == "back")
        matRotation(180.0f, 0, 1, 0, out);
    else if (name == "left")
        matRotation(90.0f, 0, 1, 0, out);
    else if (name == "right")
        matRotation(-90.0f, 0, 1, 0, out);
    else if (name == "top")
        matRotation(90.0f, 1, 0, 0, out);
    else if (name == "bottom")
        matRotation(-90.0f, 1, 0, 0, out);
    else
        return false;
    return true;
}

OffscreenRenderer::OffscreenRenderer(int width, int height, const std::string& cgDirectory,
                                     ViewerObserver& observer)
    : myViewer(observer), myDataInfo("No data loaded."), myWidth(width), myHeight(height)
{
    if (width < 1 || height < 1) {
        myError = "The picture needs at least one pixel on each side.";
        return;
    }
    myContext.reset(new OffscreenContext(width, height));
    if (!myContext->ok()) {
        myError = myContext->error();
        return;
    }
    setCgProgramDirectory(cgDirectory.c_str());
    myView.reset(new MainView);
    myView->width = width;
    myView->height = height;
    myView->setupGL();
    if (myView->font)
        myView->font->visible = false;
    // Pictures carry the overlays only when asked for.
    myView->overlay.markerVisible = false;
    myView->overlay.colourBarVisible = false;
    myView->resize(width, height);
    myViewer.setView(myView.get());
    myOk = true;
}

OffscreenRenderer::~OffscreenRenderer()
{
    if (!myContext || !myContext->ok())
        return;
    myContext->makeCurrent();
    volume.release();
    clipPlanes.release();
    if (myView)
        myView->releaseGL();
    myView.reset();
    myContext.reset();
}

bool OffscreenRenderer::setView(const std::string& preset, float ax, float ay)
{
    float r[16];
    if (!viewPresetRotation(preset, r))
        return false;
    // Turned as a drag turns it: about the screen's y axis, then its x axis.
    float turnY[16];
    float turnX[16];
    matRotation(ay, 0, 1, 0, turnY);
    matRotation(ax, 1, 0, 0, turnX);
    matMultiply(turnY, r, r);
    matMultiply(turnX, r, r);
    std::memcpy(volume.rotation, r, sizeof r);
    return true;
}

void OffscreenRenderer::renderFrame()
{
    myView->rotX = myView->rotY = 0;
    myView->paintCycle();
}

std::vector<unsigned char> OffscreenRenderer::pixels() const
{
    std::vector<unsigned char> bottomUp(static_cast<size_t>(myWidth) * 4 * static_cast<size_t>(myHeight));
    myContext->readPixels(bottomUp.data());
    return pictureRows(bottomUp.data(), myWidth, myHeight);
}

double OffscreenRenderer::meanFrameMillis(int frames)
{
    renderFrame(); // programs and textures reach the driver here
    if (frames < 1)
        return 0.0;
    const double start = monotonicMillis();
    for (int i = 0; i < frames; ++i)
        renderFrame();
    glFinish();
    return (monotonicMillis() - start) / frames;
}

double OffscreenRenderer::meanDragFrameMillis(int frames)
{
    volume.interacting = true;
    renderFrame();
    BrickStream* stream = myViewer.pyramidStream();
    const bool waiting = stream && stream->waiting();
    if (stream)
        stream->setWaiting(false);
    double millis = 0.0;
    if (frames > 0) {
        const double start = monotonicMillis();
        for (int i = 0; i < frames; ++i) {
            myView->rotX = 0;
            myView->rotY = 2;
            myView->paintCycle();
        }
        glFinish();
        millis = (monotonicMillis() - start) / frames;
    }
    myView->rotX = myView->rotY = 0;
    if (stream)
        stream->setWaiting(waiting);
    volume.interacting = false;
    return millis;
}

// ---- PNG ----

bool writePngRGBA(const std::string& path, const unsigned char* rgba, int width, int height,
                  std::string* error)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error)
            *error = "Cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        if (error)
            *error = "Cannot write " + path + ": out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        if (error)
            *error = "Cannot write " + path;
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(f) == 0;
    if (!closed && error)
        *error = "Cannot write " + path;
    return closed;
}

bool readPngRGBA(const std::string& path, std::vector<unsigned char>* rgba, int* width, int* height)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return true;
}
