// A pyramid opened as the window opens it, drawn offscreen: the time from
// start to the first picture (metadata, the coarsest level read whole and
// uploaded, one frame), then frames drawn as the window repaints on each
// brick's arrival until the view is refined (worker threads reading, a few
// uploads a frame), the frame time of the refined view and of a drag with
// speed-up (one level coarser, half the slices, 2 degrees a frame, the
// workers still running), and the peak resident memory. Figures only.
// Usage: bench_pyramid_view DIR.zarr [--memory SIZE] [--style N] [--size WxH]
#include "brick_stream.h"
#include "offscreen_render.h"
#include "program_files.h"
#include "pyramid_view.h"
#include "render_mode.h"
#include "volume.h"

#include "includegl.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

long peakKilobytes()
{
    rusage u;
    return getrusage(RUSAGE_SELF, &u) == 0 ? u.ru_maxrss : 0;
}

// Wakes the drawing loop when a worker has read a brick, as the window's
// observer posts a repaint.
struct Arrivals : ViewerObserver
{
    std::mutex mutex;
    std::condition_variable arrived;
    long count = 0;
    void repaintLater() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
        arrived.notify_all();
    }
    // Until a brick arrives after `seen` or `ms` pass.
    void wait(long seen, int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, std::chrono::milliseconds(ms), [&] { return count > seen; });
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_pyramid_view DIR.zarr [--memory SIZE] [--style N] [--size WxH]\n");
        return 2;
    }
    const Clock::time_point start = Clock::now();
    uint64_t memory = 0;
    int style = DRAW_3D_TEXTURE_VAS, width = 640, height = 480;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--memory") == 0 && !parseMemoryOption(argv[i + 1], &memory))
            return 2;
        if (std::strcmp(argv[i], "--style") == 0)
            style = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--size") == 0 && std::sscanf(argv[i + 1], "%dx%d", &width, &height) != 2)
            return 2;
    }
    Arrivals arrivals;
    OffscreenRenderer renderer(width, height, findProgramFiles("Cg"), arrivals);
    if (!renderer.ok()) {
        std::fprintf(stderr, "no OpenGL context: %s\n", renderer.error().c_str());
        return 1;
    }
    RenderMode::instance().setDrawStyle(style);
    Viewer& viewer = renderer.viewer();
    viewer.streamPyramids(true, false);
    viewer.setBrickBudget(memory);
    if (!renderer.loadData(argv[1]) || !viewer.pyramidStream()) {
        std::fprintf(stderr, "%s: not streamed (%s)\n", argv[1], viewer.pyramidNote().c_str());
        return 1;
    }
    renderer.setStyle(style);
    renderer.setView("front", 20, -30);
    renderer.renderFrame();
    glFinish();
    std::printf("first picture: %.2f s, peak %ld MB\n", secondsSince(start), peakKilobytes() / 1024);

    BrickStream& stream = *viewer.pyramidStream();
    const Clock::time_point refining = Clock::now();
    int frames = 0;
    for (;;) {
        long seen = 0;
        {
            std::lock_guard<std::mutex> lock(arrivals.mutex);
            seen = arrivals.count;
        }
        renderer.renderFrame();
        glFinish();
        ++frames;
        if (!stream.pending())
            break;
        arrivals.wait(seen, 100);
    }
    std::printf("refined picture: %.2f s after the first (%.2f s from start), %d frames, %d bricks read, "
                "%.0f MB of bricks kept, peak %ld MB\n",
                secondsSince(refining), secondsSince(start), frames, stream.reads(),
                static_cast<double>(stream.cache().used()) / (1 << 20), peakKilobytes() / 1024);
    // The bricks the refined view draws, per level.
    std::vector<int> perLevel(stream.levels().size(), 0);
    const PlanTree& tree = stream.tree();
    for (int n : stream.drawnNodes()) {
        const PlanNode& node = tree.nodes[static_cast<size_t>(n)];
        const int level = stream.drawnLevel(tree.leaf(node.firstLeaf[0], node.firstLeaf[1], node.firstLeaf[2]));
        if (level >= 0 && static_cast<size_t>(level) < perLevel.size())
            ++perLevel[static_cast<size_t>(level)];
    }
    std::printf("refined view draws %zu of %zu bricks, by level:", stream.drawnNodes().size(), tree.nodes.size());
    for (int count : perLevel)
        std::printf(" %d", count);
    std::printf("\n");
    std::printf("refined view: %.1f ms a frame\n", renderer.meanFrameMillis(5));
    std::printf("dragging with speed-up: %.1f ms a frame\n", renderer.meanDragFrameMillis(20));
    std::printf("peak resident memory: %ld MB\n", peakKilobytes() / 1024);
    return 0;
}
