// "glimra.ini" through the real program: read at start, written at exit.
#include "gui_support.h"
#include "settings_sample.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

std::string withoutCr(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

guitest::ProgramRun runWith(const testsupport::TempDir& tmp, const std::string* ini)
{
    const std::string dir = tmp.file("run");
    testsupport::runCommand("mkdir -p '" + dir + "'");
    if (ini)
        testsupport::writeFile(dir + "/glimra.ini", *ini);
    return guitest::runGlimra(dir, {});
}

TEST(SettingsProgram, PreparedFileIsWrittenBackUnchangedAtExit)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const guitest::ProgramRun run = runWith(tmp, &kPreparedSettings);
    ASSERT_TRUE(run.windowSeen) << run.err;
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(run.workDir + "/glimra.ini"), kPreparedSettings);
}

TEST(SettingsProgram, LineFeedFileIsReadAndWrittenWithCrLf)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string lf = withoutCr(kPreparedSettings);
    const guitest::ProgramRun run = runWith(tmp, &lf);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(testsupport::readFile(run.workDir + "/glimra.ini"), kPreparedSettings);
}

TEST(SettingsProgram, AutosaveOffLeavesTheFileAlone)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    std::string off = kPreparedSettings;
    off.replace(off.find("Autosave:\t1"), 11, "Autosave:\t0");
    off.replace(off.find("Sampling:\t200"), 13, "Sampling:\t900"); // would be written as 64
    const guitest::ProgramRun run = runWith(tmp, &off);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(testsupport::readFile(run.workDir + "/glimra.ini"), off);
}

TEST(SettingsProgram, NoFileWritesTheDefaults)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const guitest::ProgramRun run = runWith(tmp, nullptr);
    ASSERT_TRUE(run.exited);
    const std::string written = testsupport::readFile(run.workDir + "/glimra.ini");
    const std::string head = "Projection:\t1\r\n"
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
                             "Size:\t";
    const std::string tail = "\r\nSpeedup:\t1\r\n"
                             "AlphaCalculation:\t1\r\n"
                             "GradientCalculation:\t4\r\n"
                             "AlphaCorrection:\t0\r\n"
                             "Filtering:\t1";
    EXPECT_EQ(written.substr(0, head.size()), head) << written;
    ASSERT_GE(written.size(), tail.size());
    EXPECT_EQ(written.substr(written.size() - tail.size()), tail) << written;
}

TEST(SettingsProgram, DamagedFileStartsAndIsReplacedBySaneValues)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    std::string junk = "Sampling:\t99999\r\nAplha test:\tnan\r\nFiltering:\t7\r\nCurve:\t9\r\n"
                       "Size:\t0,0\r\nPosition:\t30,40\r\n";
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 131 + 7) & 0xff);
    const guitest::ProgramRun run = runWith(tmp, &junk);
    ASSERT_TRUE(run.windowSeen) << run.err;
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitStatus, 0);
    const std::string written = testsupport::readFile(run.workDir + "/glimra.ini");
    EXPECT_NE(written.find("Sampling:\t64\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Aplha test:\t0.000000\r\n"), std::string::npos);
    EXPECT_NE(written.find("Curve:\t0\r\n"), std::string::npos);
    EXPECT_NE(written.find("Position:\t30,40\r\n"), std::string::npos);
    EXPECT_NE(written.find("Filtering:\t1"), std::string::npos);
    EXPECT_EQ(written.find("Size:\t0,0"), std::string::npos);
}

} // namespace
