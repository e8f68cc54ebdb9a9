// Header utilities and matrices of the format library.
#include "test_zvf_helpers.h"

#include <cmath>

using namespace zvftest;

TEST(ZvfDupHeader, RectXYZCopyOutlivesItsSource)
{
    zvfHeader src = zvfCubicHeader(2, 3, 1, zvfUChar, 1);
    src.vtype = zvfRectXYZ;
    src.rx = static_cast<float*>(std::calloc(2, sizeof(float)));
    src.ry = static_cast<float*>(std::calloc(3, sizeof(float)));
    src.rz = static_cast<float*>(std::calloc(1, sizeof(float)));
    src.rx[1] = 2.5f;
    src.ry[2] = 3.5f;
    src.rz[0] = 4.5f;
    ASSERT_TRUE(zvfAddHdrComment(&src, "c"));
    ASSERT_TRUE(zvfAddHdrTF(&src, "1", "2", "3", "4", "5"));
    zvfHeader dst = cleared();
    ASSERT_EQ(zvfDupHeader(&dst, &src), &dst);
    EXPECT_NE(dst.rx, src.rx);
    EXPECT_NE(dst.comments, src.comments);
    EXPECT_EQ(dst.tfdata, src.tfdata); // shared, not copied
    zvfFreeHeader(&src);
    EXPECT_EQ(dst.rx[1], 2.5f);
    EXPECT_EQ(dst.ry[2], 3.5f);
    EXPECT_EQ(dst.rz[0], 4.5f);
    EXPECT_STREQ(dst.comments[0], "c");
    zvfFreeHeader(&dst);
    zvfFreeHdrTF(&src);
}

TEST(ZvfDupHeader, CubicAndRectZ)
{
    zvfHeader src = zvfCubicHeader(2, 3, 2, zvfUChar, 1);
    float bogus[2] = {1, 1};
    src.rx = bogus; // not a rectilinear grid: the copy has no arrays
    zvfHeader dst = cleared();
    ASSERT_EQ(zvfDupHeader(&dst, &src), &dst);
    EXPECT_EQ(dst.rx, nullptr);
    EXPECT_EQ(dst.ry, nullptr);
    EXPECT_EQ(dst.rz, nullptr);
    EXPECT_EQ(dst.vdim[1], 3);
    src.rx = nullptr;
    src.vtype = zvfRectZ;
    src.rz = bogus;
    ASSERT_EQ(zvfDupHeader(&dst, &src), &dst);
    ASSERT_NE(dst.rz, nullptr);
    EXPECT_NE(dst.rz, bogus);
    EXPECT_EQ(dst.rz[1], 1.0f);
    EXPECT_EQ(dst.rx, nullptr);
    zvfFreeHeader(&dst);
}

TEST(ZvfTransferFunctions, AddAndDelete)
{
    zvfHeader h = zvfCubicHeader(1, 1, 1, zvfUChar, 1);
    for (int k = 0; k < 3; ++k) {
        std::string s = std::to_string(k);
        ASSERT_TRUE(zvfAddHdrTF(&h, ("d" + s).c_str(), ("r" + s).c_str(), ("g" + s).c_str(),
                                ("b" + s).c_str(), ("a" + s).c_str()));
    }
    ASSERT_EQ(h.tfnum, 3);
    ASSERT_EQ(zvfDelHdrTF(&h, 0), 1);
    ASSERT_EQ(h.tfnum, 2);
    const char* expect[10] = {"d1", "r1", "g1", "b1", "a1", "d2", "r2", "g2", "b2", "a2"};
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(h.tfdata[i], expect[i]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zvfDelHdrTF(&h, 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfDelHdrTF: Incorrect TF number\n");
    EXPECT_EQ(h.tfnum, 2);
    ASSERT_EQ(zvfDelHdrTF(&h, 1), 1);
    EXPECT_STREQ(h.tfdata[4], "a1");
    ASSERT_EQ(zvfDelHdrTF(&h, 0), 1);
    EXPECT_EQ(h.tfnum, 0);
    EXPECT_EQ(h.tfdata, nullptr);
    // the header writes no "#!tfnum" line any more
    unsigned char icon = 0;
    std::string bytes = writeToString([&](FILE* f) { writeZvfHeader(f, &h, &icon, 1, 1); });
    EXPECT_EQ(bytes.find("#!tfnum"), std::string::npos);
}

// ---- matrices ---------------------------------------------------------------

namespace {
void expectNear(const zvfMatrix& a, const zvfMatrix& b, float eps = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], eps) << "entry " << i;
}
} // namespace

TEST(ZvfMatrix, TranslationTimesIdentityMovesTheOrigin)
{
    zvfMatrix t = zvfTranslationMatrix({1, 2, 3});
    EXPECT_EQ(t[12], 1.0f);
    EXPECT_EQ(t[13], 2.0f);
    EXPECT_EQ(t[14], 3.0f);
    zvfVector p = zvfTransformPoint(zvfMatrixProduct(t, zvfIdentityMatrix()), {0, 0, 0});
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
    p = zvfTransformPoint(zvfMatrixProduct(zvfIdentityMatrix(), t), {1, 1, 1});
    EXPECT_EQ(p.x, 2.0f);
    EXPECT_EQ(p.z, 4.0f);
}

