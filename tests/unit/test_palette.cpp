// Palette and lookup-table files: exact bytes, reading back, refusals and
// the repair of damaged point lists.
#include "error_handling.h"
#include "render_mode.h"
#include "test_support.h"
#include "transfer_function.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using testsupport::TempDir;

namespace {

class PaletteFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClass = RenderMode::instance().getClassification();
        savedCorrection = volume.alphaCorrection;
        volume.alphaCorrection = false;
    }
    void TearDown() override
    {
        RenderMode::instance().setClassification(savedClass);
        volume.alphaCorrection = savedCorrection;
        transfer = nullptr;
    }

    // The default table as a lookup-table file, written independently.
    static std::string lookupTableOfRamp(int n)
    {
        std::string s;
        char line[64];
        for (int i = 0; i < n; ++i) {
            const double v = (n == 256 ? i : static_cast<int>(i * (255.0f / (n - 1)))) / 255.0;
            std::snprintf(line, sizeof line, "%f, %f, %f, %f\r\n", v, v, v, v);
            s += line;
        }
        return s;
    }

    static void expectInvariants(const Curve& c)
    {
        ASSERT_GE(c.getCount(), 2);
        const CurvePoint* p = c.points();
        EXPECT_EQ(p[0].x, 0.0f);
        EXPECT_EQ(p[c.getCount() - 1].x, static_cast<float>(c.getSize() - 1));
        for (int k = 0; k < c.getCount(); ++k) {
            EXPECT_GE(p[k].y, 0.0f);
            EXPECT_LE(p[k].y, 255.0f);
            if (k > 0) {
                EXPECT_LE(p[k - 1].x, p[k].x);
            }
        }
    }

    int savedClass = 1;
    bool savedCorrection = false;
    TempDir dir;
};

const char kDefaultPal[] = "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n"
                           "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n"
                           "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n"
                           "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n";

TEST_F(PaletteFiles, NamesEndingInDotPalArePalettes)
{
    EXPECT_TRUE(TransferFunction::isPaletteName("a.pal"));
    EXPECT_TRUE(TransferFunction::isPaletteName(".pal"));
    EXPECT_TRUE(TransferFunction::isPaletteName("/x/y.txt.pal"));
    EXPECT_FALSE(TransferFunction::isPaletteName("a.PAL"));
    EXPECT_FALSE(TransferFunction::isPaletteName("a.Pal"));
    EXPECT_FALSE(TransferFunction::isPaletteName("a.txt"));
    EXPECT_FALSE(TransferFunction::isPaletteName("pal"));
    EXPECT_FALSE(TransferFunction::isPaletteName("a.pal "));
    EXPECT_FALSE(TransferFunction::isPaletteName(""));
}

TEST_F(PaletteFiles, DefaultTransferFunctionAsPaletteFile)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    const std::string path = dir.file("default.pal");
    ASSERT_TRUE(tf.writeFile(path));
    EXPECT_EQ(testsupport::readFile(path), std::string(kDefaultPal));
    // The same at 4096 entries.
    TransferFunction big(4096, TransferFunction::NoGL{});
    ASSERT_TRUE(big.writeFile(path));
    EXPECT_EQ(testsupport::readFile(path), std::string(kDefaultPal));
}

TEST_F(PaletteFiles, DefaultTransferFunctionAsLookupTable)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    const std::string path = dir.file("default.txt");
    ASSERT_TRUE(tf.writeFile(path));
    const std::string bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 40u * 256u);
    EXPECT_EQ(bytes.substr(0, 40), "0.000000, 0.000000, 0.000000, 0.000000\r\n");
    EXPECT_EQ(bytes.substr(40, 40), "0.003922, 0.003922, 0.003922, 0.003922\r\n");
    EXPECT_EQ(bytes.substr(40 * 255), "1.000000, 1.000000, 1.000000, 1.000000\r\n");
    EXPECT_EQ(bytes, lookupTableOfRamp(256));

    TransferFunction big(4096, TransferFunction::NoGL{});
    ASSERT_TRUE(big.writeFile(path));
    EXPECT_EQ(testsupport::readFile(path).size(), 40u * 4096u);
}

