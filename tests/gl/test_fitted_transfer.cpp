// The first guess of the transfer function: a data set loaded without a
// palette of the user's gets ramps over the span of its histogram, and its
// first picture shows the object (with contrast, its background clear)
// where the ramps over the whole table showed a slab, a fog or a dim ball.
#include "curve_history.h"
#include "data_scale.h"
#include "render_fixture.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "transfer_fit.h"
#include "transfer_presets.h"
#include "volume_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// Luminance figures of a picture: lit pixels and the spread of their grey.
struct PictureFigures
{
    int lit = 0;          // pixels brighter than 8 in any colour
    double mean = 0.0;    // mean grey of the lit pixels
    double spread = 0.0;  // standard deviation of that grey
};

PictureFigures figures(const std::vector<unsigned char>& px)
{
    PictureFigures f;
    double sum = 0.0, squares = 0.0;
    for (size_t i = 0; i < px.size(); i += 4) {
        const int r = px[i], g = px[i + 1], b = px[i + 2];
        if (std::max({r, g, b}) <= 8)
            continue;
        const double grey = (r + g + b) / 3.0;
        ++f.lit;
        sum += grey;
        squares += grey * grey;
    }
    if (f.lit) {
        f.mean = sum / f.lit;
        f.spread = std::sqrt(std::max(0.0, squares / f.lit - f.mean * f.mean));
    }
    return f;
}

class FittedTransfer : public RenderSlicing
{
protected:
    // The first picture after loading path (the program's default style),
    // the one the ramps over the whole table give, and the pixels of the
    // data's box (every value opaque white).
    void pictures(const std::string& path, std::vector<unsigned char>* fitted,
                  std::vector<unsigned char>* whole, int* box)
    {
        ASSERT_TRUE(renderer->loadData(path)) << path;
        ASSERT_TRUE(transfer);
        renderer->setView("front", 20, 30);
        *fitted = frame();
        transfer->resetAll();
        renderer->viewer().setClassification(CLASSIFICATION_POST);
        *whole = frame();
        palette([](int) { return Rgba{255, 255, 255, 255}; });
        *box = coverage(frame());
        setCgTableTextures(0, 0);
        if (const char* dir = std::getenv("GLIMRA_TEST_PICTURES")) {
            const std::string name = baseName(path);
            writePngRGBA(std::string(dir) + "/fit-" + name + ".png", fitted->data(), kSize, kSize, nullptr);
            writePngRGBA(std::string(dir) + "/whole-" + name + ".png", whole->data(), kSize, kSize, nullptr);
        }
    }
};

// The fitted picture against the whole-table one: brighter, with more
// contrast; an object with empty space around it covers part of its box,
// a scan of tissue alone (no background in it) the whole box.
void check(const char* name, int box, const std::vector<unsigned char>& fitted,
           const std::vector<unsigned char>& whole, bool background, double gain)
{
    SCOPED_TRACE(name);
    const PictureFigures f = figures(fitted);
    const PictureFigures w = figures(whole);
    std::printf("%-12s box %4d fitted lit %4d mean %5.1f spread %5.1f | whole lit %4d mean %5.1f spread %5.1f\n",
                name, box, f.lit, f.mean, f.spread, w.lit, w.mean, w.spread);
    EXPECT_GT(f.mean, w.mean * 1.1);
    EXPECT_GT(f.spread, 25.0);
    EXPECT_GT(f.spread, w.spread * gain);
    if (background) {
        EXPECT_GT(f.lit, box / 5);
        EXPECT_LT(f.lit, box * 6 / 10);
    } else {
        EXPECT_GT(f.lit, box * 9 / 10);
    }
    // Nothing outside the box.
    EXPECT_EQ(fitted[0] + fitted[fitted.size() - 4], 0);
}

} // namespace

