// Foreign readers in a child process: the answer on the pipe checked field
// by field, and a child that dies, hangs, exits or refuses leaves the caller
// running with a message naming the file.
#include "error_handling.h"
#include "reader_process.h"
#include "test_support.h"
#include "voxel_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// A 5 x 3 x 2 volume of two shorts per voxel.
void makeVolume(VolumeFile* v)
{
    v->type = VOXEL_SHORT;
    v->resolution[0] = 5;
    v->resolution[1] = 3;
    v->resolution[2] = 2;
    v->spacing[0] = 0.5f;
    v->spacing[1] = 0.75f;
    v->spacing[2] = 2.0f;
    v->bands = 2;
    v->bandMajor = true;
    v->bigEndianValues = true;
    v->info = "Data file name: x.nii\nRatio: 1 2 3\n";
    v->ratioAt = 22;
    // Oblique: x turned a little towards anterior, y reversed.
    v->oriented = true;
    const float d[9] = {0.8f, 0.6f, 0, 0.6f, -0.8f, 0, 0, 0, 1};
    std::memcpy(v->direction, d, sizeof d);
    GUARDED_VOXELS_AS(v->data, "tmpdata", 5 * 3 * 2 * 2 * sizeof(int16_t));
    int16_t* p = static_cast<int16_t*>(v->data);
    for (int i = 0; i < 60; ++i)
        p[i] = static_cast<int16_t>(i * 1000 - 30000);
}

std::string answerOf(bool ok, const VolumeFile& v, const std::string& why)
{
    std::string bytes;
    EXPECT_TRUE(writeReaderAnswer(
        [&bytes](const void* p, size_t n) {
            bytes.append(static_cast<const char*>(p), n);
            return true;
        },
        ok, v, why));
    return bytes;
}

ReaderAnswer readBack(const std::string& bytes, VolumeFile* out, std::string* text, uint64_t available = 0)
{
    size_t at = 0;
    return readReaderAnswer(
        [&](void* p, size_t n) {
            if (n > bytes.size() - at)
                return false;
            std::memcpy(p, bytes.data() + at, n);
            at += n;
            return true;
        },
        available, out, text);
}

// Offsets of the fixed fields in a volume answer: magic (8), kind (4), then
// type, resolution[3], spacing[3], bands (4 each), three flags, five unused
// bytes, ratioAt (8), info length (4), the number of time points (4), the
// direction (nine floats), four reserved bytes; the text follows.
const size_t kType = 12, kResolution = 16, kSpacing = 28, kBands = 40, kFlags = 44, kInfoLength = 60,
             kDirection = 68, kReserved = 104, kText = 108;

template <typename T> void put(std::string* bytes, size_t at, T value)
{
    std::memcpy(&(*bytes)[at], &value, sizeof value);
}

class ReaderProcess : public ::testing::Test
{
protected:
    void TearDown() override
    {
        readerChildHook = nullptr;
        setReaderTimeLimit(60.0);
        EXPECT_EQ(g_garbageCollector.count(), baseline);
    }
    uint32_t baseline = g_garbageCollector.count();
};

// A reader that hands out the volume above.
bool readSample(VolumeFile* out, std::string*)
{
    makeVolume(out);
    return true;
}

} // namespace

