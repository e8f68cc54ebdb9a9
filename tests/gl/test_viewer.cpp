// The program's actions as the window and glimra-render call them, watched
// by a recording observer: what each action changes in the model and what it
// asks to be shown.
#include "render_fixture.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "unit/load_test_util.h"
#include "memory_budget.h"
#include "viewer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Everything an action asks of the windows.
class Recorder : public ProgressRecorder
{
public:
    bool makeViewCurrent() override
    {
        ++currents;
        return true;
    }
    void repaint() override { ++repaints; }
    void refreshWindows() override { ++refreshes; }

    int currents = 0;
    int repaints = 0;
    int refreshes = 0;
};

class ViewerActions : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        reportTo(recorder);
        data = sample("phantom", "data.zvf");
        mask = sample("phantom-mask", "mask.zvf");
    }
    void TearDown() override
    {
        setLoadMemoryLimit(0);
        volume.isMask = false;
        RenderSlicing::TearDown();
    }
    std::string sample(const std::string& name, const std::string& file)
    {
        SampleVolume v;
        const std::string path = dir.file(file);
        EXPECT_TRUE(makeSampleVolume(name, &v) && writeSampleVolume(v, path)) << name;
        return path;
    }
    Viewer& viewer() { return renderer->viewer(); }

    Recorder recorder;
    testsupport::TempDir dir;
    std::string data, mask;
};

} // namespace

TEST_F(ViewerActions, ARefusedDataFileChangesNothingAndSaysWhyOnce)
{
    ASSERT_TRUE(renderer->loadData(data));
    const std::string info = renderer->dataInfo();
    const GLuint texture = volume.tidVolume;
    ASSERT_NE(texture, 0u);
    const std::string cut = dir.file("cut.zvf");
    const std::string bytes = testsupport::readFile(data);
    ASSERT_TRUE(testsupport::writeFile(cut, bytes.substr(0, bytes.size() / 3)));
    recorder.boxes.clear();
    recorder.record = ProgressRecord();

    EXPECT_FALSE(renderer->loadData(cut));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].first.rfind(cut + ": ", 0), 0u) << recorder.boxes[0].first;
    EXPECT_EQ(recorder.boxes[0].second, "Warning");
    EXPECT_EQ(recorder.record.updates.back(), std::make_pair(100, std::string("Failed.")));
    EXPECT_EQ(recorder.record.opened, recorder.record.closed);
    EXPECT_EQ(renderer->dataInfo(), info);
    EXPECT_TRUE(volume.isData);
    EXPECT_EQ(volume.tidVolume, texture);
    EXPECT_EQ(volume.resolution[0], 160);
}

TEST_F(ViewerActions, LoadsReportToTheObserverAndTheWindowsFollow)
{
    ASSERT_TRUE(renderer->loadData(data));
    EXPECT_TRUE(recorder.boxes.empty());
    // 16-bit values: the transfer window follows a table of 4096 entries.
    EXPECT_EQ(recorder.tableSizes, std::vector<int>{4096});
    EXPECT_EQ(recorder.record.updates.back(), std::make_pair(99, std::string("Done.")));
    EXPECT_GE(recorder.refreshes, 1);
    EXPECT_GE(recorder.repaints, 1);
    EXPECT_GE(recorder.currents, 1);

    // Focus and context needs the mask the next action brings.
    EXPECT_NE(viewer().whyUnavailable(DRAW_FOCUS_CONTEXT, CLASSIFICATION_POST), "");
    const int refreshes = recorder.refreshes;
    ASSERT_TRUE(renderer->loadMask(mask));
    EXPECT_TRUE(volume.isMask);
    EXPECT_GT(recorder.refreshes, refreshes);
    EXPECT_EQ(viewer().whyUnavailable(DRAW_FOCUS_CONTEXT, CLASSIFICATION_POST), "");

    // A mask of another size: the box the program always showed, the mask kept.
    const std::string other = sample("types-uchar", "other.zvf");
    recorder.boxes.clear();
    EXPECT_FALSE(renderer->loadMask(other));
    EXPECT_EQ(recorder.boxes,
              (std::vector<std::pair<std::string, std::string>>{{"Incompatible mask resolution.", "Warning"}}));
    EXPECT_TRUE(volume.isMask);
}

