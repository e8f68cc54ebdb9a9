// The first guess of the transfer function for a freshly loaded data set:
// ramps over the part of the table where the data lie, found from the
// histogram, so that the first picture shows the object and not its
// background.
#ifndef GLIMRA_TRANSFER_FIT_H
#define GLIMRA_TRANSFER_FIT_H

#include <cstdint>
#include <vector>

class CurveHistory;
class Histogram;
class TransferFunction;

// Where the ramps of the first guess begin and end, in table entries.
struct DataSpan
{
    bool valid = false;      // there were values to fit
    int low = 0;             // 2nd percentile: alpha 0 up to here
    int high = 0;            // 98th percentile: alpha 255 from here on
    int backgroundFirst = -1; // table entries left out as background, -1 none
    int backgroundLast = -1;
};

// The rule: the bins are taken in 64 groups of equal width (4 entries of a
// 256-entry histogram, 64 of a 4096-entry one). The fullest group holds the
// background when it is the first or the last group with any values; its
// values are then left out. Of the values that remain, the 2nd and 98th
// percentiles (the first bin whose running count reaches 2 % and 98 %)
// give the span; where both fall on one table entry (a constant volume)
// the ramp ends there, low one below, so that the values are opaque; else
// high is at least low + 1. counts has one entry per bin;
// the span is given for a table of tableSize entries.
DataSpan fitDataSpan(const std::vector<uint64_t>& counts, int tableSize);

// The four curves become linear ramps over the span: 0 up to low, rising
// to 255 at high, 255 above; the user's palette is no longer in force.
// The caller refreshes, builds and uploads.
void applyDataSpan(TransferFunction& tf, const DataSpan& span);

// fitDataSpan of the histogram applied to tf; false (nothing changed) when
// the histogram holds no values.
bool fitTransferToHistogram(TransferFunction& tf, const Histogram& histogram);

// "Fit to data": the same on demand, as one edit (recorded in history when
// given), curves refreshed and tables built whole.
bool fitTransferToData(TransferFunction& tf, const Histogram& histogram, CurveHistory* history);

#endif