TEST_F(PaletteFiles, PaletteReadBackGivesTheEndPoints)
{
    const std::string path = dir.file("default.pal");
    ASSERT_TRUE(testsupport::writeFile(path, kDefaultPal));
    for (int n : {256, 4096}) {
        TransferFunction tf(n, TransferFunction::NoGL{});
        for (int c = 0; c < 4; ++c) {
            tf.curve(c).addPoint(30, 30);
            tf.curve(c).setKind(CURVE_BEZIER);
        }
        ASSERT_TRUE(tf.readFile(path));
        for (int c = 0; c < 4; ++c) {
            const Curve& k = tf.curve(c);
            EXPECT_EQ(k.getKind(), CURVE_LINEAR);
            ASSERT_EQ(k.getCount(), 2);
            int x, y;
            ASSERT_TRUE(k.getPoint(0, x, y));
            EXPECT_EQ(x, 0);
            EXPECT_EQ(y, 0);
            ASSERT_TRUE(k.getPoint(1, x, y));
            EXPECT_EQ(x, n - 1);
            EXPECT_EQ(y, 255);
        }
    }
}

TEST_F(PaletteFiles, PaletteReaderTakesAnyWhiteSpaceAndScalesPoints)
{
    const std::string path = dir.file("spaced.pal");
    ASSERT_TRUE(testsupport::writeFile(path, "3\n0 0\n  0.5\t0.5\n1 1\n"
                                             "2 0 1 1 0\n"
                                             "2\r\n0.000000 0.250000\r\n1.000000 0.750000\r\n\r\n"
                                             "2 0 0 1 1"));
    TransferFunction tf(256, TransferFunction::NoGL{});
    ASSERT_TRUE(tf.readFile(path));
    int x, y;
    ASSERT_EQ(tf.curve(0).getCount(), 3);
    ASSERT_TRUE(tf.curve(0).getPoint(1, x, y));
    EXPECT_EQ(x, 127); // trunc(255 * 0.5)
    EXPECT_EQ(y, 127);
    ASSERT_TRUE(tf.curve(1).getPoint(0, x, y));
    EXPECT_EQ(y, 255);
    ASSERT_TRUE(tf.curve(2).getPoint(1, x, y));
    EXPECT_EQ(y, 191);
    tf.refreshCurves();
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 0 + 1], 255);
    EXPECT_EQ(tf.getPalette()[4 * 255 + 1], 0);
}

TEST_F(PaletteFiles, LookupTableOfTheWrongSizeIsRefusedWithTheMessage)
{
    std::FILE* console = std::tmpfile();
    auto log = std::make_unique<LogChannel>(console, false);
    LogChannel* saved = g_pConsoleLog;
    g_pConsoleLog = log.get();

    TransferFunction small(256, TransferFunction::NoGL{});
    TransferFunction big(4096, TransferFunction::NoGL{});
    const std::string p256 = dir.file("t256.txt");
    const std::string p4096 = dir.file("t4096.txt");
    ASSERT_TRUE(small.writeFile(p256));
    ASSERT_TRUE(big.writeFile(p4096));
    big.curve(0).addPoint(7, 7);
    small.curve(0).addPoint(7, 7);
    EXPECT_FALSE(big.readFile(p256));
    EXPECT_FALSE(small.readFile(p4096));
    EXPECT_EQ(big.curve(0).getCount(), 3); // nothing changed
    EXPECT_EQ(small.curve(0).getCount(), 3);
    EXPECT_TRUE(small.readFile(p256));
    EXPECT_EQ(small.curve(0).getCount(), 2);
    // A file that is not there: false, no message.
    EXPECT_FALSE(small.readFile(dir.file("missing.txt")));

    g_pConsoleLog = saved;
    log.reset();
    std::rewind(console);
    std::string out(4096, '\0');
    out.resize(std::fread(&out[0], 1, out.size(), console));
    std::fclose(console);
    const std::string message = "Not supported pallete file format. (The size is not correct)\n";
    const size_t first = out.find(message);
    ASSERT_NE(first, std::string::npos) << out;
    const size_t second = out.find(message, first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(out.find(message, second + 1), std::string::npos);
}

TEST_F(PaletteFiles, StraightRampBecomesTwoPointsPerChannel)
{
    const std::string path = dir.file("ramp.txt");
    ASSERT_TRUE(testsupport::writeFile(path, lookupTableOfRamp(256)));
    TransferFunction tf(256, TransferFunction::NoGL{});
    for (int c = 0; c < 4; ++c)
        tf.curve(c).setKind(CURVE_FREE);
    ASSERT_TRUE(tf.readFile(path));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(tf.curve(c).getCount(), 2) << c;
        EXPECT_EQ(tf.curve(c).getKind(), CURVE_LINEAR);
        int x, y;
        ASSERT_TRUE(tf.curve(c).getPoint(1, x, y));
        EXPECT_EQ(x, 255);
        EXPECT_EQ(y, 255);
    }
    // A table read back reproduces itself.
    tf.refreshCurves();
    tf.build(true);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(tf.getPalette()[4 * i + 2], i);
}

