// Start-up and shutdown of the real windows inside the test process.
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(Startup, NoArgumentsOpensEmptyWindow)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    ASSERT_NE(g_pMainFrame, nullptr);
    EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra");
    EXPECT_EQ(g_pMainFrame->dataInfo, "No data loaded.");
    EXPECT_TRUE(g_pMainFrame->autosave);
    EXPECT_TRUE(g_pMainFrame->IsShown());
    EXPECT_NE(g_pMainFrame->myGLcanvas, nullptr);
    EXPECT_FALSE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    ASSERT_TRUE(app.close());
    const std::string log = app.log();
    EXPECT_NE(log.find("---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n\r\n"
                       "=========== LOG end ===========\r\n"),
              std::string::npos)
        << log;
}

TEST(Startup, DataOptionAsLastArgumentLoadsNothing)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({"-d"}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_FALSE(volume.isData);
    EXPECT_EQ(g_pMainFrame->dataInfo, "No data loaded.");
    EXPECT_TRUE(app.close());
}

TEST(Startup, EscapeInMainWindowCloses)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    wxKeyEvent key(wxEVT_CHAR);
    key.m_keyCode = WXK_ESCAPE;
    key.SetEventObject(g_pMainFrame);
    g_pMainFrame->GetEventHandler()->ProcessEvent(key);
    for (int i = 0; i < 100 && g_pMainFrame; ++i)
        guitest::InProcessGlimra::pump(10);
    EXPECT_EQ(g_pMainFrame, nullptr);
    EXPECT_NE(app.log().find("=========== LOG end ===========\r\n"), std::string::npos);
}

} // namespace

#include "sample_volumes.h"

namespace {


TEST(Startup, SecondDataOptionWins)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string a = guitest::writeSample(tmp, "types-uchar", "first.zvf");
    const std::string b = guitest::writeSample(tmp, "types-uint16", "second.zvf");
    ASSERT_FALSE(b.empty());
    guitest::InProcessGlimra app({"-d", a, "-d", b}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(volume.isData);
    EXPECT_TRUE(volume.showVolume);
    EXPECT_FALSE(volume.isMask);
    EXPECT_EQ(g_pMainFrame->dataInfo.rfind("Data file name:\tsecond.zvf\n", 0), 0u)
        << g_pMainFrame->dataInfo;
    EXPECT_TRUE(app.close());
    EXPECT_FALSE(volume.isData);
}

TEST(Startup, MaskOptionAfterDataOptionIsTheDataFileName)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string mask = guitest::writeSample(tmp, "types-uchar", "x");
    guitest::InProcessGlimra app({"-d", "-m", mask}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    // "-m" was taken as the data file, which does not exist; no mask follows.
    EXPECT_FALSE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    EXPECT_EQ(volume.tidMask, 0u);
    EXPECT_TRUE(app.close());
}

TEST(Startup, MaskWithoutDataIsIgnored)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string mask = guitest::writeSample(tmp, "types-uchar", "mask.zvf");
    guitest::InProcessGlimra app({"-m", mask}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_FALSE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    EXPECT_EQ(volume.tidMask, 0u);
    EXPECT_EQ(g_pMainFrame->dataInfo, "No data loaded.");
    // Not silently: a box says why.
    ASSERT_EQ(app.boxes().size(), 1u);
    EXPECT_EQ(app.boxes()[0].first,
              "The mask \"mask.zvf\" was not loaded: a mask goes with the data it masks (-d DATA -m MASK).");
    EXPECT_EQ(app.boxes()[0].second, "Warning");
    EXPECT_TRUE(app.close());
}

TEST(Startup, ShutdownReleasesEverythingALoadRegistered)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string data = guitest::writeSample(tmp, "types-uint16", "data.zvf");
    guitest::InProcessGlimra app({"-d", data}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(volume.isData);
    EXPECT_TRUE(app.close());
    EXPECT_FALSE(volume.isData);
    const std::string log = app.log();
    EXPECT_NE(log.find("\r\n\r\n---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n\r\n"
                       "=========== LOG end ===========\r\n"),
              std::string::npos)
        << log;
}

} // namespace

#include "transfer_function.h"

