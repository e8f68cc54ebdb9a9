// The 4 x 4 matrix of the format library and its free functions.
//
// zvfMatrix holds 16 floats in the order OpenGL returns them (glGetFloatv):
// element (row r, column c) is entry c * 4 + r. Functions return matrices by
// value. No GL is included: pass data() to glLoadMatrixf / glMultMatrixf.
#ifndef ZVF_MATRIX_H
#define ZVF_MATRIX_H

struct zvfVector
{
    float x, y, z;
};

struct zvfMatrix
{
    float m[16];

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    const float* data() const { return m; }
    float* data() { return m; }

    // Determinant by expansion by minors.
    float Determinant() const;
    // Replaces the matrix by its inverse (adjugate / determinant). When
    // |det| < 1e-12: "zvfMatrix::Invert - singular matrix, no inverse!" on
    // standard error, the matrix is left unchanged and false is returned
    // (a singular matrix must not end an interactive program).
    bool Invert();
    // Swaps entries (i, j) and (j, i) in place.
    void Transpose();
};

zvfMatrix zvfMatrixFromFloats(const float values[16]);
zvfMatrix zvfIdentityMatrix();
zvfMatrix zvfZeroMatrix();
// Unit matrix with v in entries 12, 13, 14.
zvfMatrix zvfTranslationMatrix(zvfVector v);
// Diagonal sx, sy, sz, 1.
zvfMatrix zvfScaleMatrix(float sx, float sy, float sz);
// Right-handed rotations (angles in radians).
zvfMatrix zvfRotationXMatrix(float angle);
zvfMatrix zvfRotationYMatrix(float angle);
zvfMatrix zvfRotationZMatrix(float angle);
// Rodrigues rotation about a unit axis.
zvfMatrix zvfAxisRotationMatrix(zvfVector axis, float angle);
// Rotation about x by ax, then about y by ay, then about z by az
// (mathematically Rz * Ry * Rx).
zvfMatrix zvfRotationMatrix(float ax, float ay, float az);
// The three vectors as the first three columns; last row and column unit.
zvfMatrix zvfBasisMatrix(zvfVector a, zvfVector b, zvfVector c);
// The gluLookAt viewing matrix.
zvfMatrix zvfLookAtMatrix(zvfVector eye, zvfVector center, zvfVector up);
// Entry [i*4 + j] = sum over k of A[i*4 + k] * B[k*4 + j]. In the
// column-major reading this is the mathematical product B * A: the result
// applies A first, then B.
zvfMatrix zvfMatrixProduct(const zvfMatrix& a, const zvfMatrix& b);
// The transposed copy.
zvfMatrix zvfTransposed(const zvfMatrix& m);
// Point transform with the homogeneous divide when w differs from 1; sums in
// extended precision, rounded to floats.
zvfVector zvfTransformPoint(const zvfMatrix& m, zvfVector p);

#endif