TEST(ZvfMatrix, ProductIsRowMajorAndAppliesTheLeftFactorFirst)
{
    zvfMatrix a, b;
    for (int i = 0; i < 16; ++i) {
        a[i] = static_cast<float>(i + 1);
        b[i] = static_cast<float>((i * 7) % 5 - 2);
    }
    zvfMatrix c = zvfMatrixProduct(a, b);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[i * 4 + k] * b[k * 4 + j];
            EXPECT_EQ(c[i * 4 + j], s);
        }
    // product(A, B) applies A first: scale then translate
    zvfMatrix st = zvfMatrixProduct(zvfScaleMatrix(2, 2, 2), zvfTranslationMatrix({1, 0, 0}));
    zvfVector p = zvfTransformPoint(st, {1, 1, 1});
    EXPECT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.y, 2.0f);
}

TEST(ZvfMatrix, RotationsAreRightHanded)
{
    const float h = 1.5707963267948966f;
    zvfVector p = zvfTransformPoint(zvfRotationZMatrix(h), {1, 0, 0});
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, 1, 1e-6);
    p = zvfTransformPoint(zvfRotationXMatrix(h), {0, 1, 0});
    EXPECT_NEAR(p.z, 1, 1e-6);
    p = zvfTransformPoint(zvfRotationYMatrix(h), {0, 0, 1});
    EXPECT_NEAR(p.x, 1, 1e-6);
    expectNear(zvfAxisRotationMatrix({0, 0, 1}, 0.7f), zvfRotationZMatrix(0.7f));
    expectNear(zvfAxisRotationMatrix({1, 0, 0}, -0.3f), zvfRotationXMatrix(-0.3f));
    expectNear(zvfRotationMatrix(0.2f, 0, 0), zvfRotationXMatrix(0.2f));
    expectNear(zvfRotationMatrix(0.2f, 0.3f, 0.4f),
               zvfMatrixProduct(zvfMatrixProduct(zvfRotationXMatrix(0.2f), zvfRotationYMatrix(0.3f)),
                                zvfRotationZMatrix(0.4f)));
}

TEST(ZvfMatrix, InvertingARotationGivesItsTranspose)
{
    zvfMatrix r = zvfAxisRotationMatrix({0.48f, 0.6f, 0.64f}, 0.9f);
    zvfMatrix inv = r;
    ASSERT_TRUE(inv.Invert());
    expectNear(inv, zvfTransposed(r));
    zvfMatrix m = zvfMatrixProduct(zvfMatrixProduct(zvfScaleMatrix(2, 3, 4), r), zvfTranslationMatrix({1, -2, 5}));
    zvfMatrix mi = m;
    ASSERT_TRUE(mi.Invert());
    expectNear(zvfMatrixProduct(m, mi), zvfIdentityMatrix());
    EXPECT_NEAR(zvfScaleMatrix(2, 3, 4).Determinant(), 24.0f, 1e-5);
}

TEST(ZvfMatrix, SingularMatrixIsReportedAndLeftUnchanged)
{
    zvfMatrix m = zvfScaleMatrix(1e-13f, 1, 1);
    zvfMatrix before = m;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m.Invert());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "zvfMatrix::Invert - singular matrix, no inverse!\n");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], before[i]);
    zvfMatrix z = zvfZeroMatrix();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(z.Invert());
    testing::internal::GetCapturedStderr();
    zvfMatrix ok = zvfScaleMatrix(2e-4f, 1e-4f, 1e-4f); // det 2e-12: invertible
    EXPECT_TRUE(ok.Invert());
}

TEST(ZvfMatrix, TransformDividesByW)
{
    zvfMatrix m = zvfIdentityMatrix();
    m[15] = 2.0f;
    zvfVector p = zvfTransformPoint(m, {2, 4, 6});
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
    zvfMatrix t = zvfIdentityMatrix();
    t[3] = 1.0f; // w = x + 1
    p = zvfTransformPoint(t, {1, 2, 3});
    EXPECT_EQ(p.x, 0.5f);
}

TEST(ZvfMatrix, BasisLookAtAndTranspose)
{
    zvfMatrix b = zvfBasisMatrix({1, 2, 3}, {4, 5, 6}, {7, 8, 9});
    EXPECT_EQ(b[0], 1.0f);
    EXPECT_EQ(b[6], 6.0f);
    EXPECT_EQ(b[10], 9.0f);
    EXPECT_EQ(b[15], 1.0f);
    zvfMatrix t = b;
    t.Transpose();
    EXPECT_EQ(t[2], 7.0f);
    EXPECT_EQ(t[8], 3.0f);
    zvfMatrix l = zvfLookAtMatrix({0, 0, 5}, {0, 0, 0}, {0, 1, 0});
    zvfVector p = zvfTransformPoint(l, {0, 0, 0});
    EXPECT_NEAR(p.z, -5.0f, 1e-6);
    expectNear(zvfMatrixFromFloats(b.data()), b, 0);
}