TEST_F(ReaderProcess, AnswersRoundTripFieldForField)
{
    VolumeFile v;
    makeVolume(&v);
    VolumeFile back;
    std::string text;
    ASSERT_EQ(readBack(answerOf(true, v, ""), &back, &text), ReaderAnswer::Volume) << text;
    EXPECT_EQ(back.type, VOXEL_SHORT);
    EXPECT_EQ(back.resolution[0], 5);
    EXPECT_EQ(back.resolution[2], 2);
    EXPECT_EQ(back.spacing[1], 0.75f);
    EXPECT_EQ(back.bands, 2);
    EXPECT_TRUE(back.bandMajor);
    EXPECT_TRUE(back.bigEndianValues);
    EXPECT_EQ(back.info, v.info);
    EXPECT_EQ(back.ratioAt, 22u);
    EXPECT_TRUE(back.oriented);
    EXPECT_EQ(std::memcmp(back.direction, v.direction, sizeof v.direction), 0);
    EXPECT_EQ(std::memcmp(back.data, v.data, 120), 0);
    // No ratio position, and a refusal passed on as it was written.
    v.ratioAt = std::string::npos;
    ASSERT_EQ(readBack(answerOf(true, v, ""), &back, &text), ReaderAnswer::Volume);
    EXPECT_EQ(back.ratioAt, std::string::npos);
    VolumeFile none;
    EXPECT_EQ(readBack(answerOf(false, none, "/x/a.nii: 7 dimensions; a volume has 2 to 4"), &back, &text),
              ReaderAnswer::Refusal);
    EXPECT_EQ(text, "/x/a.nii: 7 dimensions; a volume has 2 to 4");
    EXPECT_EQ(back.data, nullptr);
}

TEST_F(ReaderProcess, DamagedAnswersAreRefusedBeforeAnythingIsAllocated)
{
    VolumeFile v;
    makeVolume(&v);
    const std::string good = answerOf(true, v, "");
    VolumeFile back;
    std::string text;
    // Cut anywhere: malformed, nothing held.
    for (size_t n = 0; n < good.size(); ++n) {
        ASSERT_EQ(readBack(good.substr(0, n), &back, &text), ReaderAnswer::Malformed) << n;
        ASSERT_EQ(back.data, nullptr) << n;
    }
    struct
    {
        size_t at;
        int32_t value;
        const char* says;
    } damage[] = {
        {kType, 0x1234, "a malformed answer: unknown voxel type 4660"},
        {kResolution + 4, 0, "a malformed answer: resolution 0 out of range"},
        {kResolution + 8, (1 << 20) + 1, "a malformed answer: resolution 1048577 out of range"},
        {kBands, 1025, "a malformed answer: 1025 bands out of range"},
        {kFlags, 0x0102, "a malformed answer: flags out of range"},
        {kFlags, 0x020101, "a malformed answer: flags out of range"},
        {kReserved, 1, "a malformed answer: reserved bytes set"},
        {kDirection + 4, 0x7fc00000, "a malformed answer: direction out of range"},
        {kInfoLength, 5 << 20, "a malformed answer: information text of 5242880 bytes"},
        {kInfoLength, 10, "a malformed answer: ratio position beyond the information text"},
        {0, 0x44524c46, "no answer"},
    };
    for (const auto& d : damage) {
        std::string bad = good;
        put(&bad, d.at, d.value);
        EXPECT_EQ(readBack(bad, &back, &text), ReaderAnswer::Malformed) << d.says;
        EXPECT_EQ(text, d.says);
        EXPECT_EQ(back.data, nullptr);
    }
    std::string nan = good;
    put(&nan, kSpacing + 8, std::nanf(""));
    EXPECT_EQ(readBack(nan, &back, &text), ReaderAnswer::Malformed);
    EXPECT_EQ(text, "a malformed answer: spacing out of range");
    // The voxel count the header makes must be the one that follows.
    std::string count = good;
    put(&count, kText + v.info.size(), static_cast<uint64_t>(121));
    EXPECT_EQ(readBack(count, &back, &text), ReaderAnswer::Malformed);
    EXPECT_EQ(text, "a malformed answer: the voxels are not as the header says");
    std::string end = good;
    end.back() ^= 1;
    EXPECT_EQ(readBack(end, &back, &text), ReaderAnswer::Malformed);
    EXPECT_EQ(back.data, nullptr);
    // Sound, but more than the memory at hand: nothing is allocated.
    EXPECT_EQ(readBack(good, &back, &text, 100), ReaderAnswer::Malformed);
    EXPECT_EQ(text, "its volume of 1 MB is more than the 1 MB at hand");
    EXPECT_EQ(back.data, nullptr);
}