// The rule on histograms with known answers.
TEST(FitDataSpan, PercentilesOfTheValuesBesideTheBackground)
{
    // 8-bit: a background of 600 zeros, then 100 values spread evenly over
    // 100 ... 199: the zeros' group (entries 0 ... 3) is left out, 2 % of
    // the rest is reached at 101, 98 % at 197.
    std::vector<uint64_t> c(256, 0);
    c[0] = 600;
    for (int b = 100; b < 200; ++b)
        c[b] = 1;
    DataSpan s = fitDataSpan(c, 256);
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.low, 101);
    EXPECT_EQ(s.high, 197);
    EXPECT_EQ(s.backgroundFirst, 0);
    EXPECT_EQ(s.backgroundLast, 3);

    // The fullest group in the middle is no background: all values count.
    std::fill(c.begin(), c.end(), 0);
    for (int b = 0; b < 256; ++b)
        c[b] = 10;
    for (int b = 120; b < 124; ++b)
        c[b] = 1000;
    s = fitDataSpan(c, 256);
    EXPECT_EQ(s.backgroundFirst, -1);
    EXPECT_EQ(s.low, 13);   // 2 % of 6520 = 130.4: reached in bin 13 (140)
    EXPECT_EQ(s.high, 242); // 98 % is 6389.6: 10 b + 3970 reaches it at b = 242

    // A bright background at the top of a 4096-entry table (groups of 64).
    std::vector<uint64_t> d(4096, 0);
    for (int b = 4032; b < 4096; ++b)
        d[b] = 100;
    for (int b = 1000; b < 1100; ++b)
        d[b] = 1;
    s = fitDataSpan(d, 4096);
    EXPECT_EQ(s.backgroundFirst, 4032);
    EXPECT_EQ(s.backgroundLast, 4095);
    EXPECT_EQ(s.low, 1001);
    EXPECT_EQ(s.high, 1097);

    // One value only: a ramp one entry wide that ends at the value, so that
    // it is opaque; a table kept at 256 entries for 4096 bins scales the
    // span; no values: nothing to fit.
    std::fill(d.begin(), d.end(), 0);
    d[2000] = 5;
    s = fitDataSpan(d, 4096);
    EXPECT_EQ(s.low, 1999);
    EXPECT_EQ(s.high, 2000);
    s = fitDataSpan(d, 256);
    EXPECT_EQ(s.low, 124);
    EXPECT_EQ(s.high, 125);
    d[2000] = 0;
    d[0] = 7;
    s = fitDataSpan(d, 4096);
    EXPECT_EQ(s.low, 0);
    EXPECT_EQ(s.high, 1);
    std::fill(d.begin(), d.end(), 0);
    EXPECT_FALSE(fitDataSpan(d, 4096).valid);
}

// The fitted curves: linear ramps from low to high in all four channels;
// a palette the user read survives the next load, Reset All gives the data
// back to the fit.
TEST_F(FittedTransfer, CurvesFollowTheSpanAndUserPalettesStay)
{
    const std::string path = GLIMRA_DATA_DIR "/nucleon.dat";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is absent";
    ASSERT_TRUE(renderer->loadData(path));
    ASSERT_TRUE(transfer);
    const DataSpan span = fitDataSpan(histogram.counts(), 256);
    ASSERT_TRUE(span.valid);
    EXPECT_EQ(span.backgroundFirst, 0); // the empty space around the nucleon
    EXPECT_GT(span.low, 3);
    EXPECT_LT(span.high, 230);
    for (int c = 0; c < 4; ++c) {
        const unsigned char* t = transfer->curve(c).table();
        EXPECT_EQ(t[span.low], 0) << c;
        EXPECT_EQ(t[span.high], 255) << c;
        EXPECT_EQ(t[255], 255) << c;
        EXPECT_NEAR(t[(span.low + span.high) / 2], 127, 2) << c;
    }
    EXPECT_EQ(transfer->getPalette()[4 * span.high + 3], 255);
    EXPECT_EQ(transfer->getPalette()[4 * span.low + 3], 0);

    // A palette read by the user stays through the next load.
    testsupport::TempDir dir;
    transfer->resetAll();
    ASSERT_TRUE(transfer->writeFile(dir.file("ramp.pal")));
    ASSERT_TRUE(renderer->loadPalette(dir.file("ramp.pal")));
    EXPECT_TRUE(transfer->userCurves());
    ASSERT_TRUE(renderer->loadData(path));
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 2);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[128], 128);
    // Reset All hands the curves back: the next load fits again.
    transfer->resetAll();
    ASSERT_TRUE(renderer->loadData(path));
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[span.low], 0);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[span.high], 255);
}

