// Transfer-function tables without a GL context: palette, pre-integration
// table, partial rebuilds, alpha correction, resize and texture formats.
#include "error_handling.h"
#include "render_mode.h"
#include "transfer_function.h"
#include "transfer_preint.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class TransferTables : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedCorrection = volume.alphaCorrection;
        savedZ = volume.resolution[2];
        savedSampling = volume.sampling;
        savedClass = RenderMode::instance().getClassification();
        volume.alphaCorrection = false;
    }
    void TearDown() override
    {
        volume.alphaCorrection = savedCorrection;
        volume.resolution[2] = savedZ;
        volume.sampling = savedSampling;
        RenderMode::instance().setClassification(savedClass);
        setPreintKernel(PreintKernel::Auto);
    }
    static void classify(int c) { RenderMode::instance().setClassification(c); }
    static unsigned char preint(const TransferFunction& tf, int r, int c, int ch)
    {
        const int n = tf.getTableSize();
        return tf.getPreintTable()[(static_cast<size_t>(r) * n + c) * 4 + ch];
    }
    static void flat(TransferFunction& tf, int c, float y)
    {
        const float last = static_cast<float>(tf.getTableSize() - 1);
        const CurvePoint pts[2] = {{0, y, 0}, {last, y, 0}};
        tf.curve(c).setControlPoints(pts, 2, "test points");
    }

    bool savedCorrection = false;
    int savedZ = 0;
    int savedSampling = 0;
    int savedClass = 1;
};

TEST_F(TransferTables, ConstructionFallsBackToPostClassificationWithoutPalettes)
{
    classify(CLASSIFICATION_PRE_INTEGRATION);
    TransferFunction tf(256, TransferFunction::NoGL{});
    EXPECT_FALSE(tf.isPaletted());
    EXPECT_EQ(RenderMode::instance().getClassification(), CLASSIFICATION_POST);
    EXPECT_EQ(tf.getTableSize(), 256);
    EXPECT_EQ(tf.getFileName(), "none");
    EXPECT_FALSE(tf.isSelected(0));
    EXPECT_FALSE(tf.isSelected(2));
    EXPECT_TRUE(tf.isSelected(3));
    EXPECT_TRUE(tf.getShowFunction());
    EXPECT_FALSE(tf.getShowHull());
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(tf.getPalette()[4 * i + c], i);
            ASSERT_EQ(tf.getIdentityPalette()[4 * i + c], i);
        }
    }
    // The pre-integration table was built at construction.
    EXPECT_EQ(preint(tf, 10, 20, 0), 15);
    // Larger than the texture limit: 256 entries.
    TransferFunction small(4096, TransferFunction::NoGL{2048});
    EXPECT_EQ(small.getTableSize(), 256);
    TransferFunction big(4096, TransferFunction::NoGL{});
    EXPECT_EQ(big.getTableSize(), 4096);
    EXPECT_EQ(big.curve(0).getSize(), 4096);
    EXPECT_EQ(big.getPalette()[4 * 4095], 255);
}

TEST_F(TransferTables, PreIntegrationOfTheRamp)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    classify(CLASSIFICATION_PRE_INTEGRATION);
    tf.build(true);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(preint(tf, 10, 20, c), 15); // the mean of the ramp from 10 to 20
        EXPECT_EQ(preint(tf, 20, 10, c), 15);
        EXPECT_EQ(preint(tf, 10, 11, c), 10); // 10.5 to the even neighbour
        EXPECT_EQ(preint(tf, 11, 12, c), 12);
        EXPECT_EQ(preint(tf, 10, 10, c), 10); // the diagonal holds the value itself
        EXPECT_EQ(preint(tf, 0, 0, c), 0);
        EXPECT_EQ(preint(tf, 255, 255, c), 255);
        EXPECT_EQ(preint(tf, 0, 255, c), 128); // 127.5 times 1 / 255 rounded up in single precision
        EXPECT_EQ(tf.getSums(c)[255], 255 * 256 / 2);
    }
    // Classification 4 builds the same table.
    classify(CLASSIFICATION_PRE_INTEGRATION_FILE);
    tf.build(true);
    EXPECT_EQ(preint(tf, 10, 20, 1), 15);
}

