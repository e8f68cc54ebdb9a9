#include "texture.h"

#include "error_handling.h"
#include "gen_texture.h"
#include "volume.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const double kPi = 3.14159265358979323846;

float tangentOf(int degrees)
{
    return static_cast<float>(std::tan(degrees * kPi / 180.0));
}

} // namespace

TextureTarget::TextureTarget() : tangent(tangentOf(15))
{
    updateReach();
}

TextureTarget::~TextureTarget()
{
    deleteTexture();
}

void TextureTarget::setWindowSize(int w, int h)
{
    windowWidth = w;
    windowHeight = h;
    texWidth = nextPowerOfTwo(w);
    texHeight = nextPowerOfTwo(h);
}

void TextureTarget::setAngle(int degrees)
{
    angle = degrees;
    tangent = tangentOf(degrees);
    updateReach();
}

void TextureTarget::place(float panX, float panY, float distance, float diagonal)
{
    // From behind the volume the projection means nothing: keep the rectangle.
    if (distance <= -1.0f) {
        GLdouble projection[16];
        GLint viewport[4];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        // The camera of the paint cycle, built here so the model-view stack stays untouched.
        GLdouble modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, panX, panY, distance, 1};
        if (!perspective)
            modelview[0] = modelview[5] = modelview[10] = volume.orthoScale;
        const double h = diagonal / 2.0;
        double x0, y0, x1, y1, z;
        gluProject(-h, -h, h, modelview, projection, viewport, &x0, &y0, &z);
        gluProject(h, h, h, modelview, projection, viewport, &x1, &y1, &z);
        setProjected(x0, y0, x1, y1);
    }
    fitRectangle();
    sizeTexture();
}

void TextureTarget::setProjected(double x0, double y0, double x1, double y1)
{
    rectX = static_cast<int>(x0);
    rectY = static_cast<int>(y0);
    rectWidth = static_cast<int>(std::fabs(rectX - x1));
    rectHeight = static_cast<int>(std::fabs(rectY - y1));
    // Larger than the window's power-of-two size: centre that size on the window.
    if (texWidth < rectWidth) {
        rectWidth = texWidth;
        rectX = -(std::abs(texWidth - windowWidth) / 2);
    }
    if (texHeight < rectHeight) {
        rectHeight = texHeight;
        rectY = -(std::abs(texHeight - windowHeight) / 2);
    }
}

void TextureTarget::fitRectangle()
{
    const int w = nextPowerOfTwo(rectWidth);
    const int h = nextPowerOfTwo(rectHeight);
    rectX -= std::abs(w - rectWidth) / 2;
    rectY -= std::abs(h - rectHeight) / 2;
    rectWidth = w;
    rectHeight = h;

    clipX = clipY = 0;
    copyX = rectX;
    copyY = rectY;
    copyWidth = rectWidth;
    copyHeight = rectHeight;
    if (rectX < 0) {
        clipX = -rectX;
        copyX = 0;
    }
    if (rectY < 0) {
        clipY = -rectY;
        copyY = 0;
    }
    if (windowWidth < rectWidth)
        copyWidth = windowWidth;
    if (windowHeight < rectHeight)
        copyHeight = windowHeight;
    // A copy that runs past the texture's edge fails as a whole
    // (GL_INVALID_VALUE), and pixels past the window's edge are undefined.
    copyWidth = std::max(0, std::min({copyWidth, rectWidth - clipX, windowWidth - copyX}));
    copyHeight = std::max(0, std::min({copyHeight, rectHeight - clipY, windowHeight - copyY}));
}

void TextureTarget::sizeTexture()
{
    const bool exists = texture != 0 && glIsTexture(texture);
    if (exists && rectWidth == myAllocatedWidth && rectHeight == myAllocatedHeight) {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    if (exists) {
        glBindTexture(GL_TEXTURE_2D, texture);
        checkGLError("glBindTexture");
    } else {
        glGenTextures(1, &texture);
        checkGLError("glGenTextures");
        glBindTexture(GL_TEXTURE_2D, texture);
        checkGLError("glBindTexture");
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, textureFilter);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, textureFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    myAllocatedWidth = rectWidth;
    myAllocatedHeight = rectHeight;
    const size_t bytes = static_cast<size_t>(rectWidth) * static_cast<size_t>(rectHeight) * 4;
    unsigned char* dummy = nullptr;
    GUARDED_ARRAY_AS(dummy, "dummy", unsigned char, bytes);
    if (dummy)
        std::memset(dummy, 0, bytes);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rectWidth, rectHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, dummy);
    checkGLError("glTexImage2D");
    if (dummy)
        RELEASE_ARRAY(dummy);
    glDisable(GL_TEXTURE_2D);
}

void TextureTarget::setSpans(float x, float y, float z)
{
    spanX = x;
    spanY = y;
    spanZ = z;
}