// The shared scans and the bundled phantom: the fitted first picture shows
// the object where the whole-table ramps did not.
TEST_F(FittedTransfer, FirstPicturesShowTheObject)
{
    const std::string data = GLIMRA_DATA_DIR;
    testsupport::TempDir dir;
    SampleVolume phantom;
    ASSERT_TRUE(makeSampleVolume("phantom", &phantom));
    ASSERT_TRUE(writeSampleVolume(phantom, dir.file("phantom.zvf")));
    std::vector<unsigned char> fit, whole;
    int box = 0;

    pictures(dir.file("phantom.zvf"), &fit, &whole, &box);
    check("phantom", box, fit, whole, true, 2.0);

    if (testsupport::fileExists(data + "/nucleon.dat")) {
        pictures(data + "/nucleon.dat", &fit, &whole, &box);
        check("nucleon", box, fit, whole, true, 1.05);
    }
    if (testsupport::fileExists(data + "/walnut.dat")) {
        pictures(data + "/walnut.dat", &fit, &whole, &box);
        check("walnut", box, fit, whole, true, 2.0);
    }
    if (testsupport::fileExists(data + "/anatomical_33x41x25_int16_be.raw")) {
        ASSERT_EQ(::symlink((data + "/anatomical_33x41x25_int16_be.raw").c_str(),
                            dir.file("anatomical.raw").c_str()), 0);
        ASSERT_TRUE(testsupport::writeFile(dir.file("anatomical.dat"),
                                           "ObjectFileName: anatomical.raw\nResolution: 33 41 25\n"
                                           "SliceThickness: 2 2 2\nFormat: SHORT\nByteOrder: big\n"));
        pictures(dir.file("anatomical.dat"), &fit, &whole, &box);
        check("anatomical", box, fit, whole, false, 2.0);
    }
}

