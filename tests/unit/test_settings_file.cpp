// "glimra.ini": exact bytes, range rules, damaged files, the autosave-off rewrite.
#include "plane.h"
#include "running_settings.h"
#include "viewer.h"
#include "transfer_function.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <unistd.h>

namespace {

const std::string kDefaultFile = "Projection:\t1\r\n"
                                 "Fps:\t1\r\n"
                                 "BG Color:\t0.000000,0.000000,0.000000\r\n"
                                 "Sampling:\t64\r\n"
                                 "Aplha test:\t0.000000\r\n"
                                 "Aplha mode:\t516\r\n"
                                 "Visualization mode:\t1\r\n"
                                 "Blending:\t0\r\n"
                                 "BBox:\t1\r\n"
                                 "Curve:\t0\r\n"
                                 "Classification:\t1\r\n"
                                 "Autosave:\t1\r\n"
                                 "Size:\t-1,-1\r\n"
                                 "Position:\t-1,-1\r\n"
                                 "Speedup:\t1\r\n"
                                 "AlphaCalculation:\t1\r\n"
                                 "GradientCalculation:\t4\r\n"
                                 "AlphaCorrection:\t0\r\n"
                                 "Filtering:\t1";

// Every value away from its default.
Settings unusual()
{
    Settings s;
    s.mode.setDrawStyle(11);
    s.mode.setClassification(3);
    s.perspective = false;
    s.fpsVisible = false;
    s.background[0] = 0.25f;
    s.background[1] = 0.1234567f;
    s.background[2] = 1.0f;
    s.sampling = 301;
    s.halfSampling = 150;
    s.alphaThreshold = 0.3f;
    s.alphaFunc = 0x201;
    s.blending = 2;
    s.showBBox = false;
    s.curveKind = 1;
    s.autosave = false;
    s.width = 812;
    s.height = 613;
    s.x = 17;
    s.y = -4;
    s.speedup = false;
    s.alphaCalculation = 2;
    s.gradientCalculation = 3;
    s.alphaCorrection = true;
    s.textureFilter = 9728.0f;
    return s;
}

const std::string kUnusualFile = "Projection:\t0\r\n"
                                 "Fps:\t0\r\n"
                                 "BG Color:\t0.250000,0.123457,1.000000\r\n"
                                 "Sampling:\t301\r\n"
                                 "Aplha test:\t0.300000\r\n"
                                 "Aplha mode:\t513\r\n"
                                 "Visualization mode:\t11\r\n"
                                 "Blending:\t2\r\n"
                                 "BBox:\t0\r\n"
                                 "Curve:\t1\r\n"
                                 "Classification:\t3\r\n"
                                 "Autosave:\t0\r\n"
                                 "Size:\t812,613\r\n"
                                 "Position:\t17,-4\r\n"
                                 "Speedup:\t0\r\n"
                                 "AlphaCalculation:\t2\r\n"
                                 "GradientCalculation:\t3\r\n"
                                 "AlphaCorrection:\t1\r\n"
                                 "Filtering:\t0";

// Floats compare as the file shows them.
std::string sixDecimals(float v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

void expectSame(const Settings& a, const Settings& b)
{
    EXPECT_EQ(a.mode.getDrawStyle(), b.mode.getDrawStyle());
    EXPECT_EQ(a.mode.getSlicing(), b.mode.getSlicing());
    EXPECT_EQ(a.mode.getClassification(), b.mode.getClassification());
    EXPECT_EQ(a.mode.getProgramSet(), b.mode.getProgramSet());
    EXPECT_EQ(a.perspective, b.perspective);
    EXPECT_EQ(a.fpsVisible, b.fpsVisible);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(sixDecimals(a.background[c]), sixDecimals(b.background[c]));
    EXPECT_EQ(a.sampling, b.sampling);
    EXPECT_EQ(a.halfSampling, b.halfSampling);
    EXPECT_EQ(sixDecimals(a.alphaThreshold), sixDecimals(b.alphaThreshold));
    EXPECT_EQ(a.alphaFunc, b.alphaFunc);
    EXPECT_EQ(a.blending, b.blending);
    EXPECT_EQ(a.showBBox, b.showBBox);
    EXPECT_EQ(a.curveKind, b.curveKind);
    EXPECT_EQ(a.autosave, b.autosave);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.speedup, b.speedup);
    EXPECT_EQ(a.alphaCalculation, b.alphaCalculation);
    EXPECT_EQ(a.gradientCalculation, b.gradientCalculation);
    EXPECT_EQ(a.alphaCorrection, b.alphaCorrection);
    EXPECT_EQ(a.textureFilter, b.textureFilter);
}

// Every value inside the range it may take.
void expectInRange(const Settings& s)
{
    EXPECT_GE(s.mode.getDrawStyle(), 1);
    EXPECT_LE(s.mode.getDrawStyle(), 13);
    EXPECT_GE(s.mode.getSlicing(), 1);
    EXPECT_LE(s.mode.getSlicing(), 4);
    EXPECT_GE(s.mode.getClassification(), 1);
    EXPECT_LE(s.mode.getClassification(), 4);
    for (float c : s.background) {
        EXPECT_TRUE(c >= 0.0f && c <= 1.0f) << c;
    }
    EXPECT_GE(s.sampling, 0);
    EXPECT_LE(s.sampling, 512);
    EXPECT_EQ(s.halfSampling, s.sampling / 2);
    EXPECT_TRUE(s.alphaThreshold >= 0.0f && s.alphaThreshold <= 1.0f) << s.alphaThreshold;
    EXPECT_TRUE(s.alphaFunc == 0x204 || s.alphaFunc == 0x202 || s.alphaFunc == 0x201) << s.alphaFunc;
    EXPECT_GE(s.blending, 0);
    EXPECT_LE(s.blending, 2);
    EXPECT_GE(s.curveKind, 0);
    EXPECT_LE(s.curveKind, 2);
    EXPECT_TRUE(s.width == -1 || (s.width >= 1 && s.width <= kMaxSettingsWindowSize)) << s.width;
    EXPECT_TRUE(s.height == -1 || (s.height >= 1 && s.height <= kMaxSettingsWindowSize)) << s.height;
    EXPECT_LE(std::abs(s.x), kMaxSettingsWindowPosition);
    EXPECT_LE(std::abs(s.y), kMaxSettingsWindowPosition);
    EXPECT_GE(s.alphaCalculation, 0);
    EXPECT_LE(s.alphaCalculation, 2);
    EXPECT_GE(s.gradientCalculation, 0);
    EXPECT_LE(s.gradientCalculation, 4);
    EXPECT_TRUE(s.textureFilter == 9728.0f || s.textureFilter == 9729.0f) << s.textureFilter;
}

// Settings after reading one line over the defaults.
Settings afterLine(const std::string& line, Settings s = Settings())
{
    parseSettings(line, s);
    return s;
}

TEST(SettingsFile, WritesTheExactBytes)
{
    EXPECT_EQ(formatSettings(Settings()), kDefaultFile);
    EXPECT_EQ(formatSettings(unusual()), kUnusualFile);

    testsupport::TempDir tmp;
    ASSERT_TRUE(writeSettingsFile(tmp.file("glimra.ini"), unusual()));
    EXPECT_EQ(testsupport::readFile(tmp.file("glimra.ini")), kUnusualFile);
    // Rewriting truncates what was there.
    ASSERT_TRUE(writeSettingsFile(tmp.file("glimra.ini"), Settings()));
    EXPECT_EQ(testsupport::readFile(tmp.file("glimra.ini")), kDefaultFile);
    EXPECT_FALSE(writeSettingsFile(tmp.file("no/such/dir/glimra.ini"), Settings()));
}

TEST(SettingsFile, SaveThenLoadRestoresEverySetting)
{
    testsupport::TempDir tmp;
    const std::string path = tmp.file("glimra.ini");
    ASSERT_TRUE(writeSettingsFile(path, unusual()));
    Settings back;
    ASSERT_TRUE(readSettingsFile(path, back));
    expectSame(back, unusual());
    // Slicing is not stored: a shaded style starts object-aligned.
    EXPECT_EQ(back.mode.getSlicing(), 2);
    EXPECT_EQ(static_cast<int>(back.mode.getProgramSet()), 3);
    EXPECT_EQ(parseSettings(kUnusualFile, back), 19);

    // Line feeds only, and every white space treated alike.
    std::string lf;
    for (char c : kUnusualFile)
        if (c != '\r')
            lf += c;
    Settings fromLf;
    EXPECT_EQ(parseSettings(lf, fromLf), 19);
    expectSame(fromLf, unusual());
    Settings spaced;
    EXPECT_EQ(parseSettings("  BG   Color: 0.5, 0.25,\t1\n\nSize :812 ,613", spaced), 1);
    EXPECT_EQ(spaced.background[0], 0.5f);
    EXPECT_EQ(spaced.background[1], 0.25f);
    EXPECT_EQ(spaced.width, -1); // "812 ," does not match "%d,%d"
}

TEST(SettingsFile, MissingFileChangesNothing)
{
    testsupport::TempDir tmp;
    Settings s = unusual();
    EXPECT_FALSE(readSettingsFile(tmp.file("glimra.ini"), s));
    expectSame(s, unusual());
    // A directory of that name is no settings file either.
    EXPECT_FALSE(readSettingsFile(tmp.path(), s));
    expectSame(s, unusual());
}

TEST(SettingsFile, SamplingRange)
{
    Settings s = afterLine("Sampling:\t600\r\n");
    EXPECT_EQ(s.sampling, 64);
    EXPECT_EQ(s.halfSampling, 32);
    s = afterLine("Sampling:\t7\r\n");
    EXPECT_EQ(s.sampling, 7);
    EXPECT_EQ(s.halfSampling, 3);
    s = afterLine("Sampling:\t512");
    EXPECT_EQ(s.halfSampling, 256);
    s = afterLine("Sampling:\t0");
    EXPECT_EQ(s.sampling, 0);
    EXPECT_EQ(s.halfSampling, 0);
    s = afterLine("Sampling:\t-3");
    EXPECT_EQ(s.sampling, 64);
    EXPECT_EQ(s.halfSampling, 32);
}

TEST(SettingsFile, AlphaTestAndModeRanges)
{
    EXPECT_EQ(afterLine("Aplha test:\t1.5").alphaThreshold, 0.0f);
    EXPECT_EQ(afterLine("Aplha test:\t-0.2").alphaThreshold, 0.0f);
    EXPECT_EQ(afterLine("Aplha test:\tnan").alphaThreshold, 0.0f);
    EXPECT_EQ(afterLine("Aplha test:\tinf").alphaThreshold, 0.0f);
    EXPECT_EQ(afterLine("Aplha test:\t1").alphaThreshold, 1.0f);
    EXPECT_EQ(afterLine("Aplha test:\t0.75").alphaThreshold, 0.75f);
    // The key is spelled as the file spells it.
    EXPECT_EQ(afterLine("Alpha test:\t0.75").alphaThreshold, 0.0f);

    Settings greater;
    greater.alphaFunc = 0x201;
    EXPECT_EQ(afterLine("Aplha mode:\t514", greater).alphaFunc, 0x202);
    EXPECT_EQ(afterLine("Aplha mode:\t513").alphaFunc, 0x201);
    EXPECT_EQ(afterLine("Aplha mode:\t0", greater).alphaFunc, 0x204);
    EXPECT_EQ(afterLine("Aplha mode:\t515", greater).alphaFunc, 0x204);
}

TEST(SettingsFile, DrawStyleAndClassificationThroughTheFile)
{
    // 14 is no style: the style stays, slicing and program set are derived.
    Settings s;
    ASSERT_EQ(static_cast<int>(s.mode.getProgramSet()), 0);
    parseSettings("Visualization mode:\t14", s);
    EXPECT_EQ(s.mode.getDrawStyle(), 1);
    EXPECT_EQ(s.mode.getSlicing(), 1);
    EXPECT_EQ(static_cast<int>(s.mode.getProgramSet()), 1);

    s = Settings();
    parseSettings("Visualization mode:\t4\r\nClassification:\t4", s);
    EXPECT_EQ(s.mode.getClassification(), 4);
    EXPECT_EQ(static_cast<int>(s.mode.getProgramSet()), 6);
    parseSettings("Visualization mode:\t9", s);
    EXPECT_EQ(s.mode.getSlicing(), 3);

    s = Settings();
    parseSettings("Visualization mode:\t1", s);
    parseSettings("Visualization mode:\t9", s);
    EXPECT_EQ(s.mode.getSlicing(), 2);

    s = Settings();
    parseSettings("Visualization mode:\t13\nClassification:\t4", s);
    EXPECT_EQ(static_cast<int>(s.mode.getProgramSet()), 14);
    parseSettings("Classification:\t5", s);
    EXPECT_EQ(s.mode.getClassification(), 4);
}

TEST(SettingsFile, OtherRangesAndRefusedValues)
{
    EXPECT_EQ(afterLine("Filtering:\t0").textureFilter, 9728.0f);
    Settings nearest;
    nearest.textureFilter = 9728.0f;
    EXPECT_EQ(afterLine("Filtering:\t1", nearest).textureFilter, 9729.0f);
    // Anything else is no filter the textures take: the previous value stays.
    EXPECT_EQ(afterLine("Filtering:\t2", nearest).textureFilter, 9728.0f);
    EXPECT_EQ(afterLine("Filtering:\t-1").textureFilter, 9729.0f);

    Settings bezier;
    bezier.curveKind = 1;
    EXPECT_EQ(afterLine("Curve:\t2", bezier).curveKind, 2);
    EXPECT_EQ(afterLine("Curve:\t3", bezier).curveKind, 1);
    EXPECT_EQ(afterLine("Curve:\t-1", bezier).curveKind, 1);

    Settings max;
    max.blending = 1;
    EXPECT_EQ(afterLine("Blending:\t3", max).blending, 0);
    EXPECT_EQ(afterLine("Blending:\t2", max).blending, 2);
    EXPECT_EQ(afterLine("AlphaCalculation:\t3").alphaCalculation, 0);
    EXPECT_EQ(afterLine("AlphaCalculation:\t0").alphaCalculation, 0);
    EXPECT_EQ(afterLine("GradientCalculation:\t5").gradientCalculation, 0);
    EXPECT_EQ(afterLine("GradientCalculation:\t2").gradientCalculation, 2);
    EXPECT_TRUE(afterLine("AlphaCorrection:\t7").alphaCorrection);
    EXPECT_FALSE(afterLine("Projection:\t0").perspective);
    EXPECT_TRUE(afterLine("Projection:\t-5").perspective);

    Settings bg = afterLine("BG Color:\t1.5,-1,nan");
    EXPECT_EQ(bg.background[0], 1.0f);
    EXPECT_EQ(bg.background[1], 0.0f);
    EXPECT_EQ(bg.background[2], 0.0f);

    Settings placed = unusual();
    EXPECT_EQ(afterLine("Size:\t0,0", placed).width, 812);
    EXPECT_EQ(afterLine("Size:\t100000,600", placed).width, 812);
    EXPECT_EQ(afterLine("Size:\t-1,-1", placed).height, -1);
    EXPECT_EQ(afterLine("Size:\t1024,768", placed).height, 768);
    EXPECT_EQ(afterLine("Position:\t-1,-1", placed).x, -1);
    EXPECT_EQ(afterLine("Position:\t50000,0", placed).x, 17);
    EXPECT_EQ(afterLine("Position:\t-200,30", placed).x, -200);
}

TEST(SettingsFile, DamagedLinesKeepThePreviousValue)
{
    const Settings before = unusual();
    const char* damaged[] = {
        "Sampling:\tabc",
        "Sampling:\t12abc",
        "Sampling:\t99999999999",
        "Sampling:",
        "Sampling\t12",
        "Sampling:\t++12",
        "BG Color:\t0.5,0.5",
        "BG Color:\t0.5;0.5;0.5",
        "Size:\t800",
        "Aplha test:\t1e99999",
        "Curve:\t",
        "Filtering:\t0.5",
        "sampling:\t12",
    };
    for (const char* line : damaged) {
        Settings s = before;
        EXPECT_EQ(parseSettings(line, s), 0) << line;
        expectSame(s, before);
    }
    // Missing lines keep their values; the others apply in any order.
    Settings s = before;
    EXPECT_EQ(parseSettings("Filtering:\t1\r\nSampling:\t+10\r\nnoise\r\n", s), 2);
    EXPECT_EQ(s.sampling, 10);
    EXPECT_EQ(s.halfSampling, 5);
    EXPECT_EQ(s.textureFilter, 9729.0f);
    EXPECT_FALSE(s.perspective);
    EXPECT_EQ(s.width, 812);
    // The first line of a key counts.
    s = before;
    parseSettings("Sampling:\t20\nSampling:\t30\nBBox:\tx\nBBox:\t1", s);
    EXPECT_EQ(s.sampling, 20);
    EXPECT_FALSE(s.showBBox);
}

TEST(SettingsFile, GarbageAndHugeFilesStayInRange)
{
    std::mt19937 rng(1234);
    // Random bytes, NULs included.
    for (int round = 0; round < 200; ++round) {
        std::string junk(1 + rng() % 2000, '\0');
        for (char& c : junk)
            c = static_cast<char>(rng() & 0xff);
        Settings s;
        parseSettings(junk, s);
        expectInRange(s);
    }
    // A real file with bytes changed here and there.
    for (int round = 0; round < 2000; ++round) {
        std::string text = kUnusualFile;
        const int changes = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < changes; ++k) {
            const char pool[] = "0123456789-+.,:\t\r\n eEnaif9";
            text[rng() % text.size()] = (rng() & 1) ? pool[rng() % (sizeof pool - 1)]
                                                    : static_cast<char>(rng() & 0xff);
        }
        Settings s;
        parseSettings(text, s);
        expectInRange(s);
        if (HasFailure()) {
            ADD_FAILURE() << text;
            break;
        }
    }
    // Only the head of a huge file is read: lines past it are not applied.
    testsupport::TempDir tmp;
    std::string big = "Sampling:\t20\r\n" + std::string(8 * 1024 * 1024, 'x') + "\r\nBBox:\t0\r\n";
    ASSERT_TRUE(testsupport::writeFile(tmp.file("glimra.ini"), big));
    Settings s;
    ASSERT_TRUE(readSettingsFile(tmp.file("glimra.ini"), s));
    EXPECT_EQ(s.sampling, 20);
    EXPECT_TRUE(s.showBBox);
    // A number cut at the limit is not taken.
    std::string cut = std::string(kMaxSettingsFileBytes - 14, '\n') + "Sampling:\t123456";
    Settings c;
    parseSettings(cut, c);
    EXPECT_EQ(c.sampling, 64);
    std::string fits = std::string(kMaxSettingsFileBytes - 14, '\n') + "Sampling:\t12";
    parseSettings(fits, c);
    EXPECT_EQ(c.sampling, 12);
}