TEST_F(ReaderProcess, AChildHandsItsVolumeOver)
{
    VolumeFile out;
    std::string why;
    ASSERT_TRUE(readInChild("/tmp/sample.nii", readSample, &out, &why)) << why;
    VolumeFile want;
    makeVolume(&want);
    EXPECT_EQ(out.resolution[1], 3);
    EXPECT_EQ(out.info, want.info);
    EXPECT_EQ(std::memcmp(out.data, want.data, 120), 0);
    // A refusal comes back word for word.
    EXPECT_FALSE(readInChild(
        "/tmp/x.nrrd",
        [](VolumeFile*, std::string* w) {
            *w = "/tmp/x.nrrd: unsupported voxel type long double";
            return false;
        },
        &out, &why));
    EXPECT_EQ(why, "/tmp/x.nrrd: unsupported voxel type long double");
    EXPECT_EQ(out.data, nullptr);
}

// The size a child announces before it reads only prepares room: true,
// wrong, absurd or followed by a refusal or a death, the answer decides
// what arrives, and nothing prepared outlives the read.
TEST_F(ReaderProcess, TheAnnouncedSizeOnlyPreparesRoom)
{
    VolumeFile want;
    makeVolume(&want);
    for (uint64_t announced : {uint64_t(120), uint64_t(64), uint64_t(1) << 20, UINT64_MAX, uint64_t(0)}) {
        SCOPED_TRACE(announced);
        VolumeFile out;
        std::string why;
        ASSERT_TRUE(readInChild(
            "/tmp/sample.nii",
            [announced](VolumeFile* v, std::string* w) {
                readerExpectsBytes(announced);
                readerExpectsBytes(7); // only the first is told
                return readSample(v, w);
            },
            &out, &why))
            << why;
        EXPECT_EQ(std::memcmp(out.data, want.data, 120), 0);
        EXPECT_EQ(out.bands, 2);
        EXPECT_FALSE(readInChild(
            "/tmp/x.nii",
            [announced](VolumeFile*, std::string* w) {
                readerExpectsBytes(announced);
                *w = "/tmp/x.nii: no";
                return false;
            },
            &out, &why));
        EXPECT_EQ(why, "/tmp/x.nii: no");
        EXPECT_FALSE(readInChild(
            "/tmp/x.nii",
            [announced](VolumeFile*, std::string*) -> bool {
                readerExpectsBytes(announced);
                std::raise(SIGSEGV);
                return false;
            },
            &out, &why));
        EXPECT_EQ(why.rfind("/tmp/x.nii: the reader stopped (", 0), 0u) << why;
        EXPECT_EQ(out.data, nullptr);
    }
    // Outside a child it does nothing.
    readerExpectsBytes(120);
    VolumeFile direct;
    std::string why;
    EXPECT_TRUE(readSample(&direct, &why));
}

TEST_F(ReaderProcess, AChildThatDiesHangsOrExitsIsNamed)
{
    VolumeFile out;
    std::string why;
    readerChildHook = [] { std::raise(SIGSEGV); };
    EXPECT_FALSE(readInChild("/tmp/a.mha", readSample, &out, &why));
    EXPECT_EQ(why, "/tmp/a.mha: the reader stopped (Segmentation fault)");
    readerChildHook = [] { _exit(3); };
    EXPECT_FALSE(readInChild("/tmp/b.mha", readSample, &out, &why));
    EXPECT_EQ(why, "/tmp/b.mha: the reader stopped (exit status 3)");
    setReaderTimeLimit(0.3);
    readerChildHook = [] {
        for (;;)
            pause();
    };
    EXPECT_FALSE(readInChild("/tmp/c.mha", readSample, &out, &why));
    EXPECT_EQ(why, "/tmp/c.mha: the reader stopped (no answer within 1 s)");
    EXPECT_EQ(out.data, nullptr);
}

