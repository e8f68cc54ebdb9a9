#include "plane.h"

#include "error_handling.h"
#include "mat4.h"
#include "volume.h"

#include <cmath>
#include <cstring>

ClipPlaneSet clipPlanes;

void loadCameraTransform()
{
    float camera[16];
    cameraMatrix(volume.perspective, volume.pan, volume.distance, volume.orthoScale, camera);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera);
}

// ---- ClipPlane ----

ClipPlane::ClipPlane(const float matrix_[16])
    : corners{{-0.6f, 0, -0.6f}, {0.6f, 0, -0.6f}, {0.6f, 0, 0.6f}, {-0.6f, 0, 0.6f}},
      visible(true), rotating(false), translating(false), equation{0, 1, 0, 0}, offset(0)
{
    std::memcpy(matrix, matrix_, sizeof matrix);
}

void ClipPlane::invert()
{
    equation[1] = equation[1] == 1.0 ? -1.0 : 1.0;
    equation[3] = -equation[3];
}

void ClipPlane::translate(float delta)
{
    offset += delta;
    equation[3] = equation[1] == 1.0 ? -offset : offset;
    for (float* c : corners)
        c[1] = offset;
}

void ClipPlane::draw(float shift)
{
    if (translating)
        translate(shift);
    loadCameraTransform();
    glMultMatrixf(matrix);
    if (visible) {
        glColor3f(1, 0, 0);
        glBegin(GL_LINE_LOOP);
        for (const float* c : corners)
            glVertex3fv(c);
        glEnd();
    }
}

// ---- ClipPlaneSet ----

ClipPlaneSet::ClipPlaneSet()
    : count(0), maximum(kSlots), pole{}, clipplane(nullptr), rotatingCount(0),
      translatingCount(0)
{
}

ClipPlaneSet::~ClipPlaneSet()
{
    // Static destruction: no context any more, only memory.
    for (ClipPlane*& p : pole) {
        delete p;
        p = nullptr;
    }
    delete[] clipplane;
}

void ClipPlaneSet::initialise()
{
    GLint available = 0;
    glGetIntegerv(GL_MAX_CLIP_PLANES, &available);
    if (clipplane)
        RELEASE_ARRAY(clipplane);
    // Six slots are always addressed, whatever the driver reports.
    GUARDED_ARRAY_AS(clipplane, "clipplane", GLenum, available > kSlots ? available : kSlots);
    maximum = kSlots;
    if (clipplane)
        for (int i = 0; i < kSlots; ++i)
            clipplane[i] = GL_CLIP_PLANE0 + i;
}

void ClipPlaneSet::release()
{
    if (clipplane)
        RELEASE_ARRAY(clipplane);
}

ClipPlane* ClipPlaneSet::plane(int number) const
{
    if (number < 1 || number > maximum || number > kSlots)
        return nullptr;
    return pole[number - 1];
}

int ClipPlaneSet::add(const float matrix[16])
{
    if (count >= maximum)
        return -1;
    for (int i = 0; i < maximum && i < kSlots; ++i) {
        if (pole[i])
            continue;
        ClipPlane* created = nullptr;
        GUARDED_NEW_AS(created, "pole[i]", ClipPlane, matrix);
        if (!created)
            return -1;
        pole[i] = created;
        ++count;
        return i;
    }
    return -1;
}

int ClipPlaneSet::addInBoxFrame(const float plane[4], const float rotation[16])
{
    const float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (!(length > 0.0f) || !std::isfinite(length) || !std::isfinite(plane[3]))
        return -1;
    float frame[16];
    planeFrame(plane, frame);
    float matrix[16];
    matMultiply(rotation, frame, matrix);
    const int index = add(matrix);
    if (index < 0)
        return -1;
    ClipPlane* p = pole[index];
    p->visible = false;
    // y + d / |n| >= 0 in the plane's frame.
    p->translate(-plane[3] / length);
    return index;
}