// The core objects saved and restored around a test.
class LiveSettings : public ::testing::Test
{
protected:
    void SetUp() override { gatherCoreSettings(saved); }
    void TearDown() override { applyCoreSettings(saved); }
    Settings saved;
    testsupport::TempDir tmp;
};

TEST_F(LiveSettings, LoadReachesTheVolumeRenderModeAndFilter)
{
    const std::string path = tmp.file("glimra.ini");
    ASSERT_TRUE(testsupport::writeFile(path, kUnusualFile));
    CoreSettingsTarget target;
    ASSERT_TRUE(loadSettings(target, path));
    EXPECT_FALSE(volume.perspective);
    EXPECT_EQ(volume.background[1], 0.123457f);
    EXPECT_EQ(volume.sampling, 301);
    EXPECT_EQ(volume.halfSampling, 150);
    EXPECT_EQ(volume.alphaThreshold, 0.3f);
    EXPECT_EQ(volume.alphaFunc, static_cast<GLenum>(GL_LESS));
    EXPECT_EQ(volume.blending, 2);
    EXPECT_FALSE(volume.showBBox);
    EXPECT_EQ(volume.getAlphaCalculation(), 2);
    EXPECT_EQ(volume.getGradientCalculation(), 3);
    EXPECT_TRUE(volume.getAlphaCorrection());
    EXPECT_EQ(textureFilter, static_cast<float>(GL_NEAREST));
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), 11);
    EXPECT_EQ(RenderMode::instance().getClassification(), 3);
    EXPECT_FALSE(target.window.autosave);
    EXPECT_EQ(target.window.x, 17);

    // Saving writes the same bytes back.
    ASSERT_TRUE(saveSettings(target, tmp.file("again.ini")));
    EXPECT_EQ(testsupport::readFile(tmp.file("again.ini")), kUnusualFile);

    // A missing file leaves everything as it is.
    EXPECT_FALSE(loadSettings(target, tmp.file("missing.ini")));
    EXPECT_EQ(volume.sampling, 301);
}