// A constant table holds its value at every distance, whichever way 1 / d
// rounds in single precision; a table that is zero up to an entry keeps
// every segment below it transparent, and one step up from there shares the
// step's height evenly.
TEST_F(TransferTables, ConstantTableIsExactAtEveryDistance)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    classify(CLASSIFICATION_PRE_INTEGRATION);
    const int values[4] = {100, 1, 255, 37};
    for (int c = 0; c < 4; ++c)
        flat(tf, c, static_cast<float>(values[c]));
    tf.refreshCurves();
    tf.build(true);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 256; r += 5)
            for (int k = 0; k < 256; ++k)
                ASSERT_EQ(preint(tf, r, k, c), values[c]) << "channel " << c << " (" << r << ", " << k << ")";

    Curve& alpha = tf.curve(CHANNEL_ALPHA);
    alpha.setKind(CURVE_FREE);
    for (int i = 0; i < 256; ++i)
        alpha.table()[i] = i < 40 ? 0 : 200;
    tf.build(true);
    for (int r = 0; r < 40; ++r)
        for (int k = 0; k < 40; ++k)
            ASSERT_EQ(preint(tf, r, k, 3), 0) << r << ", " << k;
    EXPECT_EQ(preint(tf, 39, 40, 3), 100); // half the step
    EXPECT_EQ(preint(tf, 38, 40, 3), 50);
    EXPECT_EQ(preint(tf, 40, 40, 3), 200);
}

TEST_F(TransferTables, AlphaCorrection)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    classify(CLASSIFICATION_POST);
    Curve& alpha = tf.curve(CHANNEL_ALPHA);
    alpha.setKind(CURVE_FREE);
    std::memset(alpha.table(), 0, 256);
    alpha.table()[1] = 128;
    alpha.table()[2] = 255;
    alpha.table()[3] = 1;
    volume.alphaCorrection = true;

    volume.resolution[2] = 64; // r = 1
    volume.sampling = 64;
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 1 + 3], 128);
    EXPECT_EQ(tf.getPalette()[4 * 2 + 3], 255);
    EXPECT_EQ(tf.getPalette()[4 * 3 + 3], 0);
    EXPECT_EQ(tf.getPalette()[4 * 0 + 3], 0);
    EXPECT_EQ(tf.getPalette()[4 * 3 + 0], 3); // colours as they are

    volume.resolution[2] = 128; // r = 2
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 1 + 3], 191);
    EXPECT_EQ(tf.getPalette()[4 * 2 + 3], 255);

    // The alpha channel is corrected whatever the selection.
    volume.resolution[2] = 64;
    tf.setSelected(CHANNEL_ALPHA, false);
    tf.setSelected(CHANNEL_RED, true);
    tf.build(false);
    EXPECT_EQ(tf.getPalette()[4 * 1 + 3], 128);

    // Pre-integration sums the corrected alpha.
    classify(CLASSIFICATION_PRE_INTEGRATION);
    volume.resolution[2] = 128;
    tf.build(true);
    EXPECT_EQ(preint(tf, 1, 1, 3), 191); // the diagonal: corrected table[1]
    EXPECT_EQ(preint(tf, 0, 0, 3), 0);
    EXPECT_EQ(preint(tf, 0, 2, 3), 159); // (0 / 2 + 191 + 255 / 2) / 2 = 159.25
    EXPECT_EQ(preint(tf, 0, 2, 0), 1);

    // No data and no slices: no correction, no undefined arithmetic.
    classify(CLASSIFICATION_POST);
    volume.resolution[2] = 0;
    volume.sampling = 0;
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 1 + 3], 128);
}