void planeFrame(const float normal[3], float out[16])
{
    const float length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    const float y[3] = {normal[0] / length, normal[1] / length, normal[2] / length};
    // x: across the normal, from the axis it leans on least.
    int least = 0;
    for (int a = 1; a < 3; ++a)
        if (std::fabs(y[a]) < std::fabs(y[least]))
            least = a;
    float axis[3] = {0.0f, 0.0f, 0.0f};
    axis[least] = 1.0f;
    float x[3] = {y[1] * axis[2] - y[2] * axis[1], y[2] * axis[0] - y[0] * axis[2], y[0] * axis[1] - y[1] * axis[0]};
    const float xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (float& v : x)
        v /= xl;
    const float z[3] = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
    for (int r = 0; r < 3; ++r) {
        out[r] = x[r];
        out[4 + r] = y[r];
        out[8 + r] = z[r];
        out[12 + r] = 0.0f;
    }
    out[3] = out[7] = out[11] = 0.0f;
    out[15] = 1.0f;
}

void ClipPlaneSet::del(int number)
{
    if (number < 1 || number > maximum || number > kSlots)
        return;
    disableAll();
    ClipPlane*& p = pole[number - 1];
    if (p) {
        forgetModes(*p);
        RELEASE(p);
        --count;
    }
    applyAll();
}

void ClipPlaneSet::forgetModes(const ClipPlane& p)
{
    if (p.rotating)
        --rotatingCount;
    if (p.translating)
        --translatingCount;
}

void ClipPlaneSet::invert(int number)
{
    if (ClipPlane* p = plane(number)) {
        p->invert();
        apply(number);
    }
}

void ClipPlaneSet::setMatrix(const float matrix[16], int number)
{
    if (ClipPlane* p = plane(number)) {
        std::memcpy(p->matrix, matrix, sizeof p->matrix);
        apply(number);
    }
}

void ClipPlaneSet::setMatrixAll(const float matrix[16])
{
    for (int n = 1; n <= kSlots; ++n)
        setMatrix(matrix, n);
}

void ClipPlaneSet::rotate(const float R[16])
{
    const bool all = rotatingCount == 0 && translatingCount == 0;
    for (ClipPlane* p : pole)
        if (p && (p->rotating || all))
            matMultiply(R, p->matrix, p->matrix);
}

void ClipPlaneSet::removeAll()
{
    disableAll();
    for (ClipPlane*& p : pole)
        if (p)
            RELEASE(p);
    count = 0;
    rotatingCount = 0;
    translatingCount = 0;
}

void ClipPlaneSet::applyAll()
{
    if (!clipplane)
        return;
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < kSlots; ++i) {
        if (!pole[i])
            continue;
        loadCameraTransform();
        glMultMatrixf(pole[i]->matrix);
        glClipPlane(clipplane[i], pole[i]->equation);
        glEnable(clipplane[i]);
    }
}

void ClipPlaneSet::apply(int number)
{
    ClipPlane* p = plane(number);
    if (!clipplane || !p)
        return;
    glClipPlane(clipplane[number - 1], p->equation);
    glEnable(clipplane[number - 1]);
}

void ClipPlaneSet::disableAll()
{
    if (!clipplane)
        return;
    for (int i = 0; i < kSlots; ++i)
        glDisable(clipplane[i]);
}

void ClipPlaneSet::disable(int number)
{
    if (!clipplane || number < 1 || number > kSlots)
        return;
    glDisable(clipplane[number - 1]);
}

void ClipPlaneSet::drawAll(float shift)
{
    glLineStipple(1, 0x1E);
    glEnable(GL_LINE_STIPPLE);
    for (ClipPlane* p : pole)
        if (p)
            p->draw(shift);
    glDisable(GL_LINE_STIPPLE);
}

bool ClipPlaneSet::toggleRotating(int number)
{
    ClipPlane* p = plane(number);
    if (!p)
        return false;
    p->rotating = !p->rotating;
    rotatingCount += p->rotating ? 1 : -1;
    return p->rotating;
}

bool ClipPlaneSet::toggleTranslating(int number)
{
    ClipPlane* p = plane(number);
    if (!p)
        return false;
    p->translating = !p->translating;
    translatingCount += p->translating ? 1 : -1;
    return p->translating;
}