TEST_F(LiveSettings, CurveKindReachesAllFourCurvesAndProjectionTheVolume)
{
    const std::string path = tmp.file("glimra.ini");
    CoreSettingsTarget target;
    // Before the transfer function exists the kind is kept for it.
    ASSERT_TRUE(testsupport::writeFile(path, "Curve:\t2\r\nProjection:\t0"));
    ASSERT_EQ(transfer, nullptr);
    ASSERT_TRUE(loadSettings(target, path));
    EXPECT_FALSE(volume.perspective);
    Settings s;
    target.gather(s);
    EXPECT_EQ(s.curveKind, 2);

    TransferFunction tf(256, TransferFunction::NoGL{});
    transfer = &tf;
    ASSERT_TRUE(testsupport::writeFile(path, "Curve:\t1\r\nProjection:\t1"));
    ASSERT_TRUE(loadSettings(target, path));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(tf.curve(c).getKind(), 1) << c;
    EXPECT_TRUE(volume.perspective);
    tf.curve(0).setKind(2);
    target.gather(s);
    EXPECT_EQ(s.curveKind, 2); // the red curve's kind is the one written
    transfer = nullptr;
}

TEST_F(LiveSettings, TheViewersTargetServesItsCalls)
{
    CoreSettingsTarget target;
    Viewer viewer;
    viewer.setSettingsTarget(&target);
    EXPECT_EQ(&viewer.settings(), &target);
    viewer.setSettingsTarget(nullptr);
    EXPECT_NE(&viewer.settings(), &target);
    EXPECT_STREQ(kSettingsFileName, "glimra.ini");
}

