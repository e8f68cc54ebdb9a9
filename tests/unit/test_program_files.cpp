// Where the program files are looked for, and in which order.
#include "program_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> paths(const std::vector<ProgramFilesPlace>& places)
{
    std::vector<std::string> out;
    for (const ProgramFilesPlace& p : places)
        out.push_back(p.path);
    return out;
}

// A file system that holds exactly these folders.
std::function<bool(const std::string&)> holding(std::set<std::string> folders)
{
    return [folders](const std::string& path) { return folders.count(path) > 0; };
}

} // namespace

// The order; an unknown executable or prefix leaves its places out; an
// executable in the root folder.
TEST(ProgramFiles, PlacesInOrder)
{
    const auto places = programFilesPlaces("Cg", "/opt/glimra/bin", "/usr/local");
    EXPECT_EQ(paths(places), (std::vector<std::string>{"../Cg/", "/opt/glimra/Cg/", "/opt/glimra/share/glimra/Cg/",
                                                       "/usr/local/share/glimra/Cg/"}));
    EXPECT_EQ(places[0].kind, "working directory");
    EXPECT_EQ(places[3].kind, "install prefix");
    EXPECT_EQ(paths(programFilesPlaces("Cg", "", "")), (std::vector<std::string>{"../Cg/"}));
    EXPECT_EQ(paths(programFilesPlaces("Cg", "", "/usr/")),
              (std::vector<std::string>{"../Cg/", "/usr/share/glimra/Cg/"}));
    EXPECT_EQ(paths(programFilesPlaces("Cg", "/", "")),
              (std::vector<std::string>{"../Cg/", "/Cg/", "/share/glimra/Cg/"}));
}

TEST(ProgramFiles, FirstExistingWins)
{
    const auto places = programFilesPlaces("Cg", "/work/glimra/build", "/usr");
    // Everything there: the working directory's, as the program always ran.
    EXPECT_EQ(firstExistingPlace(places, holding({"../Cg/", "/work/glimra/Cg/", "/usr/share/glimra/Cg/"})), 0);
    // The build tree before an installed copy.
    EXPECT_EQ(firstExistingPlace(places, holding({"/work/glimra/Cg/", "/usr/share/glimra/Cg/"})), 1);
    EXPECT_EQ(firstExistingPlace(places, holding({"/usr/share/glimra/Cg/"})), 3);
    EXPECT_EQ(firstExistingPlace(places, holding({})), -1);
    // An unpacked package anywhere finds its own files before the prefix's.
    const auto unpacked = programFilesPlaces("Cg", "/tmp/x/usr/bin", "/usr");
    EXPECT_EQ(firstExistingPlace(unpacked, holding({"/tmp/x/usr/share/glimra/Cg/", "/usr/share/glimra/Cg/"})), 2);
}

TEST(ProgramFiles, ReportIsOneLine)
{
    const auto places = programFilesPlaces("Cg", "/usr/bin", "/usr");
    EXPECT_EQ(programFilesReport("Cg", places, 2),
              "Program files (Cg): /usr/share/glimra/Cg/ (beside the executable).\n");
    // The prefix's place is the one beside the executable: named once.
    EXPECT_EQ(programFilesReport("Cg", places, -1),
              "Program files (Cg): none found in ../Cg/, /usr/Cg/, /usr/share/glimra/Cg/.\n");
    EXPECT_EQ(programFilesReport("Cg", places, 3), programFilesReport("Cg", places, -1));
}

TEST(ProgramFiles, RealSearchFromAnUnrelatedFolder)
{
    // A folder beside an empty working directory is "../Cg/", whatever the
    // executable's places hold; the test program lies in BUILD/tests.
    testsupport::TempDir tmp;
    ASSERT_EQ(::mkdir(tmp.file("a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(tmp.file("Cg").c_str(), 0755), 0);
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(tmp.file("a").c_str()), 0);
    std::string report;
    const std::string found = findProgramFiles("Cg", &report);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(found, "../Cg/");
    EXPECT_EQ(report, "Program files (Cg): ../Cg/ (working directory).\n");
    char build[PATH_MAX];
    ASSERT_NE(::realpath(testsupport::buildDir().c_str(), build), nullptr);
    EXPECT_EQ(executableDirectory(), std::string(build) + "/tests");
}