TEST_F(PaletteFiles, LookupTableBendsBecomePointsAndReproduceTheTable)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    // Red: a tent; green flat; blue a step; alpha the ramp.
    const CurvePoint tent[3] = {{0, 0, 0}, {128, 255, 0}, {255, 0, 0}};
    tf.curve(0).setControlPoints(tent, 3, "test");
    const CurvePoint step[4] = {{0, 0, 0}, {100, 0, 0}, {101, 200, 0}, {255, 200, 0}};
    tf.curve(2).setControlPoints(step, 4, "test");
    const CurvePoint flat[2] = {{0, 60, 0}, {255, 60, 0}};
    tf.curve(1).setControlPoints(flat, 2, "test");
    tf.refreshCurves();
    tf.build(true);
    const std::vector<unsigned char> before(tf.getPalette(), tf.getPalette() + 4 * 256);
    const std::string path = dir.file("shapes.txt");
    ASSERT_TRUE(tf.writeFile(path));

    TransferFunction back(256, TransferFunction::NoGL{});
    ASSERT_TRUE(back.readFile(path));
    EXPECT_EQ(back.curve(1).getCount(), 2);
    EXPECT_EQ(back.curve(2).getCount(), 4);
    back.refreshCurves();
    back.build(true);
    for (int i = 0; i < 4 * 256; ++i)
        ASSERT_NEAR(back.getPalette()[i], before[i], 1) << i;
    for (int c = 0; c < 4; ++c)
        expectInvariants(back.curve(c));
}

TEST_F(PaletteFiles, UpperCaseExtensionIsALookupTable)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    const std::string upper = dir.file("default.PAL");
    ASSERT_TRUE(testsupport::writeFile(upper, kDefaultPal));
    EXPECT_FALSE(tf.readFile(upper)); // palette content, but read as a table: wrong size
    ASSERT_TRUE(tf.writeFile(upper)); // written as a table
    EXPECT_EQ(testsupport::readFile(upper).size(), 40u * 256u);
    EXPECT_TRUE(tf.readFile(upper));
}

TEST_F(PaletteFiles, LookupTableWithOtherWhiteSpaceOrLineFeedsOnly)
{
    std::string tabs = lookupTableOfRamp(256);
    for (size_t at = tabs.find(", "); at != std::string::npos; at = tabs.find(", ", at))
        tabs.replace(at, 2, ",\t");
    const std::string p1 = dir.file("tabs.txt");
    ASSERT_TRUE(testsupport::writeFile(p1, tabs));
    TransferFunction tf(256, TransferFunction::NoGL{});
    EXPECT_TRUE(tf.readFile(p1));
    EXPECT_EQ(tf.curve(0).getCount(), 2);

    std::string lf = lookupTableOfRamp(256);
    for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
        lf.erase(at, 1);
    ASSERT_EQ(lf.size(), 39u * 256u);
    const std::string p2 = dir.file("lf.txt");
    ASSERT_TRUE(testsupport::writeFile(p2, lf));
    EXPECT_TRUE(tf.readFile(p2));

    // The right size but not numbers: refused, nothing changes.
    tf.curve(3).addPoint(9, 9);
    const std::string p3 = dir.file("junk.txt");
    ASSERT_TRUE(testsupport::writeFile(p3, std::string(40 * 256, 'x')));
    EXPECT_FALSE(tf.readFile(p3));
    EXPECT_EQ(tf.curve(3).getCount(), 3);
}

TEST_F(PaletteFiles, ATableWithManyBendsKeepsAtMost256Points)
{
    TransferFunction tf(4096, TransferFunction::NoGL{});
    // A zigzag bends at every entry.
    std::string s;
    char line[64];
    for (int i = 0; i < 4096; ++i) {
        const double v = (i % 2 ? 200 : 10) / 255.0;
        std::snprintf(line, sizeof line, "%f, %f, %f, %f\r\n", v, 0.5, v, 1.0);
        s += line;
    }
    const std::string path = dir.file("zigzag.txt");
    ASSERT_TRUE(testsupport::writeFile(path, s));
    ASSERT_TRUE(tf.readFile(path));
    EXPECT_EQ(tf.curve(0).getCount(), 256);
    EXPECT_EQ(tf.curve(1).getCount(), 2);
    EXPECT_EQ(tf.curve(2).getCount(), 256);
    for (int c = 0; c < 4; ++c)
        expectInvariants(tf.curve(c));
    tf.refreshCurves();
    tf.build(true);
}

