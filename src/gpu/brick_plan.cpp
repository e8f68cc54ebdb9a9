#include "brick_plan.h"

#include "bricking.h"

#include <algorithm>
#include <set>
#include <queue>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Box coordinate of voxel coordinate u along an axis the box spans `span` voxels of.
float boxAt(double u, double span, float extent)
{
    return static_cast<float>((u / span - 0.5) * extent);
}

// Voxel coordinate of box coordinate p.
double voxelAt(float p, double span, float extent)
{
    return (static_cast<double>(p) / extent + 0.5) * span;
}

// Window position of box point p; false behind the eye.
bool project(const float m[16], const float proj[16], int width, int height, const double p[3], double out[2])
{
    double eye[4];
    for (int r = 0; r < 4; ++r)
        eye[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    double clip[4];
    for (int r = 0; r < 4; ++r)
        clip[r] = proj[r] * eye[0] + proj[4 + r] * eye[1] + proj[8 + r] * eye[2] + proj[12 + r] * eye[3];
    if (!(clip[3] > 0.0))
        return false;
    out[0] = (clip[0] / clip[3] + 1.0) * 0.5 * width;
    out[1] = (clip[1] / clip[3] + 1.0) * 0.5 * height;
    return true;
}

} // namespace

std::vector<PlanPart> planParts(const PlanLevel& finest, int texels, const float extent[3])
{
    int size[3], counts[3];
    for (int a = 0; a < 3; ++a) {
        size[a] = brickTexels(finest.resolution[a], texels);
        counts[a] = bricksAlong(finest.resolution[a], size[a]);
    }
    std::vector<PlanPart> parts;
    parts.reserve(static_cast<size_t>(counts[0]) * counts[1] * counts[2]);
    for (int i = 0; i < counts[2]; ++i)
        for (int j = 0; j < counts[1]; ++j)
            for (int k = 0; k < counts[0]; ++k) {
                const int index[3] = {k, j, i};
                PlanPart part;
                for (int a = 0; a < 3; ++a) {
                    const BrickSpan s = brickSpan(index[a], finest.resolution[a], size[a]);
                    part.lo[a] = index[a] == 0 ? -0.5f * extent[a] : boxAt(s.lo, finest.span[a], extent[a]);
                    part.hi[a] = index[a] == counts[a] - 1 ? 0.5f * extent[a] : boxAt(s.hi, finest.span[a], extent[a]);
                }
                parts.push_back(part);
            }
    return parts;
}

