// The recent-files list: newest first, each path once, at most eight, and a
// damaged list file read within bounds.
#include "recent_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(RecentFiles, NewestFirstEachOnceAtMostEight)
{
    RecentFiles r;
    for (int i = 0; i < 10; ++i)
        r.add("/d/" + std::to_string(i));
    ASSERT_EQ(r.files().size(), 8u);
    EXPECT_EQ(r.files().front(), "/d/9");
    EXPECT_EQ(r.files().back(), "/d/2");
    r.add("/d/5");
    EXPECT_EQ(r.files().front(), "/d/5");
    EXPECT_EQ(r.files()[1], "/d/9");
    EXPECT_EQ(r.files().size(), 8u);
    r.add("");
    r.add("/a\nb");
    r.add(std::string(5000, 'x'));
    EXPECT_EQ(r.files().front(), "/d/5");
}

TEST(RecentFiles, WrittenAndReadBack)
{
    testsupport::TempDir dir;
    RecentFiles r;
    r.add("/data/one.nii");
    r.add("/data/two files.dat");
    ASSERT_TRUE(r.write(dir.file("recent")));
    EXPECT_EQ(testsupport::readFile(dir.file("recent")), "/data/two files.dat\n/data/one.nii\n");
    RecentFiles back;
    ASSERT_TRUE(back.read(dir.file("recent")));
    EXPECT_EQ(back.files(), r.files());
    EXPECT_FALSE(back.read(dir.file("missing")));
    EXPECT_TRUE(back.files().empty());
}

TEST(RecentFiles, DamagedListsAreReadWithinBounds)
{
    testsupport::TempDir dir;
    // CR LF ends, empty lines, a repeat, an overlong line, no final line feed.
    std::string text = "/a\r\n\n/b\n/a\n" + std::string(5000, 'y') + "\n/c";
    ASSERT_TRUE(testsupport::writeFile(dir.file("list"), text));
    RecentFiles r;
    ASSERT_TRUE(r.read(dir.file("list")));
    EXPECT_EQ(r.files(), (std::vector<std::string>{"/a", "/b", "/c"}));
    // A huge file: only the first eight paths are taken.
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "/p" + std::to_string(i) + "\n";
    ASSERT_TRUE(testsupport::writeFile(dir.file("many"), many));
    ASSERT_TRUE(r.read(dir.file("many")));
    ASSERT_EQ(r.files().size(), 8u);
    EXPECT_EQ(r.files().back(), "/p7");
    // Bytes that are no text at all are paths like any other, each once.
    ASSERT_TRUE(testsupport::writeFile(dir.file("binary"), std::string("\0\x01\xff\n\0\x01\xff\n", 8)));
    ASSERT_TRUE(r.read(dir.file("binary")));
    EXPECT_EQ(r.files().size(), 1u);
}
