// The curves kept from one run to the next: the note's bytes, the tables
// that come back for the same unchanged data file (kinds and free-hand
// paintings included), and every way the note can fail to fit, which
// leaves the curves alone.
#include "remembered_curves.h"
#include "file_facts.h"
#include "test_support.h"
#include "transfer_function.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>

namespace {

class Remembered : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = dir.file("head.raw");
        ASSERT_TRUE(testsupport::writeFile(data, "abc"));
        ASSERT_TRUE(stampData(data, &stamp));
    }
    // A 4096-entry transfer function the user shaped: a bent alpha ramp, a
    // Bezier red, a free-hand green, blue as it started.
    static void shape(TransferFunction& tf)
    {
        const CurvePoint alpha[4] = {{0, 0, 0}, {1000, 0, 0}, {3000, 200, 0}, {4095, 255, 0}};
        tf.curve(CHANNEL_ALPHA).setControlPoints(alpha, 4, "alpha");
        const CurvePoint red[3] = {{0, 255, 0}, {2048, 10, 0}, {4095, 128, 0}};
        tf.curve(CHANNEL_RED).setControlPoints(red, 3, "red");
        tf.curve(CHANNEL_RED).setKind(CURVE_BEZIER);
        tf.curve(CHANNEL_GREEN).setKind(CURVE_FREE);
        tf.refreshCurves();
        unsigned char* green = tf.curve(CHANNEL_GREEN).table();
        for (int i = 0; i < 4096; ++i)
            green[i] = static_cast<unsigned char>((i * 7) % 251);
        tf.build(true);
    }
    // Every channel's table and the palette equal, entry for entry.
    static void expectSameTables(const TransferFunction& a, const TransferFunction& b)
    {
        ASSERT_EQ(a.getTableSize(), b.getTableSize());
        const int n = a.getTableSize();
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(a.curve(c).getKind(), b.curve(c).getKind()) << c;
            EXPECT_TRUE(std::equal(a.curve(c).table(), a.curve(c).table() + n, b.curve(c).table())) << "curve " << c;
        }
        EXPECT_TRUE(std::equal(a.getPalette(), a.getPalette() + 4 * n, b.getPalette())) << "palette";
    }

    testsupport::TempDir dir;
    std::string data;
    DataStamp stamp;
    RememberedCurves kept{dir.file("curves.pal"), dir.file("curves.txt")};
};

TEST_F(Remembered, NoteNamesTheDataAndTheCurvesComeBackWhole)
{
    TransferFunction shaped(4096, TransferFunction::NoGL());
    shape(shaped);
    ASSERT_TRUE(kept.write(shaped, data));

    EXPECT_EQ(stamp.path, data);
    EXPECT_EQ(stamp.size, 3u);
    const std::string note = testsupport::readFile(dir.file("curves.txt"));
    const std::string head = "Data:\t" + data + "\r\nSize:\t3\r\nModified:\t" + std::to_string(stamp.modified) +
                             "\r\nKinds:\t1 2 0 0\r\nPainted 1:\t0 7 14 21 ";
    EXPECT_EQ(note.substr(0, head.size()), head);
    // Only the free-hand curve has its table in the note, all 4096 values.
    EXPECT_EQ(note.find("Painted", head.size()), std::string::npos);
    EXPECT_EQ(note.substr(note.size() - 8), " 44 51\r\n");
    const size_t painted = note.find("Painted 1:\t") + 11;
    EXPECT_EQ(std::count(note.begin() + painted, note.end(), ' '), 4095);
    // The curves themselves are an ordinary palette file, CR LF.
    const std::string red = "3\r\n0.000000 1.000000\r\n0.500122 0.039216\r\n1.000000 0.501961\r\n\r\n";
    EXPECT_EQ(testsupport::readFile(dir.file("curves.pal")).substr(0, red.size()), red);

    TransferFunction next(4096, TransferFunction::NoGL());
    ASSERT_TRUE(kept.read(next, data));
    EXPECT_FALSE(next.userCurves()); // another data file gets its fitted guess
    next.build(true);
    expectSameTables(shaped, next);
}

TEST_F(Remembered, AnotherOrChangedFileOrADamagedNoteLeavesTheCurves)
{
    TransferFunction shaped(4096, TransferFunction::NoGL());
    shape(shaped);
    ASSERT_TRUE(kept.write(shaped, data));
    const std::string note = testsupport::readFile(dir.file("curves.txt"));
    TransferFunction fresh(4096, TransferFunction::NoGL());
    TransferFunction tf(4096, TransferFunction::NoGL());
    tf.setUserCurves(true);

    // Another file with the same bytes.
    const std::string copy = dir.file("copy.raw");
    ASSERT_TRUE(testsupport::writeFile(copy, "abc"));
    EXPECT_FALSE(kept.read(tf, copy));
    // The same file grown by a byte.
    ASSERT_TRUE(testsupport::writeFile(data, "abcd"));
    EXPECT_FALSE(kept.read(tf, data));
    ASSERT_TRUE(testsupport::writeFile(data, "abc"));
    // The same name, another modification time.
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, data.c_str(), times, 0), 0);
    EXPECT_FALSE(kept.read(tf, data));
    ASSERT_TRUE(kept.write(shaped, data));
    const std::string renewed = testsupport::readFile(dir.file("curves.txt"));
    EXPECT_NE(renewed.find("\r\nModified:\t1000000000\r\n"), std::string::npos);
    // A table of another size cannot take the painting.
    TransferFunction small(256, TransferFunction::NoGL());
    EXPECT_FALSE(kept.read(small, data));
    // Kinds beyond free-hand, a painted value beyond 255, a painting cut short.
    for (const auto& damage : {std::make_pair(std::string("Kinds:\t1 2 0 0"), std::string("Kinds:\t1 3 0 0")),
                               std::make_pair(std::string("Painted 1:\t0 7"), std::string("Painted 1:\t256 7")),
                               std::make_pair(std::string(" 44 51\r\n"), std::string(" 44\r\n"))}) {
        std::string bad = renewed;
        bad.replace(bad.find(damage.first), damage.first.size(), damage.second);
        ASSERT_TRUE(testsupport::writeFile(dir.file("curves.txt"), bad));
        EXPECT_FALSE(kept.read(tf, data)) << damage.second;
    }
    // A note without its palette file.
    ASSERT_TRUE(testsupport::writeFile(dir.file("curves.txt"), renewed));
    ASSERT_EQ(std::remove(dir.file("curves.pal").c_str()), 0);
    EXPECT_FALSE(kept.read(tf, data));
    // Nothing was touched, nor the user's claim to the curves.
    EXPECT_TRUE(tf.userCurves());
    tf.build(true);
    fresh.build(true);
    expectSameTables(fresh, tf);

    // Kept nowhere, nothing is written or read; a data file that is not there
    // is not remembered.
    RememberedCurves nowhere;
    EXPECT_FALSE(nowhere.write(shaped, data));
    EXPECT_FALSE(nowhere.read(tf, data));
    EXPECT_FALSE(kept.write(shaped, dir.file("gone.raw")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("curves.pal")));
    // Curves that cannot be written take the old note with them, so that it
    // never names curves it was not written with.
    RememberedCurves unwritable(dir.file("missing/curves.pal"), dir.file("curves.txt"));
    ASSERT_TRUE(testsupport::fileExists(dir.file("curves.txt")));
    EXPECT_FALSE(unwritable.write(shaped, data));
    EXPECT_FALSE(testsupport::fileExists(dir.file("curves.txt")));
}

} // namespace
