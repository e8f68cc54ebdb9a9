#include "fuzz_curves.h"

#include "fuzz_support.h"

#include <cmath>

namespace fuzzsupport {

std::vector<float> curveState(const TransferFunction& tf)
{
    std::vector<float> s;
    for (int c = 0; c < 4; ++c) {
        const Curve& curve = tf.curve(c);
        s.push_back(static_cast<float>(curve.getKind()));
        s.push_back(static_cast<float>(curve.getCount()));
        for (int k = 0; k < curve.getCount(); ++k) {
            s.push_back(curve.points()[k].x);
            s.push_back(curve.points()[k].y);
        }
    }
    return s;
}

void readAndCheck(TransferFunction& tf, const std::string& path)
{
    const std::vector<float> old = curveState(tf);
    LogCapture log;
    if (!tf.readFile(path)) {
        FUZZ_CHECK(curveState(tf) == old);
        FUZZ_CHECK(log.text().find("Not supported pallete file format.") != std::string::npos);
        return;
    }
    const float last = static_cast<float>(tf.getTableSize() - 1);
    for (int c = 0; c < 4; ++c) {
        const Curve& curve = tf.curve(c);
        FUZZ_CHECK(curve.getKind() == CURVE_LINEAR && curve.getSize() == tf.getTableSize());
        FUZZ_CHECK(curve.getCount() >= 2);
        const CurvePoint* p = curve.points();
        FUZZ_CHECK(p[0].x == 0.0f && p[curve.getCount() - 1].x == last);
        for (int k = 0; k < curve.getCount(); ++k) {
            FUZZ_CHECK(p[k].y >= 0.0f && p[k].y <= 255.0f);
            FUZZ_CHECK(p[k].x >= 0.0f && p[k].x <= last);
            if (k > 0)
                FUZZ_CHECK(p[k - 1].x <= p[k].x);
        }
    }
    // The program's next steps after a read: tables from the new points.
    tf.refreshCurves();
    tf.build(true);
    // Saved as a palette and read again, the curves come back point for point.
    const std::vector<float> read = curveState(tf);
    const std::string saved = scratchPath("saved.pal");
    FUZZ_CHECK(tf.writeFile(saved));
    FUZZ_CHECK(tf.readFile(saved));
    FUZZ_CHECK(curveState(tf) == read);
}

} // namespace fuzzsupport