PlanTree planTree(const PlanLevel& finest, int texels, const float extent[3], int deepest)
{
    PlanTree tree;
    // The leaves' bounds along each axis: leaf i spans bounds[i] ... bounds[i + 1].
    std::vector<float> bounds[3];
    for (int a = 0; a < 3; ++a) {
        const int n = finest.resolution[a];
        const int size = brickTexels(n, texels);
        const int count = bricksAlong(n, size);
        tree.leaves[a] = count;
        bounds[a].push_back(-0.5f * extent[a]);
        for (int i = 1; i < count; ++i)
            bounds[a].push_back(boxAt(brickSpan(i, n, size).lo, finest.span[a], extent[a]));
        bounds[a].push_back(0.5f * extent[a]);
    }
    int cells[3] = {tree.leaves[0], tree.leaves[1], tree.leaves[2]};
    int first = 0; // the first node of the depth being built
    for (int depth = 0;; ++depth) {
        const int stride = 1 << depth;
        const int begin = static_cast<int>(tree.nodes.size());
        for (int z = 0; z < cells[2]; ++z)
            for (int y = 0; y < cells[1]; ++y)
                for (int x = 0; x < cells[0]; ++x) {
                    const int cell[3] = {x, y, z};
                    PlanNode node;
                    node.depth = depth;
                    for (int a = 0; a < 3; ++a) {
                        node.firstLeaf[a] = cell[a] * stride;
                        node.endLeaf[a] = std::min((cell[a] + 1) * stride, tree.leaves[a]);
                        node.part.lo[a] = bounds[a][static_cast<size_t>(node.firstLeaf[a])];
                        node.part.hi[a] = bounds[a][static_cast<size_t>(node.endLeaf[a])];
                    }
                    if (depth > 0) {
                        // The children: cells 2x ... 2x + 1 of the depth below.
                        const int below[3] = {(tree.leaves[0] + stride / 2 - 1) / (stride / 2),
                                              (tree.leaves[1] + stride / 2 - 1) / (stride / 2),
                                              (tree.leaves[2] + stride / 2 - 1) / (stride / 2)};
                        for (int k = 2 * z; k < std::min(2 * z + 2, below[2]); ++k)
                            for (int j = 2 * y; j < std::min(2 * y + 2, below[1]); ++j)
                                for (int i = 2 * x; i < std::min(2 * x + 2, below[0]); ++i)
                                    node.children.push_back(first + i + below[0] * (j + below[1] * k));
                    }
                    tree.nodes.push_back(node);
                }
        first = begin;
        if (depth >= deepest || (cells[0] == 1 && cells[1] == 1 && cells[2] == 1))
            break;
        for (int a = 0; a < 3; ++a)
            cells[a] = (cells[a] + 1) / 2;
    }
    for (int n = first; n < static_cast<int>(tree.nodes.size()); ++n)
        tree.roots.push_back(n);
    return tree;
}

std::vector<int> planCut(const PlanTree& tree, const std::function<int(int node)>& wanted)
{
    std::vector<int> cut(tree.nodes.size(), -1);
    std::vector<int> open(tree.roots.rbegin(), tree.roots.rend());
    while (!open.empty()) {
        const int n = open.back();
        open.pop_back();
        const PlanNode& node = tree.nodes[static_cast<size_t>(n)];
        const int level = wanted(n);
        if (level < node.depth && !node.children.empty()) {
            open.insert(open.end(), node.children.rbegin(), node.children.rend());
            continue;
        }
        cut[static_cast<size_t>(n)] = std::max(level, node.depth);
    }
    return cut;
}

std::vector<int> planCutOrder(const PlanTree& tree, const std::vector<int>& cut, const double eye[3])
{
    // How far a node's centre lies from the eye along an axis.
    auto away = [&](int n, int a) {
        const PlanPart& p = tree.nodes[static_cast<size_t>(n)].part;
        return std::fabs(0.5 * (static_cast<double>(p.lo[a]) + p.hi[a]) - eye[a]);
    };
    auto farFirst = [&](std::vector<int> nodes) {
        std::stable_sort(nodes.begin(), nodes.end(), [&](int m, int n) {
            for (int a = 2; a >= 0; --a) {
                const double dm = away(m, a), dn = away(n, a);
                if (dm != dn)
                    return dm > dn;
            }
            return false;
        });
        return nodes;
    };
    std::vector<int> order;
    std::vector<int> open = farFirst(tree.roots);
    std::reverse(open.begin(), open.end());
    while (!open.empty()) {
        const int n = open.back();
        open.pop_back();
        if (n < 0 || static_cast<size_t>(n) >= cut.size())
            continue;
        if (cut[static_cast<size_t>(n)] >= 0) {
            order.push_back(n);
            continue;
        }
        const std::vector<int> children = farFirst(tree.nodes[static_cast<size_t>(n)].children);
        open.insert(open.end(), children.rbegin(), children.rend());
    }
    return order;
}

int planLeafTexels(const PlanLevel& finest, int least, int64_t most)
{
    int texels = std::max(least, 2);
    for (; texels < 4096; texels *= 2) {
        double leaves = 1.0; // beyond int64_t for the largest axes
        for (int a = 0; a < 3; ++a) {
            const int n = finest.resolution[a];
            leaves *= bricksAlong(n, brickTexels(n, texels));
        }
        if (leaves <= static_cast<double>(most))
            break;
    }
    return texels;
}

