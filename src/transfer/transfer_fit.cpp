#include "transfer_fit.h"

#include "curve_history.h"
#include "histogram.h"
#include "transfer_function.h"

#include <algorithm>

namespace {

const int kGroups = 64; // groups of bins in which the background is looked for

// The first bin at or after which the running count of counts (background
// left out) reaches share of total.
int percentileBin(const std::vector<uint64_t>& counts, int skipFirst, int skipLast, uint64_t total,
                  double share)
{
    const double goal = share * static_cast<double>(total);
    uint64_t sum = 0;
    const int bins = static_cast<int>(counts.size());
    for (int b = 0; b < bins; ++b) {
        if (b >= skipFirst && b <= skipLast)
            continue;
        sum += counts[b];
        if (sum > 0 && static_cast<double>(sum) >= goal)
            return b;
    }
    return bins - 1;
}

} // namespace

DataSpan fitDataSpan(const std::vector<uint64_t>& counts, int tableSize)
{
    DataSpan span;
    const int bins = static_cast<int>(counts.size());
    if (bins < 2 || tableSize < 2)
        return span;
    // Group sums; the fullest group and the first and last with values.
    const int width = std::max(1, bins / kGroups);
    const int groups = (bins + width - 1) / width;
    std::vector<uint64_t> sums(groups, 0);
    uint64_t total = 0;
    for (int b = 0; b < bins; ++b) {
        sums[b / width] += counts[b];
        total += counts[b];
    }
    if (total == 0)
        return span;
    int fullest = 0, first = -1, last = -1;
    for (int g = 0; g < groups; ++g) {
        if (sums[g] > sums[fullest])
            fullest = g;
        if (sums[g] && first < 0)
            first = g;
        if (sums[g])
            last = g;
    }
    int skipFirst = bins, skipLast = -1;
    // A background with the object's values beside it, never all values.
    if ((fullest == first || fullest == last) && sums[fullest] < total) {
        skipFirst = fullest * width;
        skipLast = std::min(bins, skipFirst + width) - 1;
        total -= sums[fullest];
    }
    const int low = percentileBin(counts, skipFirst, skipLast, total, 0.02);
    const int high = percentileBin(counts, skipFirst, skipLast, total, 0.98);
    // Bins to table entries (they differ only where the table was kept
    // smaller than the data ask for).
    auto entry = [&](int b) { return static_cast<int>(static_cast<int64_t>(b) * tableSize / bins); };
    span.valid = true;
    if (entry(high) <= entry(low) && entry(low) > 0) {
        // Values of one entry (a constant volume): opaque at that entry.
        span.low = entry(low) - 1;
        span.high = entry(low);
    } else {
        span.low = std::min(entry(low), tableSize - 2);
        span.high = std::max(entry(high), span.low + 1);
    }
    if (skipLast >= 0) {
        span.backgroundFirst = entry(skipFirst);
        span.backgroundLast = entry(skipLast);
    }
    return span;
}

void applyDataSpan(TransferFunction& tf, const DataSpan& span)
{
    const int n = tf.getTableSize();
    const float last = static_cast<float>(n - 1);
    const float low = static_cast<float>(std::clamp(span.low, 0, n - 2));
    const float high = static_cast<float>(std::clamp(span.high, span.low + 1, n - 1));
    CurvePoint points[4];
    int count = 0;
    points[count++] = {0.0f, 0.0f, 0.0f};
    if (low > 0.0f)
        points[count++] = {low, 0.0f, 0.0f};
    points[count++] = {high, 255.0f, 0.0f};
    if (high < last)
        points[count++] = {last, 255.0f, 0.0f};
    static const char* const names[4] = {"curves[0].curve_points", "curves[1].curve_points",
                                         "curves[2].curve_points", "curves[3].curve_points"};
    for (int c = 0; c < 4; ++c) {
        tf.curve(c).setControlPoints(points, count, names[c]);
        tf.curve(c).setKind(CURVE_LINEAR);
    }
    tf.setUserCurves(false);
}

bool fitTransferToHistogram(TransferFunction& tf, const Histogram& histogram)
{
    const DataSpan span = fitDataSpan(histogram.counts(), tf.getTableSize());
    if (!span.valid)
        return false;
    applyDataSpan(tf, span);
    return true;
}

bool fitTransferToData(TransferFunction& tf, const Histogram& histogram, CurveHistory* history)
{
    const DataSpan span = fitDataSpan(histogram.counts(), tf.getTableSize());
    if (!span.valid)
        return false;
    if (history)
        history->begin(tf);
    applyDataSpan(tf, span);
    tf.refreshCurves();
    tf.build(true);
    if (history)
        history->end(tf);
    return true;
}