namespace {

TEST(Startup, PaletteOptionAloneLoadsThePalette)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    TransferFunction expected(256, TransferFunction::NoGL());
    int x = 255, y = 100;
    ASSERT_TRUE(expected.curve(CHANNEL_ALPHA).setPoint(1, x, y));
    expected.refreshCurves();
    expected.build(true);
    ASSERT_TRUE(expected.writeFile(tmp.file("half.pal")));

    // The saved settings make every curve Bezier; the palette load makes them linear.
    ::mkdir(tmp.file("run").c_str(), 0755);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("run/glimra.ini"), "Curve:\t1\r\n"));
    guitest::InProcessGlimra app({"-p", tmp.file("half.pal")}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    ASSERT_NE(transfer, nullptr);
    EXPECT_FALSE(volume.isData);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(transfer->curve(c).getKind(), 0) << c; // all linear after the load
    const unsigned char* got = transfer->getPalette();
    const unsigned char* want = expected.getPalette();
    for (int i = 0; i < 256 * 4; i += 4 * 15) {
        EXPECT_EQ(got[i + 3], want[i + 3]) << "alpha entry " << i / 4;
        EXPECT_EQ(got[i + 0], want[i + 0]) << "red entry " << i / 4;
    }
    EXPECT_EQ(got[255 * 4 + 3], 100);
    EXPECT_TRUE(app.close());
}

// A "-p" file that is no palette is refused with a warning box naming it,
// with data and without; the log says what is wrong with it.
TEST(Startup, ABadPaletteOptionIsRefusedWithABox)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    ASSERT_TRUE(testsupport::writeFile(tmp.file("bad.pal"), "no table\n"));
    const std::string data = guitest::writeSample(tmp, "types-uchar", "data.zvf");
    ASSERT_FALSE(data.empty());
    for (const bool withData : {false, true}) {
        SCOPED_TRACE(withData ? "with -d" : "without -d");
        std::vector<std::string> args = {"-p", tmp.file("bad.pal")};
        if (withData)
            args.insert(args.begin(), {"-d", data});
        guitest::InProcessGlimra app(args, tmp.file("run"));
        ASSERT_TRUE(app.started());
        EXPECT_EQ(volume.isData, withData);
        EXPECT_EQ(app.boxes(), (std::vector<std::pair<std::string, std::string>>{
                                   {"The palette \"bad.pal\" could not be read.", "Warning"}}));
        EXPECT_NE(app.log().find("Not supported pallete file format. (The point list is damaged)"),
                  std::string::npos);
        EXPECT_TRUE(app.close());
    }
}

} // namespace

namespace {

bool menuEnabled(int id)
{
    return g_pMainFrame->GetMenuBar()->IsEnabled(id);
}

TEST(Startup, MenusFollowTheDriverAndTheData)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    // The program files, where the program looks for them: "../Cg/".
    ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    wxMenuBar* bar = g_pMainFrame->GetMenuBar();
    // Mesa has 3-D textures and min/max blending: the labels stay as they are.
    EXPECT_EQ(bar->GetLabel(30012), "3D Texture OAS");
    EXPECT_EQ(bar->GetLabel(30014), "Maximum Intensity");
    EXPECT_TRUE(menuEnabled(30012));
    // No data: no mask; no mask and no multi-band data: no focus and context, no multi volume.
    EXPECT_FALSE(menuEnabled(20008));
    EXPECT_FALSE(menuEnabled(57612));
    EXPECT_FALSE(menuEnabled(57613));
    EXPECT_TRUE(menuEnabled(10008));
    // Every program file is there: the shaded styles and the ray caster are offered.
    for (int id : {ID_STYLE_NORMAL_TEXTURE, ID_STYLE_NORMAL_FRAGMENT, ID_STYLE_LIGHT_GRADMAG, ID_STYLE_LIGHT2,
                   ID_STYLE_RAY_CASTING})
        EXPECT_TRUE(menuEnabled(id)) << id;
    const std::string log = app.log();
    EXPECT_EQ(log.find("is not created correctly."), std::string::npos) << log;
    EXPECT_EQ(log.find("profile not supported."), std::string::npos) << log;
    EXPECT_TRUE(app.close());
}

TEST(Startup, LoadedDataEnablesLoadMask)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string data = guitest::writeSample(tmp, "types-uchar", "data.zvf");
    guitest::InProcessGlimra app({"-d", data}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(volume.isData);
    EXPECT_TRUE(menuEnabled(20008));
    EXPECT_TRUE(app.close());
}

} // namespace