uint64_t PlanRegion::values() const
{
    return static_cast<uint64_t>(texels[0]) * texels[1] * texels[2];
}

PlanRegion planRegion(const PlanPart& part, const PlanLevel& level, const float extent[3])
{
    PlanRegion r;
    for (int a = 0; a < 3; ++a) {
        const int n = level.resolution[a];
        const double lo = voxelAt(part.lo[a], level.span[a], extent[a]);
        const double hi = voxelAt(part.hi[a], level.span[a], extent[a]);
        // A part's face on a voxel centre (the leaves') may land a rounding
        // error past it: the voxel beyond would weigh nothing.
        const double slack = 1e-3;
        int first = static_cast<int>(std::floor(lo - 0.5 + slack));
        int last = static_cast<int>(std::ceil(hi - 0.5 - slack));
        first = std::clamp(first, 0, n - 1);
        last = std::clamp(last, first, n - 1);
        r.first[a] = first;
        r.voxels[a] = last - first + 1;
        const bool padded = (n & (n - 1)) != 0;
        r.texels[a] = r.voxels[a] + (padded && last == n - 1 && hi > n - 0.5 ? 1 : 0);
        const double texels = r.texels[a];
        r.texScale[a] = static_cast<float>(level.span[a] / (extent[a] * texels));
        r.texOffset[a] = static_cast<float>((0.5 * level.span[a] - first) / texels);
    }
    return r;
}

bool partInView(const float modelview[16], const float projection[16], const float lo[3], const float hi[3])
{
    // Per face (x < -w, x > w, y < -w, y > w, behind the eye): whether every
    // corner so far is beyond it.
    bool beyond[5] = {true, true, true, true, true};
    for (int c = 0; c < 8; ++c) {
        const double p[3] = {(c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2]};
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = modelview[r] * p[0] + modelview[4 + r] * p[1] + modelview[8 + r] * p[2] + modelview[12 + r];
        for (int r = 0; r < 4; ++r)
            clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                      projection[12 + r] * eye[3];
        const double w = clip[3];
        beyond[0] = beyond[0] && clip[0] < -w;
        beyond[1] = beyond[1] && clip[0] > w;
        beyond[2] = beyond[2] && clip[1] < -w;
        beyond[3] = beyond[3] && clip[1] > w;
        beyond[4] = beyond[4] && !(w > 0.0);
    }
    return !(beyond[0] || beyond[1] || beyond[2] || beyond[3] || beyond[4]);
}

double pixelsPerUnit(const float modelview[16], const float projection[16], int width, int height,
                     const float p[3])
{
    const double at[3] = {p[0], p[1], p[2]};
    double base[2];
    if (!project(modelview, projection, width, height, at, base))
        return 0.0;
    const double step = 1e-3;
    double most = 0.0;
    for (int a = 0; a < 3; ++a) {
        double moved[3] = {at[0], at[1], at[2]};
        moved[a] += step;
        double image[2];
        if (!project(modelview, projection, width, height, moved, image))
            continue;
        most = std::max(most, std::hypot(image[0] - base[0], image[1] - base[1]) / step);
    }
    return most;
}

int chooseLevel(const std::vector<PlanLevel>& levels, const float extent[3], double perUnit, double pixels)
{
    for (int l = static_cast<int>(levels.size()) - 1; l > 0; --l) {
        double voxel = 0.0;
        for (int a = 0; a < 3; ++a)
            voxel = std::max(voxel, extent[a] / levels[static_cast<size_t>(l)].span[a]);
        if (voxel * perUnit <= pixels)
            return l;
    }
    return 0;
}