TEST_F(TransferTables, PartialBuildLeavesTheOtherChannelsAlone)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    for (int cls : {CLASSIFICATION_POST, CLASSIFICATION_PRE_INTEGRATION}) {
        classify(cls);
        tf.resetAll();
        tf.refreshCurves();
        tf.build(true);
        const bool pre = cls != CLASSIFICATION_POST;
        const size_t bytes = pre ? 256u * 256u * 4u : 256u * 4u;
        const unsigned char* table = pre ? tf.getPreintTable() : tf.getPalette();
        std::vector<unsigned char> before(table, table + bytes);

        // Edit every curve, rebuild the alpha channel only.
        for (int c = 0; c < 4; ++c)
            flat(tf, c, 40.0f + c);
        tf.refreshCurves();
        tf.rebuildAlpha();
        EXPECT_TRUE(tf.isSelected(3));
        EXPECT_FALSE(tf.isSelected(0));
        // A flat table v: v everywhere, in both tables.
        for (size_t i = 0; i < bytes; ++i) {
            if (i % 4 == 3)
                ASSERT_EQ(table[i], 43) << "class " << cls << " byte " << i;
            else
                ASSERT_EQ(table[i], before[i]) << "class " << cls << " byte " << i;
        }
        // Green and alpha selected: red and blue still untouched.
        tf.setSelected(1, true);
        tf.build(false);
        for (size_t i = 0; i < bytes; i += 4) {
            ASSERT_EQ(table[i], before[i]);
            ASSERT_EQ(table[i + 1], 41);
            ASSERT_EQ(table[i + 2], before[i + 2]);
        }
        tf.setSelected(1, false);
    }
}

TEST_F(TransferTables, PreClassificationWithoutPalettesBuildsNothing)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    classify(CLASSIFICATION_PRE);
    flat(tf, 0, 9);
    tf.refreshCurves();
    tf.build(true);
    tf.upload(); // nothing to upload without palettes (and without GL)
    EXPECT_EQ(tf.getPalette()[4 * 100], 100);
    classify(CLASSIFICATION_POST);
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 100], 9);
}

TEST_F(TransferTables, ResizeBeyondTheTextureLimitKeeps256AndSaysSo)
{
    std::FILE* console = std::tmpfile();
    std::FILE* file = std::tmpfile();
    ASSERT_TRUE(console && file);
    auto consoleLog = std::make_unique<LogChannel>(console, false);
    auto fileLog = std::make_unique<LogChannel>(file, false);
    LogChannel* savedConsole = g_pConsoleLog;
    LogChannel* savedFile = g_pFileLog;
    g_pConsoleLog = consoleLog.get();
    g_pFileLog = fileLog.get();

    TransferFunction tf(256, TransferFunction::NoGL{2048});
    tf.curve(0).addPoint(10, 10);
    tf.resize(4096);
    EXPECT_EQ(tf.getTableSize(), 256);
    EXPECT_EQ(tf.curve(0).getSize(), 256);
    tf.resize(256); // same size: nothing at all
    tf.resize(1024);
    EXPECT_EQ(tf.getTableSize(), 1024);
    EXPECT_EQ(tf.curve(2).getSize(), 1024);
    EXPECT_EQ(tf.curve(2).getViewCount(), 1024);
    EXPECT_EQ(tf.curve(2).getViewWidth(), 256);
    EXPECT_EQ(tf.getPalette()[4 * 1023 + 2], 255);

    g_pConsoleLog = savedConsole;
    g_pFileLog = savedFile;
    consoleLog.reset();
    fileLog.reset();
    auto text = [](std::FILE* f) {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        char buf[512];
        size_t got;
        while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, got);
        return s;
    };
    const std::string out = text(console);
    const std::string message = "12bit Transfer function is not supported.\n";
    const size_t at = out.find(message);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find(message, at + 1), std::string::npos) << "written once";
    const std::string logged = text(file);
    EXPECT_NE(logged.find("src/transfer_function.cpp\t"), std::string::npos) << logged;
    EXPECT_NE(logged.find(message), std::string::npos);
    std::fclose(console);
    std::fclose(file);
}