// The shipped presets on the bundled phantom (values HU + 1024): the
// presets in Hounsfield units put their points at the right entries; the CT
// bone preset shows the skull and hides the brain inside it; each preset is
// one edit to undo; data without Hounsfield units refuse them.
TEST_F(FittedTransfer, PresetsInHounsfieldUnitsFindTheirTissues)
{
    const std::vector<Preset> presets = listPresets(GLIMRA_SOURCE_DIR "/presets");
    auto find = [&](const std::string& name) {
        for (const Preset& p : presets)
            if (p.name == name)
                return p;
        ADD_FAILURE() << "no preset " << name;
        return Preset();
    };
    const Preset bone = find("CT bone");
    const Preset soft = find("CT soft tissue");
    const Preset lung = find("CT lung");
    const Preset mr = find("MR default");
    const Preset ramp = find("Maximum intensity ramp");
    EXPECT_TRUE(bone.hounsfield && soft.hounsfield && lung.hounsfield);
    EXPECT_FALSE(mr.hounsfield || ramp.hounsfield);

    testsupport::TempDir dir;
    SampleVolume phantom;
    ASSERT_TRUE(makeSampleVolume("phantom", &phantom));
    ASSERT_TRUE(writeSampleVolume(phantom, dir.file("phantom.zvf")));
    ASSERT_TRUE(renderer->loadData(dir.file("phantom.zvf")));
    ASSERT_TRUE(dataScale.hounsfield());
    renderer->setView("front", 0, 0);
    const std::vector<unsigned char> fitted = frame();

    CurveHistory history;
    const unsigned char* alpha = transfer->curve(CHANNEL_ALPHA).table();
    auto alphaAt = [&](double hu) { return alpha[dataScale.entryOf(hu)]; };
    ASSERT_TRUE(applyPreset(*transfer, bone, dataScale, &history));
    EXPECT_TRUE(transfer->userCurves());
    EXPECT_EQ(history.undoSteps(), 1u);
    EXPECT_EQ(alphaAt(phantom::kBoneHU), 255);
    EXPECT_EQ(alphaAt(phantom::kBrainHU), 0);
    EXPECT_EQ(alphaAt(phantom::kSoftTissueHU), 0);
    EXPECT_NEAR(alphaAt(425), 128, 3); // halfway between 150 and 700 HU
    renderer->viewer().setClassification(CLASSIFICATION_POST);
    const std::vector<unsigned char> skull = frame();
    // Front view: the skull's rim, the centre (brain behind skull) lit by
    // the skull's faces only; fewer pixels than the fitted picture.
    EXPECT_GT(coverage(skull), 300);
    EXPECT_LE(coverage(skull), coverage(fitted));

    ASSERT_TRUE(applyPreset(*transfer, soft, dataScale, &history));
    EXPECT_GT(alphaAt(phantom::kSoftTissueHU), 100);
    EXPECT_EQ(alphaAt(phantom::kAirHU), 0);
    EXPECT_LT(alphaAt(phantom::kBoneHU), 60);
    ASSERT_TRUE(applyPreset(*transfer, lung, dataScale, &history));
    EXPECT_EQ(alphaAt(phantom::kAirHU), 0);
    EXPECT_GT(alphaAt(-800), 80);
    EXPECT_EQ(alphaAt(phantom::kBoneHU), 0);
    // The phantom has no lung: only its rim, where the samples between air
    // and skin pass through lung values, shows.
    renderer->viewer().setClassification(CLASSIFICATION_POST);
    EXPECT_LT(coverage(frame()), coverage(skull) / 2);
    ASSERT_TRUE(applyPreset(*transfer, ramp, dataScale, &history));
    for (int e : {0, 1000, 4095})
        EXPECT_EQ(alpha[e], e * 255 / 4095) << e;
    EXPECT_EQ(history.undoSteps(), 4u);
    ASSERT_TRUE(history.undo(*transfer));
    transfer->refreshCurves();
    EXPECT_GT(alphaAt(-800), 80); // the lung preset again

    // "Fit to data" is an edit too.
    ASSERT_TRUE(fitTransferToData(*transfer, histogram, &history));
    EXPECT_EQ(history.undoSteps(), 4u);

    // A scan in plain values: the presets in Hounsfield units do not apply.
    const std::string nucleon = GLIMRA_DATA_DIR "/nucleon.dat";
    if (!testsupport::fileExists(nucleon))
        return;
    ASSERT_TRUE(renderer->loadData(nucleon));
    EXPECT_FALSE(dataScale.hounsfield());
    EXPECT_FALSE(presetApplies(bone, dataScale));
    EXPECT_FALSE(applyPreset(*transfer, bone, dataScale, nullptr));
    EXPECT_TRUE(applyPreset(*transfer, mr, dataScale, nullptr));
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[20], 0);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[255], 255);
}

// The CT slice of the shared formats is in Hounsfield units: the CT
// presets apply, bone opaque and water clear under "CT bone", and the bone
// covers less of the picture than the soft tissue does.
TEST_F(FittedTransfer, CtSliceTakesTheCtPresets)
{
    const std::string path = GLIMRA_DATA_DIR "/formats/CT_small.dcm";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is absent";
    const std::vector<Preset> presets = listPresets(GLIMRA_SOURCE_DIR "/presets");
    ASSERT_TRUE(renderer->loadData(path));
    ASSERT_TRUE(dataScale.hounsfield()) << renderer->dataInfo();
    renderer->setView("front", 0, 0);
    int boneLit = -1, softLit = -1;
    for (const Preset& p : presets) {
        if (p.name != "CT bone" && p.name != "CT soft tissue")
            continue;
        ASSERT_TRUE(applyPreset(*transfer, p, dataScale, nullptr)) << p.name;
        renderer->viewer().setClassification(CLASSIFICATION_POST);
        (p.name == "CT bone" ? boneLit : softLit) = coverage(frame());
        const unsigned char* alpha = transfer->curve(CHANNEL_ALPHA).table();
        if (p.name == "CT bone") {
            EXPECT_EQ(alpha[dataScale.entryOf(1000)], 255);
            EXPECT_EQ(alpha[dataScale.entryOf(0)], 0);
        }
    }
    std::printf("CT_small: bone %d pixels, soft tissue %d\n", boneLit, softLit);
    EXPECT_GT(boneLit, 0);
    EXPECT_LT(boneLit, softLit);
}