TEST_F(PaletteFiles, DamagedPaletteFilesAreRefusedAndChangeNothing)
{
    const char* const damaged[] = {
        "-3\n0 0\n1 1\n",                        // negative count
        "0\n",                                   // zero
        "1\n0.5 0.5\n",                          // one point
        "2000000000\n0 0\n1 1\n",                // huge
        "2\n0 0\n1 1\n\n2\n0 0\n1 1\n\n2\n0 0\n", // short
        "2\n0 0\nx y\n",                         // not numbers
        "",                                      // empty
    };
    int i = 0;
    for (const char* content : damaged) {
        const std::string path = dir.file("bad" + std::to_string(i++) + ".pal");
        ASSERT_TRUE(testsupport::writeFile(path, content));
        TransferFunction tf(256, TransferFunction::NoGL{});
        tf.curve(0).addPoint(50, 60);
        tf.curve(3).setKind(CURVE_BEZIER);
        EXPECT_FALSE(tf.readFile(path)) << content;
        EXPECT_EQ(tf.curve(0).getCount(), 3) << content;
        EXPECT_EQ(tf.curve(3).getKind(), CURVE_BEZIER);
        for (int c = 0; c < 4; ++c)
            expectInvariants(tf.curve(c));
    }
}

TEST_F(PaletteFiles, UnorderedAndOutOfRangePointsAreRepaired)
{
    const std::string path = dir.file("wild.pal");
    ASSERT_TRUE(testsupport::writeFile(path, "4\n0.8 0.2\n-1 7\n0.3 -0.5\n2 0.9\n\n"
                                             "3\n0 nan\n0.5 inf\n1 1\n\n"
                                             "2\n0.5 0.5\n0.25 0.25\n\n"
                                             "2\n1e30 0\n-1e30 1\n\n"));
    TransferFunction tf(256, TransferFunction::NoGL{});
    ASSERT_TRUE(tf.readFile(path));
    for (int c = 0; c < 4; ++c)
        expectInvariants(tf.curve(c));
    // Sorted by x: the out-of-range point at -1 comes first (value clamped).
    EXPECT_EQ(tf.curve(0).points()[0].y, 255.0f);
    EXPECT_EQ(tf.curve(0).points()[1].x, 76.0f); // trunc(255 * 0.3)
    EXPECT_EQ(tf.curve(0).points()[1].y, 0.0f);
    EXPECT_EQ(tf.curve(0).points()[2].x, 204.0f);
    EXPECT_EQ(tf.curve(1).points()[0].y, 0.0f);   // NaN
    EXPECT_EQ(tf.curve(1).points()[1].y, 255.0f); // infinity
    tf.refreshCurves();
    tf.build(true);
}

TEST_F(PaletteFiles, StartUpPaletteIsReadLinearAndBuilt)
{
    const std::string path = dir.file("start.pal");
    ASSERT_TRUE(testsupport::writeFile(path, "2\n0 1\n1 0\n\n2\n0 0\n1 1\n\n2\n0 0\n1 1\n\n2\n0 0\n1 1\n\n"));
    EXPECT_FALSE(loadPaletteAtStartup(path)); // no transfer function yet
    TransferFunction tf(256, TransferFunction::NoGL{});
    tf.setCurveKind(CURVE_BEZIER);
    transfer = &tf;
    tf.curve(0).addPoint(9, 9);
    EXPECT_FALSE(loadPaletteAtStartup(dir.file("missing.pal")));
    EXPECT_EQ(tf.curve(0).getKind(), CURVE_LINEAR); // linear even so
    EXPECT_EQ(tf.curve(0).getCount(), 3);
    tf.setCurveKind(CURVE_BEZIER);
    ASSERT_TRUE(loadPaletteAtStartup(path));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(tf.curve(c).getKind(), CURVE_LINEAR);
    EXPECT_EQ(tf.getPalette()[0], 255);
    EXPECT_EQ(tf.getPalette()[4 * 255], 0);
    EXPECT_EQ(tf.getPalette()[4 * 255 + 1], 255);
    transfer = nullptr;
}

TEST_F(PaletteFiles, UnwritablePathWritesNothing)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    EXPECT_FALSE(tf.writeFile(dir.file("no/such/dir/x.pal")));
}

} // namespace