TEST_F(TransferTables, ResizeUsesTheEditorWidthAndKeepsKinds)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    tf.setCurveKind(CURVE_BEZIER);
    EXPECT_TRUE(tf.resize(4096, 300));
    EXPECT_FALSE(tf.resize(4096, 300)) << "the same size changes nothing";
    EXPECT_EQ(tf.curve(1).getViewWidth(), 300);
    EXPECT_EQ(tf.curve(1).getViewCount(), 4096);
    EXPECT_EQ(tf.curve(1).getKind(), CURVE_BEZIER);
    EXPECT_EQ(tf.getPalette()[4 * 4095 + 1], 255);
}

TEST_F(TransferTables, ResetSelectedOnlyTouchesSelectedCurves)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    for (int c = 0; c < 4; ++c)
        tf.curve(c).addPoint(50, 50);
    tf.resetSelected();
    EXPECT_EQ(tf.curve(0).getCount(), 3);
    EXPECT_EQ(tf.curve(3).getCount(), 2);
    tf.resetAll();
    EXPECT_EQ(tf.curve(0).getCount(), 2);
}

TEST_F(TransferTables, ChannelOperationsApplyToSelectedCurves)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    tf.setSelected(CHANNEL_RED, true);
    tf.addPoint(100, 100);
    EXPECT_EQ(tf.curve(0).getCount(), 3);
    EXPECT_EQ(tf.curve(1).getCount(), 2);
    EXPECT_EQ(tf.curve(3).getCount(), 3);
    EXPECT_TRUE(tf.hitTest(100, 100));
    tf.drag(90, 10);
    int x, y;
    ASSERT_TRUE(tf.getPoint(1, x, y));
    EXPECT_EQ(x, 90);
    EXPECT_EQ(y, 10);
    x = 95;
    y = 20;
    EXPECT_TRUE(tf.setPoint(1, x, y));
    ASSERT_TRUE(tf.curve(3).getPoint(1, x, y));
    EXPECT_EQ(x, 95);
    tf.hitTest(95, 20);
    tf.deletePoint();
    EXPECT_EQ(tf.curve(0).getCount(), 2);
    EXPECT_EQ(tf.curve(3).getCount(), 2);
    tf.setSelected(CHANNEL_RED, false);
    tf.setSelected(CHANNEL_ALPHA, false);
    EXPECT_FALSE(tf.getPoint(0, x, y));
    EXPECT_FALSE(tf.hitTest(0, 0));
}

TEST_F(TransferTables, TextureFormatsByTypeAndChannels)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    struct Case
    {
        GLenum type;
        int channels;
        GLenum internal;
        GLenum format;
    };
    const Case cases[] = {
        {GL_UNSIGNED_BYTE, 1, GL_INTENSITY8, GL_LUMINANCE},
        {GL_BYTE, 1, GL_INTENSITY8, GL_LUMINANCE},
        {GL_SHORT, 1, GL_INTENSITY16, GL_LUMINANCE},
        {GL_UNSIGNED_INT, 1, GL_INTENSITY16, GL_LUMINANCE},
        {GL_FLOAT, 1, 0x881D, GL_LUMINANCE},
        {GL_DOUBLE, 1, GL_INTENSITY, GL_LUMINANCE},
        {GL_UNSIGNED_BYTE, 2, GL_RGBA8, GL_RGBA},
        {GL_INT, 3, GL_RGBA16, GL_RGBA},
        {GL_UNSIGNED_SHORT, 4, GL_RGBA16, GL_RGBA},
        {GL_FLOAT, 4, 0x881A, GL_RGBA},
        {GL_DOUBLE, 4, GL_RGBA, GL_RGBA},
        {GL_UNSIGNED_BYTE, 5, GL_INTENSITY, GL_LUMINANCE},
        {GL_FLOAT, 0, GL_INTENSITY, GL_LUMINANCE},
    };
    for (const Case& c : cases) {
        tf.chooseTextureFormat(c.type, c.channels);
        EXPECT_EQ(textureInternalFormat, c.internal) << std::hex << c.type << " " << c.channels;
        EXPECT_EQ(textureFormat, c.format);
    }
}