TEST_F(ViewerActions, StylesTakeTheirProjectionAndFallBackWhenTheyCannotDraw)
{
    ASSERT_TRUE(renderer->loadData(data));
    viewer().setProjection(true);
    EXPECT_TRUE(volume.perspective);
    // Focus and context is drawn orthographically.
    ASSERT_TRUE(renderer->loadMask(mask));
    viewer().setStyle(DRAW_FOCUS_CONTEXT);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_FOCUS_CONTEXT);
    EXPECT_FALSE(volume.perspective);
    // Without the mask it cannot draw: the fallback takes "3D Texture VAS".
    volume.isMask = false;
    EXPECT_TRUE(viewer().fallBack());
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_3D_TEXTURE_VAS);
    EXPECT_FALSE(viewer().fallBack()) << "a style that draws stays";

    viewer().setBlending(BLENDING_MAXIMUM);
    EXPECT_EQ(volume.getBlending(), BLENDING_MAXIMUM);
}

TEST_F(ViewerActions, ClassificationRebuildsAndUploadsTheTables)
{
    ASSERT_TRUE(renderer->loadData(data));
    const unsigned long uploads = transfer->getUploadCount();
    viewer().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    EXPECT_EQ(RenderMode::instance().getClassification(), CLASSIFICATION_PRE_INTEGRATION);
    EXPECT_GT(transfer->getUploadCount(), uploads);
    EXPECT_NE(transfer->getPreintTable(), nullptr);
}

TEST_F(ViewerActions, APaletteThatCannotBeReadLeavesThePointsAndSaysSo)
{
    ASSERT_TRUE(renderer->loadData(data));
    const std::string bad = dir.file("bad.pal");
    ASSERT_TRUE(testsupport::writeFile(bad, "2\n0 0\n"));
    const int points = transfer->curve(CHANNEL_ALPHA).getCount();
    recorder.boxes.clear();
    EXPECT_FALSE(viewer().openPalette(bad));
    EXPECT_EQ(recorder.boxes, (std::vector<std::pair<std::string, std::string>>{
                                  {"The palette \"bad.pal\" could not be read.", "Warning"}}));
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), points);
    // A settings file that is not there changes nothing.
    const int style = RenderMode::instance().getDrawStyle();
    EXPECT_FALSE(viewer().readSettings(dir.file("none.ini")));
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), style);
}

TEST_F(ViewerActions, AFileThatWouldNotFitIsRefusedBeforeItIsConverted)
{
    ASSERT_TRUE(renderer->loadData(data));
    const std::string info = renderer->dataInfo();
    const GLuint texture = volume.tidVolume;
    // The phantom's 6.25 MB of shorts, padded to 16 MB, held twice (the kept
    // copy and the texture) and three times more for the 2-D stacks the
    // fixture's "2D Texture" draws with: about 80 MB.
    setLoadMemoryLimit(4 * 1024 * 1024);
    recorder.boxes.clear();
    recorder.record = ProgressRecord();
    EXPECT_FALSE(renderer->loadData(data));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].first,
              data + ": opening it needs about 80 MB (the voxels take 7 MB), more than the 4 MB at hand.");
    // Refused after the read, before any conversion, copy or texture.
    EXPECT_EQ(recorder.record.updates, (std::vector<std::pair<int, std::string>>{{2, "Loading data."},
                                                                                {100, "Failed."}}));
    EXPECT_EQ(renderer->dataInfo(), info);
    EXPECT_EQ(volume.tidVolume, texture);
    EXPECT_TRUE(volume.isData);
    setLoadMemoryLimit(80 * 1024 * 1024);
    EXPECT_TRUE(renderer->loadData(data));
}