bool parseMemorySize(const std::string& text, uint64_t* bytes)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return false;
    const double number = std::strtod(begin, &end);
    std::string unit(end);
    if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b') && unit.size() == 2)
        unit.pop_back();
    double factor = 1.0;
    if (unit.size() == 1) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(unit[0])));
        const char* units = "KMGT";
        const char* at = std::strchr(units, c);
        if (!at || c == 0)
            return false;
        factor = std::pow(1024.0, static_cast<double>(at - units + 1));
    } else if (!unit.empty()) {
        return false;
    }
    const double value = number * factor;
    if (!(value >= 1.0) || value > 1.8e19)
        return false;
    *bytes = static_cast<uint64_t>(value);
    return true;
}

bool BrickLru::touch(uint64_t key)
{
    const auto it = myMap.find(key);
    if (it == myMap.end())
        return false;
    myOrder.splice(myOrder.end(), myOrder, it->second.place);
    return true;
}

std::vector<uint64_t> BrickLru::put(uint64_t key, uint64_t bytes)
{
    drop(key);
    myOrder.push_back(key);
    myMap[key] = {bytes, std::prev(myOrder.end())};
    myUsed += bytes;
    std::vector<uint64_t> gone;
    while (myUsed > myBudget && myOrder.front() != key) {
        const uint64_t old = myOrder.front();
        gone.push_back(old);
        drop(old);
    }
    return gone;
}

std::vector<int> levelsWithinBudget(const std::vector<int>& wanted, const std::vector<double>& priority,
                                    int coarsest, uint64_t budget, int inFlight,
                                    const std::function<uint64_t(int level, int part)>& bytes, uint64_t* largest)
{
    const size_t n = wanted.size();
    std::vector<int> levels(n);
    std::vector<uint64_t> sizes(n, 0);
    std::multiset<uint64_t> held; // the sizes of the bricks counted
    uint64_t total = 0;
    // Finest first, of equal levels the least priority first.
    auto coarserFirst = [&](size_t a, size_t b) {
        if (levels[a] != levels[b])
            return levels[a] > levels[b];
        return (a < priority.size() ? priority[a] : 0.0) > (b < priority.size() ? priority[b] : 0.0);
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(coarserFirst)> queue(coarserFirst);
    for (size_t p = 0; p < n; ++p) {
        levels[p] = std::max(0, std::min(wanted[p], coarsest));
        if (levels[p] < coarsest) {
            sizes[p] = bytes(levels[p], static_cast<int>(p));
            total += sizes[p];
            held.insert(sizes[p]);
            queue.push(p);
        }
    }
    const uint64_t flight = static_cast<uint64_t>(std::max(inFlight, 0));
    auto fits = [&] {
        const uint64_t most = held.empty() ? 0 : *held.rbegin();
        return total <= budget && (most == 0 || flight <= (budget - total) / most);
    };
    while (!queue.empty() && !fits()) {
        const size_t p = queue.top();
        queue.pop();
        total -= sizes[p];
        held.erase(held.find(sizes[p]));
        sizes[p] = 0;
        if (++levels[p] < coarsest) {
            sizes[p] = bytes(levels[p], static_cast<int>(p));
            total += sizes[p];
            held.insert(sizes[p]);
            queue.push(p);
        }
    }
    if (largest)
        *largest = held.empty() ? 0 : *held.rbegin();
    return levels;
}

std::vector<uint64_t> BrickLru::trim()
{
    std::vector<uint64_t> gone;
    while (myUsed > myBudget && !myOrder.empty()) {
        gone.push_back(myOrder.front());
        drop(myOrder.front());
    }
    return gone;
}

bool BrickLru::drop(uint64_t key)
{
    const auto it = myMap.find(key);
    if (it == myMap.end())
        return false;
    myUsed -= it->second.bytes;
    myOrder.erase(it->second.place);
    myMap.erase(it);
    return true;
}

std::vector<uint64_t> BrickLru::order() const
{
    return std::vector<uint64_t>(myOrder.begin(), myOrder.end());
}