TEST_F(TransferTables, TablesAreRegisteredAndReleased)
{
    const uint32_t before = g_garbageCollector.count();
    {
        TransferFunction tf(256, TransferFunction::NoGL{});
        std::vector<std::string> names;
        for (uint32_t i = before; i < g_garbageCollector.count(); ++i)
            names.push_back(g_garbageCollector.record(i).name);
        for (const char* want : {"palette", "palette_preint", "sum_help[0]", "sum_help[3]"})
            EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
        tf.resize(512);
    }
    EXPECT_EQ(g_garbageCollector.count(), before);
}

// ---- the table kernels ----

std::vector<int> runningSums(const std::vector<int>& table)
{
    std::vector<int> s(table.size());
    int t = 0;
    for (size_t j = 0; j < table.size(); ++j)
        s[j] = t += table[j];
    return s;
}

TEST(PreintKernels, EveryKernelMatchesTheReference)
{
    std::mt19937 rng(7);
    for (int n : {2, 37, 256, 1000, 1031}) { // 1031: split between two threads
        std::vector<int> tables[4];
        std::vector<int> sums[4];
        for (int c = 0; c < 4; ++c) {
            tables[c].resize(n);
            for (int j = 0; j < n; ++j)
                tables[c][j] = c == 0 ? static_cast<int>(rng() % 256) : c == 1 ? 200 : c == 2 ? j % 256 : (j / 7) % 3 * 85;
            sums[c] = runningSums(tables[c]);
        }
        const int* const sp[4] = {sums[0].data(), sums[1].data(), sums[2].data(), sums[3].data()};
        for (unsigned mask : {15u, 8u, 5u}) {
            std::vector<unsigned char> expected(static_cast<size_t>(n) * n * 4, 0xAB);
            buildPreintTableReference(expected.data(), n, sp, mask);
            for (PreintKernel k : {PreintKernel::Scalar, PreintKernel::Avx2, PreintKernel::Avx512}) {
                if (!preintKernelAvailable(k))
                    continue;
                setPreintKernel(k);
                PreintWorkspace* ws = createPreintWorkspace(n);
                ASSERT_NE(ws, nullptr);
                unsigned char* table = allocatePreintTable(n, "test table");
                std::memset(table, 0xAB, static_cast<size_t>(n) * n * 4);
                buildPreintTable(*ws, table, sp, mask);
                ASSERT_EQ(std::memcmp(table, expected.data(), expected.size()), 0)
                    << "n " << n << " mask " << mask << " kernel " << static_cast<int>(k);
                releasePreintTable(table);
                releasePreintWorkspace(ws);
            }
        }
    }
    setPreintKernel(PreintKernel::Auto);
}

// Exact products matter where 1 / d in single precision is below the true
// reciprocal: the half that rounds keeps every multiple of d from truncating
// one lower.
TEST(PreintKernels, ConstantTablesAt4096AreExactAtEveryDistance)
{
    const int n = 4096;
    const int values[4] = {1, 17, 100, 255};
    std::vector<int> sums[4];
    for (int c = 0; c < 4; ++c)
        sums[c] = runningSums(std::vector<int>(n, values[c]));
    const int* const sp[4] = {sums[0].data(), sums[1].data(), sums[2].data(), sums[3].data()};
    for (PreintKernel k : {PreintKernel::Scalar, PreintKernel::Avx2, PreintKernel::Avx512}) {
        if (!preintKernelAvailable(k))
            continue;
        setPreintKernel(k);
        PreintWorkspace* ws = createPreintWorkspace(n);
        unsigned char* table = allocatePreintTable(n, "test table");
        buildPreintTable(*ws, table, sp, 15u);
        for (int r : {0, 1, 2047, 4095}) {
            for (int c = 0; c < n; ++c) {
                const int d = c > r ? c - r : r - c;
                for (int ch = 0; ch < 4; ++ch) {
                    ASSERT_EQ(table[(static_cast<size_t>(r) * n + c) * 4 + ch], values[ch])
                        << "kernel " << static_cast<int>(k) << " r " << r << " c " << c << " d " << d;
                }
            }
        }
        releasePreintTable(table);
        releasePreintWorkspace(ws);
    }
    setPreintKernel(PreintKernel::Auto);
}

} // namespace
