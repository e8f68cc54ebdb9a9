// Damaged and missing files opened over a loaded volume: each is refused
// with one warning box naming the file and the fault, and the picture, the
// information text and the menus stay exactly as they were.
#include "canvas_main.h"
#include "command_ids.h"
#include "text_overlay.h"
#include "gui_support.h"
#include "load.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class RefusedFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        // The program files, where the program looks for them: "../Cg/".
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        app.reset(new guitest::InProcessGlimra({}, tmp.file("run")));
        ASSERT_TRUE(app->started());
        ASSERT_NE(g_pMainFrame, nullptr);
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }

    // The enabled state of the items a load changes.
    std::vector<bool> menuState() const
    {
        std::vector<bool> s;
        for (int id : {ID_LOAD_MASK, ID_STYLE_2D, ID_STYLE_3D_VAS, ID_STYLE_RAY_CASTING, ID_STYLE_FOCUS_CONTEXT,
                       ID_STYLE_MULTI_VOLUME})
            s.push_back(g_pMainFrame->GetMenuBar()->IsEnabled(id));
        return s;
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
};

} // namespace

TEST_F(RefusedFiles, EachKindLeavesTheVolumeOnScreen)
{
    const std::string good = guitest::writeSample(tmp, "phantom", "good.zvf");
    ASSERT_FALSE(good.empty());
    ASSERT_TRUE(g_pMainFrame->openData(good));
    // The frame-rate text changes from frame to frame; the picture is the volume.
    ASSERT_NE(g_pMainFrame->myGLcanvas->font, nullptr);
    g_pMainFrame->myGLcanvas->font->visible = false;
    const std::vector<unsigned char> before = guitest::mainViewPicture();
    ASSERT_FALSE(before.empty());
    const std::string info = g_pMainFrame->dataInfo;
    const std::vector<bool> menus = menuState();
    const GLuint texture = volume.tidVolume;
    const int resolution[3] = {volume.resolution[0], volume.resolution[1], volume.resolution[2]};

    const std::string zvf = testsupport::readFile(good);
    ASSERT_GT(zvf.size(), 2000u);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("cut.zvf"), zvf.substr(0, zvf.size() / 2)));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("garbage.zvf"), std::string(300, '\x5a')));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("nofile.dat"),
                                       "ObjectFileName: absent.raw\nResolution: 64 64 64\nFormat: UCHAR\n"));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("short.dat"),
                                       "ObjectFileName: short.raw\nResolution: 256 256 256\nFormat: UCHAR\n"));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("short.raw"), std::string(1000, '\x01')));
    ASSERT_EQ(::mkdir(tmp.file("empty-folder").c_str(), 0755), 0);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("empty-folder/notes.txt"), "no images here\n"));
    // A MetaImage header that makes the library divide by zero (a fuzz
    // finding, its first byte picking the format): the reader's process ends.
    const std::string finding =
        testsupport::readFile(std::string(GLIMRA_SOURCE_DIR) + "/tests/fuzz/corpus/load_foreign/metaimage-fpe");
    ASSERT_GT(finding.size(), 100u);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("crash.mha"), finding.substr(1)));

    const struct
    {
        std::string path;
        std::string fault; // what the box says after "PATH: "
    } cases[] = {
        {tmp.file("cut.zvf"), "the voxels cannot be read (the file is damaged or cut short)"},
        {tmp.file("garbage.zvf"), ""},
        {tmp.file("nofile.dat"), "the raw file \"absent.raw\" cannot be opened"},
        {tmp.file("short.dat"), "16777216 bytes declared, the raw file \"short.raw\" has 1000"},
        {tmp.file("missing.zvf"), ""},
        {tmp.file("missing.dat"), "cannot be opened"},
        {tmp.file("empty-folder"), "no DICOM images in this folder"},
        {tmp.file("crash.mha"), "the reader stopped (Floating point exception)"},
    };
    for (const auto& c : cases) {
        app->boxes().clear();
        EXPECT_FALSE(g_pMainFrame->openData(c.path)) << c.path;
        ASSERT_EQ(app->boxes().size(), 1u) << c.path;
        EXPECT_EQ(app->boxes()[0].second, "Warning");
        EXPECT_EQ(app->boxes()[0].first.rfind(c.path + ": ", 0), 0u) << app->boxes()[0].first;
        if (!c.fault.empty()) {
            EXPECT_EQ(app->boxes()[0].first, c.path + ": " + c.fault);
        }
        EXPECT_TRUE(volume.isData) << c.path;
        EXPECT_EQ(volume.tidVolume, texture) << c.path;
        EXPECT_EQ(volume.resolution[0], resolution[0]);
        EXPECT_EQ(volume.resolution[1], resolution[1]);
        EXPECT_EQ(volume.resolution[2], resolution[2]);
        EXPECT_EQ(g_pMainFrame->dataInfo, info) << c.path;
        EXPECT_EQ(menuState(), menus) << c.path;
        EXPECT_TRUE(guitest::mainViewPicture() == before) << c.path;
        EXPECT_NE(app->log().find(c.path + ": "), std::string::npos) << c.path;
    }
}

TEST_F(RefusedFiles, ARefusedMaskKeepsTheMaskInUse)
{
    const std::string data = guitest::writeSample(tmp, "phantom", "data.zvf");
    const std::string mask = guitest::writeSample(tmp, "phantom-mask", "mask.zvf");
    ASSERT_FALSE(data.empty());
    ASSERT_FALSE(mask.empty());
    ASSERT_TRUE(g_pMainFrame->openData(data));
    ASSERT_TRUE(g_pMainFrame->loadMaskFile(mask));
    const GLuint maskTexture = volume.tidMask;
    ASSERT_NE(maskTexture, 0u);

    const std::string bytes = testsupport::readFile(mask);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("cut-mask.zvf"), bytes.substr(0, bytes.size() / 2)));
    app->boxes().clear();
    EXPECT_FALSE(g_pMainFrame->loadMaskFile(tmp.file("cut-mask.zvf")));
    ASSERT_EQ(app->boxes().size(), 1u);
    EXPECT_EQ(app->boxes()[0].first.rfind(tmp.file("cut-mask.zvf") + ": ", 0), 0u) << app->boxes()[0].first;
    EXPECT_TRUE(volume.isMask);
    EXPECT_EQ(volume.tidMask, maskTexture);
    EXPECT_TRUE(g_pMainFrame->GetMenuBar()->IsEnabled(ID_STYLE_FOCUS_CONTEXT));

    // A mask of another size keeps the box the program always showed for it.
    const std::string small = guitest::writeSample(tmp, "types-uchar", "small.zvf");
    app->boxes().clear();
    EXPECT_FALSE(g_pMainFrame->loadMaskFile(small));
    ASSERT_EQ(app->boxes().size(), 1u);
    EXPECT_EQ(app->boxes()[0].first, "Incompatible mask resolution.");
    EXPECT_TRUE(volume.isMask);
}