TEST_F(LiveSettings, AutosaveOffWithoutAFileWritesNothing)
{
    const std::string path = tmp.file("glimra.ini");
    CoreSettingsTarget target;
    target.apply(unusual());
    Settings before;
    target.gather(before);
    EXPECT_FALSE(rewriteSettingsAutosaveOff(target, path));
    EXPECT_FALSE(testsupport::fileExists(path));
    Settings after;
    target.gather(after);
    expectSame(after, before);
}

TEST_F(LiveSettings, AutosaveOffKeepsTheFileAndRestoresLoadTimeSettings)
{
    const std::string path = tmp.file("glimra.ini");
    ASSERT_TRUE(testsupport::writeFile(path, kUnusualFile));
    // Running: defaults with autosave just switched off, the four load-time
    // values and a few others changed since the file was written.
    CoreSettingsTarget target;
    Settings running;
    running.autosave = false;
    running.sampling = 100;
    running.halfSampling = 50;
    running.alphaCalculation = 0;
    running.gradientCalculation = 1;
    running.alphaCorrection = false;
    running.textureFilter = 9729.0f;
    target.apply(running);

    ASSERT_TRUE(rewriteSettingsAutosaveOff(target, path));
    std::string expected = kUnusualFile; // already "Autosave:\t0"
    EXPECT_EQ(testsupport::readFile(path), expected);
    EXPECT_EQ(volume.getAlphaCalculation(), 2);
    EXPECT_EQ(volume.getGradientCalculation(), 3);
    EXPECT_TRUE(volume.getAlphaCorrection());
    EXPECT_EQ(textureFilter, 9728.0f);
    // The rest of the running settings are not touched.
    EXPECT_EQ(volume.sampling, 100);
    EXPECT_TRUE(volume.perspective);
    EXPECT_FALSE(target.window.autosave);

    // A file saved with autosave on gets only its Autosave line changed.
    Settings on = unusual();
    on.autosave = true;
    ASSERT_TRUE(writeSettingsFile(path, on));
    ASSERT_TRUE(rewriteSettingsAutosaveOff(target, path));
    EXPECT_EQ(testsupport::readFile(path), kUnusualFile);

}

