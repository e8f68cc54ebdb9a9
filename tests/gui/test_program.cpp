// The real program as a child process under the X display.
#include "gui_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const char* const kUsage = "glimra --- basic volume renderer\n"
                           "usage: glimra [options]\n"
                           "options:\n"
                           "\t-d STRING .......... 3D data input file\n"
                           "\t-p STRING .......... palette input file\n"
                           "\t-m STRING .......... 3D mask input file\n";

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Program, NoArgumentsPrintsUsageOpensWindowAndClosesCleanly)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const guitest::ProgramRun run = guitest::runGlimra(tmp.file("run"), {});
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.windowSeen) << run.err;
    ASSERT_TRUE(run.exited) << "no clean shutdown";
    EXPECT_EQ(run.exitStatus, 0);
    // The console channel's banner, the usage text, then whatever the start-up
    // reports (program files not shipped yet, say), and the end banner last.
    EXPECT_EQ(run.out.rfind(std::string("=========== LOG start ===========\n") + kUsage, 0), 0u)
        << run.out;
    EXPECT_TRUE(endsWith(run.out, "\n=========== LOG end ===========\n")) << run.out;
    // log.txt: start banner, the empty registry report, end banner.
    EXPECT_EQ(run.log.rfind("=========== LOG start ===========\r\n", 0), 0u) << run.log;
    EXPECT_TRUE(endsWith(run.log, "\r\n\r\n---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n\r\n"
                                  "=========== LOG end ===========\r\n"))
        << run.log;
}

// The window runs with glibc's large-page setting (the system here gives
// large pages on request), added to the tunables it was started with, and
// says so; GLIMRA_SMALL_PAGES keeps it from restarting. Started once: one
// usage text, under the program's own name.
TEST(Program, RunsWithLargePagesUnlessToldNot)
{
    SKIP_WITHOUT_DISPLAY();
    const std::string thp = testsupport::readFile("/sys/kernel/mm/transparent_hugepage/enabled");
    if (thp.empty() || thp.find("[never]") != std::string::npos)
        GTEST_SKIP() << "no large pages here";
    const std::string note = "Large pages for large blocks (glibc.malloc.hugetlb=1).\n";
    for (bool small : {false, true}) {
        testsupport::TempDir tmp;
        ::setenv("GLIBC_TUNABLES", "glibc.malloc.check=0", 1);
        if (small)
            ::setenv("GLIMRA_SMALL_PAGES", "1", 1);
        std::string name;
        const guitest::ProgramRun run = guitest::runGlimra(tmp.file("run"), {}, [&](int pid) {
            name = testsupport::readFile("/proc/" + std::to_string(pid) + "/comm");
        });
        ::unsetenv("GLIBC_TUNABLES");
        ::unsetenv("GLIMRA_SMALL_PAGES");
        ASSERT_TRUE(run.exited) << run.err;
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out.find(note) != std::string::npos, !small) << run.out;
        EXPECT_EQ(run.out.find(kUsage), run.out.rfind(kUsage)) << run.out;
        EXPECT_EQ(name, "glimra\n");
    }
}

TEST(Program, UsageIsPrintedWhateverTheArguments)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const guitest::ProgramRun run = guitest::runGlimra(tmp.file("run"), {"plain", "words", "-d"});
    ASSERT_TRUE(run.exited);
    EXPECT_NE(run.out.find(kUsage), std::string::npos) << run.out;
    EXPECT_TRUE(endsWith(run.log, "---GARBAGE COLLECTOR---\r\n\r\n=========== LOG end ===========\r\n"));
}

// "--help" prints the usage and ends with status 0, an unknown option adds
// its name on standard error and ends with 2: no window, no display needed,
// and the last run's log stays.
TEST(Program, HelpAndUnknownOptionsEndBeforeTheWindow)
{
    testsupport::TempDir tmp;
    ASSERT_TRUE(testsupport::writeFile(tmp.file("log.txt"), "the last run"));
    const std::string glimra = testsupport::buildDir() + "/glimra";
    std::string out;
    EXPECT_EQ(testsupport::runCommand("cd '" + tmp.path() + "' && DISPLAY= '" + glimra + "' --help 2>/dev/null", &out),
              0);
    EXPECT_EQ(out, kUsage);
    std::string refused;
    EXPECT_EQ(testsupport::runCommand("cd '" + tmp.path() + "' && DISPLAY= '" + glimra + "' -d x.zvf --sampling 3 2>&1",
                                      &refused),
              2);
    EXPECT_EQ(refused, std::string("glimra: unknown option --sampling\n") + kUsage);
    EXPECT_EQ(testsupport::readFile(tmp.file("log.txt")), "the last run");
}

TEST(Program, FindsTheBuildTreesProgramFilesFromAnyFolder)
{
    SKIP_WITHOUT_DISPLAY();
    // build/glimra's tree: the Cg folder beside the build folder.
    const std::string buildDir = testsupport::buildDir();
    const std::string cg = buildDir.substr(0, buildDir.find_last_of('/')) + "/Cg/";
    if (!testsupport::fileExists(cg + "raycast_fp.cg"))
        GTEST_SKIP() << "the build folder is not directly below the sources";
    testsupport::TempDir tmp;
    // "../Cg" is a plain file here, so it is not the program folder (and
    // runGlimra links nothing in its place).
    ASSERT_TRUE(testsupport::writeFile(tmp.file("Cg"), "not a folder"));
    const guitest::ProgramRun run = guitest::runGlimra(tmp.file("run"), {});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_NE(run.out.find(std::string(kUsage) + "Program files (Cg): " + cg + " (build tree).\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("is not created correctly"), std::string::npos) << run.out;
    EXPECT_NE(run.log.find("Program files (Cg): " + cg + " (build tree).\r\n"), std::string::npos) << run.log;
}

} // namespace