// A description file is asked before its voxels are allocated: with every
// guarded allocation failing, the refusal is still the memory one.
TEST_F(ViewerActions, AFileThatWouldNotFitAllocatesNothing)
{
    ASSERT_TRUE(renderer->loadData(data));
    const int width = volume.resolution[0];
    ASSERT_TRUE(testsupport::writeFile(dir.file("cube.raw"), std::string(64 * 64 * 64, '\x40')));
    const std::string dat = dir.file("cube.dat");
    ASSERT_TRUE(testsupport::writeFile(dat, "ObjectFileName: cube.raw\nResolution: 64 64 64\nFormat: UCHAR\n"));
    setLoadMemoryLimit(1024 * 1024);
    recorder.boxes.clear();
    failNextGuardedAllocations(1000);
    const bool loaded = renderer->loadData(dat);
    failNextGuardedAllocations(0);
    EXPECT_FALSE(loaded);
    // 256 KB of bytes, with the stacks of "2D Texture" five times that.
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].first,
              dat + ": opening it needs about 2 MB (the voxels take 1 MB), more than the 1 MB at hand.");
    EXPECT_EQ(volume.resolution[0], width);
    EXPECT_TRUE(volume.isData);
}

// The curves of the last exit come back for the data file they were drawn
// for and nothing else: another file, even with the same bytes, gets its
// fitted guess, and a palette the user read stays.
TEST_F(ViewerActions, CurvesOfTheLastExitComeBackForTheirDataOnly)
{
    const std::string copy = sample("phantom", "copy.zvf");
    viewer().keepCurves(dir.file("curves.pal"), dir.file("curves.txt"));
    auto table = [] {
        return std::string(reinterpret_cast<const char*>(transfer->getPalette()), 4 * transfer->getTableSize());
    };
    ASSERT_TRUE(renderer->loadData(copy));
    const std::string fitted = table();
    ASSERT_TRUE(renderer->loadData(data));
    EXPECT_TRUE(table() == fitted);
    const CurvePoint alpha[3] = {{0, 0, 0}, {2500, 90, 0}, {4095, 255, 0}};
    transfer->curve(CHANNEL_ALPHA).setControlPoints(alpha, 3, "alpha");
    transfer->curve(CHANNEL_BLUE).setKind(CURVE_BEZIER);
    transfer->refreshCurves();
    transfer->build(true);
    const std::string edited = table();
    ASSERT_NE(edited, fitted);
    ASSERT_TRUE(viewer().rememberCurves());

    // The next run starts with ramps; its load of the same file brings the
    // edited curves back to the textures.
    transfer->resetAll();
    transfer->refreshCurves();
    transfer->build(true);
    const unsigned long uploads = transfer->getUploadCount();
    ASSERT_TRUE(renderer->loadData(data));
    EXPECT_TRUE(table() == edited);
    EXPECT_EQ(transfer->curve(CHANNEL_BLUE).getKind(), CURVE_BEZIER);
    EXPECT_GT(transfer->getUploadCount(), uploads);
    EXPECT_FALSE(transfer->userCurves());
    ASSERT_TRUE(renderer->loadData(copy));
    EXPECT_TRUE(table() == fitted);

    // A palette the user read wins over the remembered curves.
    TransferFunction user(4096, TransferFunction::NoGL());
    const CurvePoint flat[2] = {{0, 30, 0}, {4095, 30, 0}};
    for (int c = 0; c < 4; ++c)
        user.curve(c).setControlPoints(flat, 2, "flat");
    user.refreshCurves();
    user.build(true);
    ASSERT_TRUE(user.writeFile(dir.file("user.pal")));
    ASSERT_TRUE(viewer().openPalette(dir.file("user.pal")));
    ASSERT_TRUE(renderer->loadData(data));
    EXPECT_TRUE(table() == std::string(reinterpret_cast<const char*>(user.getPalette()), 4 * 4096));
    transfer->resetAll();
}