TEST_F(LiveSettings, ProgramCallsUseTheWorkingDirectoryAndTheViewersTarget)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    CoreSettingsTarget target;
    Viewer viewer;
    viewer.setSettingsTarget(&target);
    Settings s = unusual();
    s.autosave = true;
    target.apply(s);
    EXPECT_FALSE(viewer.readSettingsFile());
    EXPECT_TRUE(viewer.saveSettingsFile());
    std::string onFile = kUnusualFile;
    onFile.replace(onFile.find("Autosave:\t0"), 11, "Autosave:\t1");
    EXPECT_EQ(testsupport::readFile(tmp.file("glimra.ini")), onFile);

    target.window.autosave = true;
    viewer.autosaveSwitched(true); // nothing to do
    EXPECT_EQ(testsupport::readFile(tmp.file("glimra.ini")), onFile);
    target.window.autosave = false;
    viewer.autosaveSwitched(false);
    EXPECT_EQ(testsupport::readFile(tmp.file("glimra.ini")), kUnusualFile);

    target.apply(Settings());
    EXPECT_TRUE(viewer.readSettingsFile());
    EXPECT_EQ(volume.sampling, 301);
    EXPECT_FALSE(target.window.autosave);
    ASSERT_EQ(chdir(cwd), 0);
}

} // namespace
