// The histogram of the loaded data set, drawn behind the transfer-function
// curves. Computed once per data load from the converted voxel buffer.
#ifndef GLIMRA_HISTOGRAM_H
#define GLIMRA_HISTOGRAM_H

#include "includegl.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class Histogram
{
public:
    Histogram() = default;
    ~Histogram() = default;
    Histogram(const Histogram&) = delete;
    Histogram& operator=(const Histogram&) = delete;

    // Replaces the histogram by one of x*y*z*channels values of type (all
    // channels in one histogram); heights normalised so that the fullest of
    // bins 1 and up is 255.
    void compute(const void* data, int x, int y, int z, int channels, GLenum type);
    // Draws bins first ... first + count - 1 as vertical lines across width
    // pixels into the current OpenGL context.
    void draw(int width, float first, float count) const;
    void setHeightScale(float scale) { heightScale = scale; }
    // Bars of log(1 + count), the fullest of bins 1 and up still 255 high:
    // small counts beside a large background stay visible.
    void setLogarithmic(bool on) { myLogarithmic = on; }
    bool logarithmic() const { return myLogarithmic; }
    // The height bin b is drawn with (before the height scale).
    float height(int b) const;
    // Unregisters and frees the bins.
    void release();

    const float* getHist() const { return hist; }
    float getMaxCount() const { return maxCount; }
    float getHeightScale() const { return heightScale; }
    int getBins() const { return bins; }
    // Raw counts of the last computation, one per bin (empty before one).
    const std::vector<uint64_t>& counts() const { return myCounts; }

private:
    float* hist = nullptr;    // bins normalised heights ("histogram.hist")
    float maxCount = 0.0f;    // largest raw count among bins 1 ... bins - 1
    float heightScale = 1.0f; // vertical scale when drawing
    int bins = 0;             // 256 for 8-bit data, 4096 otherwise
    std::vector<uint64_t> myCounts; // values per bin, exact
    bool myLogarithmic = false;     // bars of log(1 + count)
};

extern Histogram histogram;

#endif
