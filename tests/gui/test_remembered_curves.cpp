// The transfer function survives an exit: the curves of the window's last
// run come back when it starts again with the same data file, "-p" wins over
// them, and another file starts with its fitted guess. "glimra.ini" keeps
// its 19 lines; with autosave off nothing is written. The program ended by a
// termination request keeps them too.
#include "gui_support.h"
#include "menu_main.h"
#include "test_support.h"
#include "transfer_function.h"
#include "wx_startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

namespace {

// The transfer function's RGBA palette as it is now.
std::string paletteNow()
{
    return transfer ? std::string(reinterpret_cast<const char*>(transfer->getPalette()), 4 * transfer->getTableSize())
                    : std::string();
}

TEST(RememberedCurves, BackAfterARestartWithTheSameDataOnly)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string run = tmp.file("run");
    ::mkdir(run.c_str(), 0755);
    const std::string data = guitest::writeSample(tmp, "phantom", "data.zvf");
    const std::string copy = guitest::writeSample(tmp, "phantom", "copy.zvf");
    ASSERT_FALSE(data.empty());
    ASSERT_FALSE(copy.empty());
    std::string fitted, edited;
    {
        SCOPED_TRACE("first run: the fitted guess, edited by the user");
        guitest::InProcessGlimra app({"-d", data}, run);
        ASSERT_TRUE(app.started());
        ASSERT_NE(transfer, nullptr);
        fitted = paletteNow();
        const CurvePoint alpha[3] = {{0, 0, 0}, {3000, 60, 0}, {4095, 255, 0}};
        transfer->curve(CHANNEL_ALPHA).setControlPoints(alpha, 3, "alpha");
        transfer->refreshCurves();
        transfer->build(true);
        edited = paletteNow();
        ASSERT_NE(edited, fitted);
        ASSERT_TRUE(app.close());
    }
    const std::string note = testsupport::readFile(run + "/" + kRememberedNoteName);
    EXPECT_EQ(note.rfind("Data:\t" + data + "\r\n", 0), 0u) << note;
    EXPECT_TRUE(testsupport::fileExists(run + "/" + kRememberedCurvesName));
    const std::string ini = testsupport::readFile(run + "/glimra.ini");
    EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 18) << ini;
    {
        SCOPED_TRACE("second run, the same data: the edited curves");
        guitest::InProcessGlimra app({"-d", data}, run);
        ASSERT_TRUE(app.started());
        EXPECT_TRUE(paletteNow() == edited);
        EXPECT_NE(app.log().find("The transfer function of the last run with \"data.zvf\" is back."),
                  std::string::npos);
        ASSERT_TRUE(app.close());
    }
    // A palette given with -p: flat 30 in every channel.
    TransferFunction flat(4096, TransferFunction::NoGL());
    const CurvePoint level[2] = {{0, 30, 0}, {4095, 30, 0}};
    for (int c = 0; c < 4; ++c)
        flat.curve(c).setControlPoints(level, 2, "flat");
    flat.refreshCurves();
    flat.build(true);
    ASSERT_TRUE(flat.writeFile(tmp.file("flat.pal")));
    {
        SCOPED_TRACE("third run, the same data and -p: the palette");
        guitest::InProcessGlimra app({"-d", data, "-p", tmp.file("flat.pal")}, run);
        ASSERT_TRUE(app.started());
        EXPECT_TRUE(paletteNow() == std::string(reinterpret_cast<const char*>(flat.getPalette()), 4 * 4096));
        ASSERT_TRUE(app.close());
    }
    {
        SCOPED_TRACE("fourth run, another file with the same bytes: fitted");
        guitest::InProcessGlimra app({"-d", copy}, run);
        ASSERT_TRUE(app.started());
        EXPECT_TRUE(paletteNow() == fitted);
        ASSERT_TRUE(app.close());
    }
    const std::string copyNote = testsupport::readFile(run + "/" + kRememberedNoteName);
    EXPECT_EQ(copyNote.rfind("Data:\t" + copy + "\r\n", 0), 0u);
    const std::string copyCurves = testsupport::readFile(run + "/" + kRememberedCurvesName);
    {
        SCOPED_TRACE("fifth run, the first file again, autosave off: fitted, and the files stay as they are");
        guitest::InProcessGlimra app({"-d", data}, run);
        ASSERT_TRUE(app.started());
        EXPECT_TRUE(paletteNow() == fitted);
        g_pMainFrame->autosave = false;
        transfer->resetAll();
        ASSERT_TRUE(app.close());
    }
    EXPECT_EQ(testsupport::readFile(run + "/" + kRememberedNoteName), copyNote);
    EXPECT_TRUE(testsupport::readFile(run + "/" + kRememberedCurvesName) == copyCurves);
}

// The program itself, ended by a termination request as a desktop ends it:
// the curves of the first run come back in the second.
TEST(RememberedCurves, TheProgramEndedByTerminationKeepsThem)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string data = guitest::writeSample(tmp, "types-uchar", "data.zvf");
    ASSERT_FALSE(data.empty());
    const guitest::ProgramRun first = guitest::runGlimra(tmp.file("run"), {"-d", data});
    ASSERT_TRUE(first.exited) << first.err;
    EXPECT_EQ(first.log.find("of the last run"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(tmp.file("run/glimra-curves.txt")).rfind("Data:\t" + data + "\r\n", 0), 0u);
    const guitest::ProgramRun second = guitest::runGlimra(tmp.file("run"), {"-d", data});
    ASSERT_TRUE(second.exited) << second.err;
    EXPECT_NE(second.log.find("The transfer function of the last run with \"data.zvf\" is back.\r\n"),
              std::string::npos)
        << second.log;
}

} // namespace