#if !defined(__SANITIZE_ADDRESS__)
// A reader that allocates past what its file declares runs out of memory
// in the child instead of taking the machine's.
TEST_F(ReaderProcess, TheChildIsHeldToWhatTheFileDeclares)
{
    VolumeFile out;
    std::string why;
    EXPECT_FALSE(readInChild(
        "/tmp/d.nii",
        [](VolumeFile*, std::string*) {
            readerDeclaredBytes(1 << 20);
            void* p = std::malloc(size_t(2) << 30);
            _exit(p ? 5 : 4);
            return false;
        },
        &out, &why));
    EXPECT_EQ(why, "/tmp/d.nii: the reader stopped (exit status 4)");
}
#endif

// Fuzz findings that ended the program inside the MetaImage library (a
// division by zero; a field copied past its buffer, which the library's
// fortified build aborts on) are refused with the reason, and this process
// goes on.
TEST_F(ReaderProcess, FilesThatEndTheLibraryAreRefused)
{
    const struct
    {
        const char* finding;
        const char* reason;
    } cases[] = {{"metaimage-fpe", "Floating point exception"}, {"metaimage-field-overflow", "Aborted"}};
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        const std::string finding = testsupport::readFile(std::string(GLIMRA_SOURCE_DIR) +
                                                          "/tests/fuzz/corpus/load_foreign/" + c.finding);
        ASSERT_GT(finding.size(), 100u) << c.finding;
        const std::string path = dir.file(std::string(c.finding) + ".mha");
        ASSERT_TRUE(testsupport::writeFile(path, finding.substr(1)));
        VolumeFile out;
        std::string why;
        EXPECT_FALSE(readVolume(path, &out, &why));
        EXPECT_EQ(why, path + ": the reader stopped (" + c.reason + ")");
        EXPECT_EQ(out.data, nullptr);
    }
    // The same reading goes on working.
    VolumeFile out;
    std::string why;
    EXPECT_FALSE(readVolume(dir.file("absent.mha"), &out, &why));
    EXPECT_EQ(why, dir.file("absent.mha") + ": cannot be opened");
}

namespace {

// A child's volume of 48 x 64 x 40 bytes, read in four parts of kPart.
const size_t kVolumeBytes = 48 * 64 * 40, kPart = kVolumeBytes / 4;

unsigned char valueAt(size_t i, int value)
{
    return static_cast<unsigned char>(value < 0 ? (i * 7) & 0xff : value);
}

char* childVolume(VolumeFile* v)
{
    v->type = VOXEL_UCHAR;
    v->resolution[0] = 48;
    v->resolution[1] = 64;
    v->resolution[2] = 40;
    GUARDED_VOXELS_AS(v->data, "tmpdata", kVolumeBytes);
    return static_cast<char*>(v->data);
}

// Bytes [from, to) of p: value, or when negative (i * 7) & 0xff.
void fill(char* p, size_t from, size_t to, int value = -1)
{
    for (size_t i = from; i < to; ++i)
        p[i] = static_cast<char>(valueAt(i, value));
}

size_t wrongBytes(const VolumeFile& v, int value = -1)
{
    size_t wrong = 0;
    for (size_t i = 0; i < kVolumeBytes; ++i)
        wrong += static_cast<const unsigned char*>(v.data)[i] != valueAt(i, value);
    return wrong;
}

} // namespace