// Window coordinates (x, y, depth) of the box corners under the current
// model-view, projection and viewport.
static void projectCorners(const float corners[8][3], double window[8][3])
{
    GLdouble modelview[16];
    GLdouble projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (int i = 0; i < 8; ++i)
        gluProject(corners[i][0], corners[i][1], corners[i][2], modelview, projection, viewport,
                   &window[i][0], &window[i][1], &window[i][2]);
}

void TextureTarget::measureBox(const float corners[8][3])
{
    double window[8][3];
    projectCorners(corners, window);
    double flat[8][2];
    for (int i = 0; i < 8; ++i) {
        flat[i][0] = window[i][0];
        flat[i][1] = window[i][1];
    }
    setBoxFromWindow(flat);
}

void TextureTarget::setBoxFromWindow(const double window[8][2])
{
    double lo[2] = {1e20, 1e20};
    double hi[2] = {-1e20, -1e20};
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], window[i][k]);
            hi[k] = std::max(hi[k], window[i][k]);
        }
    boxX = static_cast<int>(lo[0]);
    boxY = static_cast<int>(lo[1]);
    boxWidth = static_cast<int>(hi[0] - lo[0]);
    boxHeight = static_cast<int>(hi[1] - lo[1]);
    // Eye-space depth in the screen's scale; a box of no width has no depth.
    boxDepth = spanX > 0.0f ? static_cast<int>(boxWidth / spanX * spanZ) : 0;
}

void TextureTarget::updateReach()
{
    const int r = static_cast<int>(intensity * tangent * static_cast<float>(boxDepth));
    reach = r;
    // Without passes the decrement is never used; the whole value keeps it finite.
    decrement = r > 0 ? intensity / static_cast<float>(r) : intensity;
    const int m = std::max(boxWidth, boxHeight);
    if (m < reach)
        reach = m;
    if (windowWidth >= reach && windowHeight >= reach)
        return;
    reach = std::max(windowWidth, windowHeight);
}

void TextureTarget::readBack()
{
    intensity = 1.0f;
    // Only pixels inside the window hold anything.
    const int x0 = std::max(boxX, 0);
    const int y0 = std::max(boxY, 0);
    const int w = std::min(boxX + boxWidth, windowWidth) - x0;
    const int h = std::min(boxY + boxHeight, windowHeight) - y0;
    int brightest = 0;
    if (w > 0 && h > 0) {
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        unsigned char* anPixels = nullptr;
        GUARDED_ARRAY_AS(anPixels, "anPixels", unsigned char, n);
        if (anPixels) {
            std::memset(anPixels, 0, n);
            GLint alignment = 4;
            glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(x0, y0, w, h, GL_GREEN, GL_UNSIGNED_BYTE, anPixels);
            checkGLError("glReadPixels");
            glPixelStorei(GL_PACK_ALIGNMENT, alignment);
            brightest = *std::max_element(anPixels, anPixels + n);
            RELEASE_ARRAY(anPixels);
        }
    }
    takeBrightest(brightest);
}

void TextureTarget::takeBrightest(int v)
{
    intensity = 1.0f;
    if (v < 255)
        updateReach();
    intensity = static_cast<float>(v) / 255.0f;
}

void TextureTarget::toTarget(const double window[8][3], float out[8][3]) const
{
    for (int i = 0; i < 8; ++i) {
        out[i][0] = rectWidth > 0 ? static_cast<float>((window[i][0] - rectX) / rectWidth) : 0.0f;
        out[i][1] = rectHeight > 0 ? static_cast<float>((window[i][1] - rectY) / rectHeight) : 0.0f;
        out[i][2] = static_cast<float>(window[i][2]);
    }
}

void TextureTarget::cornerPositions(const float corners[8][3], float out[8][3]) const
{
    double window[8][3];
    projectCorners(corners, window);
    toTarget(window, out);
}

void TextureTarget::drawInspection()
{
    if (!show)
        return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, windowWidth, 0, windowHeight, -1, 1);
    glDisable(GL_TEXTURE_3D);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(80, 0);
    glTexCoord2f(1, 0);
    glVertex2f(230, 0);
    glTexCoord2f(1, 1);
    glVertex2f(230, 150);
    glTexCoord2f(0, 1);
    glVertex2f(80, 150);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_LINE_LOOP);
    glVertex2f(80, 0);
    glVertex2f(230, 0);
    glVertex2f(230, 150);
    glVertex2f(80, 150);
    glEnd();

    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}

void TextureTarget::deleteTexture()
{
    // Never created: no context may be current (tests, start-up failures).
    if (texture == 0)
        return;
    if (glIsTexture(texture)) {
        glDeleteTextures(1, &texture);
        checkGLError("glDeleteTextures");
    }
    texture = 0;
}
