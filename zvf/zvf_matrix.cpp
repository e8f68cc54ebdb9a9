// Matrix and vector functions.
#include "zvf_matrix.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Entry of row r, column c.
inline double at(const float* m, int r, int c) { return m[c * 4 + r]; }

double det3(double a, double b, double c, double d, double e, double f, double g, double h, double i)
{
    // expansion into 2 x 2 determinants
    return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// Signed cofactor of (row r, column c).
double cofactor(const float* m, int r, int c)
{
    double v[9];
    int k = 0;
    for (int rr = 0; rr < 4; ++rr) {
        if (rr == r)
            continue;
        for (int cc = 0; cc < 4; ++cc) {
            if (cc == c)
                continue;
            v[k++] = at(m, rr, cc);
        }
    }
    double d = det3(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    return ((r + c) % 2) ? -d : d;
}

double determinant(const float* m)
{
    double det = 0.0;
    for (int c = 0; c < 4; ++c)
        det += at(m, 0, c) * cofactor(m, 0, c);
    return det;
}

} // namespace

float zvfMatrix::Determinant() const
{
    return static_cast<float>(determinant(m));
}

bool zvfMatrix::Invert()
{
    double det = determinant(m);
    if (!(std::fabs(det) >= 1e-12)) {
        std::fprintf(stderr, "zvfMatrix::Invert - singular matrix, no inverse!\n");
        return false;
    }
    float adj[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            adj[r * 4 + c] = static_cast<float>(cofactor(m, r, c) / det); // (c, r) of the inverse
    std::memcpy(m, adj, sizeof m);
    return true;
}

void zvfMatrix::Transpose()
{
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            float t = m[i * 4 + j];
            m[i * 4 + j] = m[j * 4 + i];
            m[j * 4 + i] = t;
        }
}

zvfMatrix zvfMatrixFromFloats(const float values[16])
{
    zvfMatrix r;
    std::memcpy(r.m, values, sizeof r.m);
    return r;
}

zvfMatrix zvfZeroMatrix()
{
    zvfMatrix r;
    for (float& v : r.m)
        v = 0.0f;
    return r;
}

zvfMatrix zvfIdentityMatrix()
{
    zvfMatrix r = zvfZeroMatrix();
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
    return r;
}

zvfMatrix zvfTranslationMatrix(zvfVector v)
{
    zvfMatrix r = zvfIdentityMatrix();
    r.m[12] = v.x;
    r.m[13] = v.y;
    r.m[14] = v.z;
    return r;
}

zvfMatrix zvfScaleMatrix(float sx, float sy, float sz)
{
    zvfMatrix r = zvfIdentityMatrix();
    r.m[0] = sx;
    r.m[5] = sy;
    r.m[10] = sz;
    return r;
}

zvfMatrix zvfRotationXMatrix(float angle)
{
    zvfMatrix r = zvfIdentityMatrix();
    float c = std::cos(angle), s = std::sin(angle);
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    return r;
}

zvfMatrix zvfRotationYMatrix(float angle)
{
    zvfMatrix r = zvfIdentityMatrix();
    float c = std::cos(angle), s = std::sin(angle);
    r.m[0] = c;
    r.m[2] = -s;
    r.m[8] = s;
    r.m[10] = c;
    return r;
}

zvfMatrix zvfRotationZMatrix(float angle)
{
    zvfMatrix r = zvfIdentityMatrix();
    float c = std::cos(angle), s = std::sin(angle);
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

zvfMatrix zvfAxisRotationMatrix(zvfVector a, float angle)
{
    zvfMatrix r = zvfIdentityMatrix();
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    // column-major: m[col * 4 + row]
    r.m[0] = t * a.x * a.x + c;
    r.m[1] = t * a.x * a.y + s * a.z;
    r.m[2] = t * a.x * a.z - s * a.y;
    r.m[4] = t * a.x * a.y - s * a.z;
    r.m[5] = t * a.y * a.y + c;
    r.m[6] = t * a.y * a.z + s * a.x;
    r.m[8] = t * a.x * a.z + s * a.y;
    r.m[9] = t * a.y * a.z - s * a.x;
    r.m[10] = t * a.z * a.z + c;
    return r;
}

zvfMatrix zvfRotationMatrix(float ax, float ay, float az)
{
    return zvfMatrixProduct(zvfMatrixProduct(zvfRotationXMatrix(ax), zvfRotationYMatrix(ay)),
                            zvfRotationZMatrix(az));
}

zvfMatrix zvfBasisMatrix(zvfVector a, zvfVector b, zvfVector c)
{
    zvfMatrix r = zvfIdentityMatrix();
    r.m[0] = a.x;
    r.m[1] = a.y;
    r.m[2] = a.z;
    r.m[4] = b.x;
    r.m[5] = b.y;
    r.m[6] = b.z;
    r.m[8] = c.x;
    r.m[9] = c.y;
    r.m[10] = c.z;
    return r;
}

zvfMatrix zvfLookAtMatrix(zvfVector eye, zvfVector center, zvfVector up)
{
    auto normalize = [](zvfVector v) {
        float n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return n > 0.0f ? zvfVector{v.x / n, v.y / n, v.z / n} : v;
    };
    auto cross = [](zvfVector a, zvfVector b) {
        return zvfVector{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    zvfVector f = normalize({center.x - eye.x, center.y - eye.y, center.z - eye.z});
    zvfVector s = normalize(cross(f, normalize(up)));
    zvfVector u = cross(s, f);
    zvfMatrix r = zvfIdentityMatrix();
    // rows s, u, -f
    r.m[0] = s.x;
    r.m[4] = s.y;
    r.m[8] = s.z;
    r.m[1] = u.x;
    r.m[5] = u.y;
    r.m[9] = u.z;
    r.m[2] = -f.x;
    r.m[6] = -f.y;
    r.m[10] = -f.z;
    r.m[12] = -(s.x * eye.x + s.y * eye.y + s.z * eye.z);
    r.m[13] = -(u.x * eye.x + u.y * eye.y + u.z * eye.z);
    r.m[14] = f.x * eye.x + f.y * eye.y + f.z * eye.z;
    return r;
}

zvfMatrix zvfMatrixProduct(const zvfMatrix& a, const zvfMatrix& b)
{
    zvfMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.m[i * 4 + k]) * b.m[k * 4 + j];
            r.m[i * 4 + j] = static_cast<float>(sum);
        }
    return r;
}

zvfMatrix zvfTransposed(const zvfMatrix& m)
{
    zvfMatrix r = m;
    r.Transpose();
    return r;
}

zvfVector zvfTransformPoint(const zvfMatrix& m, zvfVector p)
{
    const long double x = p.x, y = p.y, z = p.z;
    long double xp = x * m.m[0] + y * m.m[4] + z * m.m[8] + m.m[12];
    long double yp = x * m.m[1] + y * m.m[5] + z * m.m[9] + m.m[13];
    long double zp = x * m.m[2] + y * m.m[6] + z * m.m[10] + m.m[14];
    long double w = x * m.m[3] + y * m.m[7] + z * m.m[11] + m.m[15];
    if (w != 1.0L) {
        xp /= w;
        yp /= w;
        zp /= w;
    }
    return zvfVector{static_cast<float>(xp), static_cast<float>(yp), static_cast<float>(zp)};
}