// Parts a child says are final are copied while it reads on; in line or
// not (beyond the size, backwards, another buffer, before the size), what
// arrives is the volume the answer names, byte for byte. A child that dies
// between parts is named as any other.
TEST_F(ReaderProcess, VoxelsToldFinalArriveAsTheChildLeftThem)
{
    const struct
    {
        const char* name;
        uint64_t told[4]; // bytes said final after each part
        ptrdiff_t shift;  // of the address told, from the buffer's
        bool early;       // a word before the size
    } cases[] = {
        {"in line", {kPart, 2 * kPart, 3 * kPart, kVolumeBytes}, 0, false},
        {"beyond the size", {kPart, kVolumeBytes + 1, 3 * kPart, kVolumeBytes}, 0, false},
        {"backwards", {2 * kPart, kPart, 3 * kPart, kVolumeBytes}, 0, false},
        {"the same twice", {kPart, kPart, 3 * kPart, kVolumeBytes}, 0, false},
        {"another buffer", {kPart, 2 * kPart, 3 * kPart, 3 * kPart}, 4096, false},
        {"before the size", {kPart, 2 * kPart, 3 * kPart, kVolumeBytes}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VolumeFile out;
        std::string why;
        ASSERT_TRUE(readInChild(
            "/tmp/parts.nii",
            [&c](VolumeFile* v, std::string*) {
                if (c.early)
                    readerVoxelsFinal(nullptr, kVolumeBytes);
                readerExpectsBytes(kVolumeBytes);
                char* p = childVolume(v);
                // Slow parts, as of a large file: each is copied before
                // the next is told.
                for (size_t part = 0; part < 4; ++part) {
                    fill(p, part * kPart, (part + 1) * kPart);
                    readerVoxelsFinal(p + c.shift, c.told[part]);
                    usleep(20000);
                }
                return true;
            },
            &out, &why))
            << why;
        EXPECT_EQ(wrongBytes(out), 0u);
        out.release();
    }
    VolumeFile out;
    std::string why;
    EXPECT_FALSE(readInChild(
        "/tmp/half.nii",
        [](VolumeFile* v, std::string*) -> bool {
            readerExpectsBytes(kVolumeBytes);
            char* p = childVolume(v);
            fill(p, 0, 2 * kPart);
            readerVoxelsFinal(p, 2 * kPart);
            std::raise(SIGSEGV);
            return true;
        },
        &out, &why));
    EXPECT_EQ(why, "/tmp/half.nii: the reader stopped (Segmentation fault)");
    EXPECT_EQ(out.data, nullptr);
    readerVoxelsFinal(nullptr, 1); // outside a child: nothing
}

// Voxels a child says lie as stored in the file it was given are read here
// from there, and the child reads nothing; for another file, a file that
// does not hold them, or after parts were told, the child reads them.
TEST_F(ReaderProcess, VoxelsLyingInTheFileAreReadHere)
{
    testsupport::TempDir dir;
    std::string bytes(352, 'h');
    for (size_t i = 0; i < kVolumeBytes; ++i)
        bytes += static_cast<char>(valueAt(i, -1));
    const std::string file = dir.file("in.nii"), copy = dir.file("copy.nii"), cut = dir.file("cut.nii");
    ASSERT_TRUE(testsupport::writeFile(file, bytes) && testsupport::writeFile(copy, bytes) &&
                testsupport::writeFile(cut, bytes.substr(0, bytes.size() - 1)));
    const struct
    {
        std::string named, told; // the file readInChild is given, and the one the child names
        uint64_t offset;
        bool partFirst, readHere;
    } cases[] = {
        {file, file, 352, false, true}, {file, copy, 352, false, false}, {file, file, 353, false, false},
        {cut, cut, 352, false, false},  {file, file, 352, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told + " at " + std::to_string(c.offset));
        VolumeFile out;
        std::string why;
        ASSERT_TRUE(readInChild(
            c.named,
            [&c](VolumeFile* v, std::string*) {
                readerExpectsBytes(kVolumeBytes);
                char* p = childVolume(v);
                if (c.partFirst) {
                    fill(p, 0, kPart, 0xee);
                    readerVoxelsFinal(p, kPart);
                }
                if (!readerVoxelsInFile(p, c.told, c.offset)) // else p stays as it is
                    fill(p, c.partFirst ? kPart : 0, kVolumeBytes, 0xee);
                return true;
            },
            &out, &why))
            << why;
        EXPECT_EQ(wrongBytes(out, c.readHere ? -1 : 0xee), 0u);
        out.release();
    }
    char none = 0;
    EXPECT_FALSE(readerVoxelsInFile(&none, file, 352)); // outside a child
}

// The tunables that ask glibc's malloc for large pages, added to those
// given; none when the setting is there already (set either way).
TEST(LargePages, TunablesAddTheSettingOnce)
{
    EXPECT_EQ(largePageTunables(nullptr), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(largePageTunables(""), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(largePageTunables("glibc.malloc.check=3"), "glibc.malloc.check=3:glibc.malloc.hugetlb=1");
    EXPECT_EQ(largePageTunables("glibc.malloc.hugetlb=1"), "");
    EXPECT_EQ(largePageTunables("glibc.malloc.check=3:glibc.malloc.hugetlb=0"), "");
}

// A reader forked ahead waits for its path: it reads the path and time
// point it is then given, once, and a read forks no other process first.
// One that died while it waited gives way to a fresh one; one that dies
// reading is named like any other; dropped, it is gone.
TEST_F(ReaderProcess, AReaderForkedAheadReadsThePathItIsGiven)
{
    // The volume says what it was asked: x the path's length, y the time point + 1.
    const ReadRequest read = [](const std::string& path, size_t t, VolumeFile* v, std::string* why) {
        if (path.find("crash") != std::string::npos)
            std::raise(SIGSEGV);
        if (path.find("refuse") != std::string::npos) {
            *why = path + ": refused";
            return false;
        }
        makeVolume(v);
        v->resolution[0] = static_cast<int>(path.size());
        v->resolution[1] = static_cast<int>(t) + 1;
        v->resolution[2] = 1;
        v->bands = 1;
        return true;
    };
    dropReaderChild();
    EXPECT_EQ(readerChildWaiting(), 0);
    prepareReaderChild(read);
    const int first = readerChildWaiting();
    ASSERT_GT(first, 0);
    prepareReaderChild(read); // one waits already
    EXPECT_EQ(readerChildWaiting(), first);
    VolumeFile out;
    std::string why;
    ASSERT_TRUE(readInStandby("/tmp/twelve.nii", 4, read, &out, &why)) << why;
    EXPECT_EQ(out.resolution[0], 15);
    EXPECT_EQ(out.resolution[1], 5);
    EXPECT_EQ(readerChildWaiting(), 0);

    prepareReaderChild(read);
    EXPECT_FALSE(readInStandby("/tmp/refuse.nii", 0, read, &out, &why));
    EXPECT_EQ(why, "/tmp/refuse.nii: refused");
    prepareReaderChild(read);
    EXPECT_FALSE(readInStandby("/tmp/crash.nii", 0, read, &out, &why));
    EXPECT_EQ(why, "/tmp/crash.nii: the reader stopped (Segmentation fault)");
    EXPECT_EQ(out.data, nullptr);

    // Killed while it waited: the read still comes, from a fresh child.
    prepareReaderChild(read);
    const int killed = readerChildWaiting();
    ASSERT_EQ(kill(killed, SIGKILL), 0);
    ASSERT_TRUE(readInStandby("/tmp/a.nii", 0, read, &out, &why)) << why;
    EXPECT_EQ(out.resolution[0], 10);
    EXPECT_NE(kill(killed, 0), 0);

    // Without one waiting, the read forks it; dropped, it is gone.
    ASSERT_TRUE(readInStandby("/tmp/ab.nii", 1, read, &out, &why)) << why;
    EXPECT_EQ(out.resolution[0], 11);
    EXPECT_EQ(out.resolution[1], 2);
    prepareReaderChild(read);
    const int dropped = readerChildWaiting();
    dropReaderChild();
    EXPECT_EQ(readerChildWaiting(), 0);
    EXPECT_NE(kill(dropped, 0), 0);
}
