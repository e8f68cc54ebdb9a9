// Files dropped on the main window: data sets through the action File > Open
// uses, palettes and lookup tables as "-p" reads them, other files refused
// with a warning naming them; the drop target the window really has.
#include "command_ids.h"
#include "canvas_main.h"
#include "file_drop.h"
#include "gui_support.h"
#include "load.h"
#include "menu_main.h"
#include "test_support.h"
#include "transfer_function.h"
#include "volume.h"

#include <zvf.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

class FileDrop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        std::vector<uint8_t> bytes(12 * 10 * 6);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i);
        ASSERT_EQ(zvfWriteCubGrid(tmp.file("data.zvf").c_str(), bytes.data(), 12, 10, 6, 1, zvfUChar, nullptr, 0), 1);
        ASSERT_TRUE(testsupport::writeFile(tmp.file("cube.raw"), std::string(8 * 8 * 8, '\x60')));
        ASSERT_TRUE(testsupport::writeFile(
            tmp.file("cube.dat"), "ObjectFileName: cube.raw\nResolution: 8 8 8\nSliceThickness: 1 1 1\nFormat: UCHAR\n"));
        // Red everywhere, no green or blue, alpha rising to 0.2.
        ASSERT_TRUE(testsupport::writeFile(tmp.file("red.pal"), "2\n0.000000 1.000000\n1.000000 1.000000\n\n"
                                                                "2\n0.000000 0.000000\n1.000000 0.000000\n\n"
                                                                "2\n0.000000 0.000000\n1.000000 0.000000\n\n"
                                                                "2\n0.000000 0.000000\n1.000000 0.200000\n\n"));
        ASSERT_TRUE(testsupport::writeFile(tmp.file("grey.pal"), "2\n0.000000 0.000000\n1.000000 1.000000\n\n"
                                                                 "2\n0.000000 0.000000\n1.000000 1.000000\n\n"
                                                                 "2\n0.000000 0.000000\n1.000000 1.000000\n\n"
                                                                 "2\n0.000000 0.000000\n1.000000 1.000000\n\n"));
        ASSERT_TRUE(testsupport::writeFile(tmp.file("notes.png"), "not a volume"));
    }

    // Palette entry i, channel c.
    static int entry(int i, int c) { return transfer->getPalette()[4 * i + c]; }

    testsupport::TempDir tmp;
};

} // namespace

TEST_F(FileDrop, KindsByTheEndOfTheName)
{
    const std::pair<const char*, DroppedKind> cases[] = {
        {"/a/head.zvf", DroppedKind::Data},    {"head.dat", DroppedKind::Data},
        {"x/tf.pal", DroppedKind::Palette},     {"lut.txt", DroppedKind::Palette},
        {"head.ZVF", DroppedKind::Data},       {"head.zvf.gz", DroppedKind::Other},
        {"a/zvf", DroppedKind::Other},         {"", DroppedKind::Other},
        {"brain.nii.gz", DroppedKind::Data},   {"ct/IM0001.dcm", DroppedKind::Data},
        {"cells.tif", DroppedKind::Data},      {"scan.mha", DroppedKind::Data},
        {"big/cells.zarr", DroppedKind::Data}, {"big/cells.zarr/.zattrs", DroppedKind::Data},
    };
    for (const auto& c : cases)
        EXPECT_EQ(droppedFileKind(c.first), c.second) << c.first;
}

// Each kind through the action: data as after Open, a palette and a lookup
// table as "-p" reads them, another file refused with its name.
TEST_F(FileDrop, EachKindOpensLikeItsCommand)
{
    SKIP_WITHOUT_DISPLAY();
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    ASSERT_NE(transfer, nullptr);

    EXPECT_TRUE(openDroppedFile(*g_pMainFrame, tmp.file("data.zvf")));
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(volume.resolution[0], 12);
    EXPECT_EQ(volume.resolution[2], 6);
    EXPECT_TRUE(g_pMainFrame->GetMenuBar()->IsEnabled(ID_LOAD_MASK));
    EXPECT_EQ(transfer->getFileName(), tmp.file("data.zvf"));
    EXPECT_NE(app.log().find("data path: " + tmp.file("data.zvf")), std::string::npos);

    const unsigned long uploads = transfer->getUploadCount();
    EXPECT_TRUE(openDroppedFile(*g_pMainFrame, tmp.file("red.pal")));
    EXPECT_GT(transfer->getUploadCount(), uploads);
    for (int i : {0, 128, 255}) {
        EXPECT_EQ(entry(i, 0), 255) << i;
        EXPECT_EQ(entry(i, 1), 0) << i;
        EXPECT_EQ(entry(i, 2), 0) << i;
    }
    EXPECT_NEAR(entry(255, 3), 51, 1);
    // The same table as a lookup-table file, read back over a grey ramp.
    ASSERT_TRUE(transfer->writeFile(tmp.file("red.txt")));
    EXPECT_TRUE(openDroppedFile(*g_pMainFrame, tmp.file("grey.pal")));
    EXPECT_EQ(entry(255, 1), 255);
    EXPECT_TRUE(openDroppedFile(*g_pMainFrame, tmp.file("red.txt")));
    EXPECT_EQ(entry(255, 0), 255);
    EXPECT_EQ(entry(255, 1), 0);
    EXPECT_NEAR(entry(255, 3), 51, 1);
    EXPECT_TRUE(app.boxes().empty());

    const std::string info = g_pMainFrame->dataInfo;
    EXPECT_FALSE(openDroppedFile(*g_pMainFrame, tmp.file("notes.png")));
    EXPECT_FALSE(openDroppedFile(*g_pMainFrame, tmp.file("missing.pal")));
    EXPECT_EQ(app.boxes(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"\"notes.png\" cannot be opened here: drop a data set (.zvf, .dat, .nii, .nrrd, .mha, "
                   ".dcm, .tif, a DICOM folder or an OME-Zarr folder) or a palette (.pal, .txt).",
                   "Warning"},
                  {"The palette \"missing.pal\" could not be read.", "Warning"}}));
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(g_pMainFrame->dataInfo, info);
    EXPECT_TRUE(app.close());
}

// The window's view carries a drop target; several files are taken in turn.
TEST_F(FileDrop, ViewTakesSeveralFilesInTurn)
{
    SKIP_WITHOUT_DISPLAY();
    guitest::InProcessGlimra app({"-d", tmp.file("data.zvf")}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    auto* target = dynamic_cast<MainDropTarget*>(g_pMainFrame->myGLcanvas->GetDropTarget());
    ASSERT_NE(target, nullptr);
    EXPECT_NE(dynamic_cast<MainDropTarget*>(g_pMainFrame->GetDropTarget()), nullptr);
    wxArrayString files;
    files.Add(tmp.file("notes.png"));
    files.Add(tmp.file("cube.dat"));
    EXPECT_TRUE(target->OnDropFiles(10, 10, files));
    EXPECT_EQ(app.boxes().size(), 1u);
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(volume.resolution[0], 8);
    EXPECT_EQ(volume.resolution[2], 8);
    EXPECT_NE(g_pMainFrame->dataInfo.find("ObjectFileName:\tcube.raw"), std::string::npos);
    files.Clear();
    files.Add(tmp.file("notes.png"));
    EXPECT_FALSE(target->OnDropFiles(10, 10, files));
    EXPECT_EQ(volume.resolution[0], 8);
    EXPECT_TRUE(app.close());
}
