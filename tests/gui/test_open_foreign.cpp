// Volumes of other programs in the real window: "-d" and dropped files open
// NIfTI and DICOM; a damaged file is refused with a box naming it while the
// data on screen stay.
#include "command_ids.h"
#include "file_drop.h"
#include "gui_support.h"
#include "load.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

class OpenForeign : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
    }
    testsupport::TempDir tmp;
};

} // namespace

TEST_F(OpenForeign, NiftiFromTheCommandLineThenDicomAndADamagedFileDropped)
{
    SKIP_WITHOUT_DISPLAY();
    SKIP_WITHOUT_DATA();
    const std::string formats = testsupport::dataDir() + "/formats";
    guitest::InProcessGlimra app({"-d", formats + "/anatomical.nii"}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(volume.resolution[0], 33);
    EXPECT_EQ(volume.resolution[1], 41);
    EXPECT_EQ(volume.resolution[2], 25);
    EXPECT_EQ(g_pMainFrame->dataInfo.find("Data file name:\tanatomical.nii\nFormat:\t\tNIfTI-1\n"), 0u)
        << g_pMainFrame->dataInfo;

    EXPECT_TRUE(openDroppedFile(*g_pMainFrame, formats + "/MR_small.dcm"));
    EXPECT_EQ(volume.resolution[0], 64);
    EXPECT_EQ(volume.resolution[2], 1);
    EXPECT_NE(g_pMainFrame->dataInfo.find("Modality:\tMR\n"), std::string::npos);
    EXPECT_TRUE(g_pMainFrame->GetMenuBar()->IsEnabled(ID_LOAD_MASK));

    const std::string info = g_pMainFrame->dataInfo;
    const GLuint texture = volume.tidVolume;
    ASSERT_TRUE(testsupport::writeFile(tmp.file("cut.nii"), testsupport::readFile(formats + "/anatomical.nii").substr(0, 400)));
    EXPECT_FALSE(openDroppedFile(*g_pMainFrame, tmp.file("cut.nii")));
    ASSERT_EQ(app.boxes().size(), 1u);
    EXPECT_EQ(app.boxes()[0].first,
              tmp.file("cut.nii") + ": the header declares 33 x 41 x 25 (67650 bytes), the file holds 48 bytes of voxels");
    EXPECT_EQ(app.boxes()[0].second, "Warning");
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(volume.resolution[0], 64);
    EXPECT_EQ(volume.tidVolume, texture);
    EXPECT_EQ(g_pMainFrame->dataInfo, info);
    EXPECT_NE(app.log().find(tmp.file("cut.nii") + ": the header declares"), std::string::npos);
    EXPECT_TRUE(app.close());
}
