// Column-major 4 x 4 float matrices as OpenGL stores them: the camera, the
// clip planes and the shader layer's tracked matrices share these.
#ifndef GLIMRA_MAT4_H
#define GLIMRA_MAT4_H

void matIdentity(float m[16]);
// out = a x b; out may be a or b.
void matMultiply(const float a[16], const float b[16], float out[16]);
// out = the transpose of m; out may be m.
void matTranspose(const float m[16], float out[16]);
// The matrix glRotatef(angle, x, y, z) multiplies with (angle in degrees).
void matRotation(float angleDegrees, float x, float y, float z, float out[16]);
// out = the inverse of m, in double precision; false (out = m) when m is
// singular. out may be m.
bool matInvert(const float m[16], float out[16]);
// m applied to the point p (w = 1).
void matTransformPoint(const float m[16], const float p[3], float out[3]);

// The camera part of the model-view matrix: a translation by (pan, distance)
// with perspective; (pan, 0) and a uniform scale by orthoScale without.
void cameraMatrix(bool perspective, const float pan[2], float distance, float orthoScale,
                  float out[16]);

#endif
