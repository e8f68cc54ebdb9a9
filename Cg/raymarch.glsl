// The march the ray-casting programs share: the ray's span inside the box and
// the clip planes, the jump over cells the palette hides, and front-to-back
// compositing, the extreme value, or the first hit of the iso-surface.
// The including program declares volume, palette, slice_dist, diagonal and
// alphaThresh (and resolution for the iso-surface), and defines
// PREINTEGRATED and ISO_SURFACE as it needs; its main calls march(). The
// program manager compiles each ray caster a second time with CHANNELS
// defined, for data of several channels, which classify every channel.
//
// The rasteriser runs every branch of a loop body for all its lanes, so the
// sample loops hold no branch but their end: compositing and the extremes
// each have a loop of their own, chosen before the march, and the empty cells
// are stepped over before and after it.

#include "raybox.glsl"

in vec3 rayEntry;            // the face point, box coordinates
in vec3 rayDir;              // the ray's direction, box coordinates, any length
flat in vec3 texScale;       // texture coordinate = box point * texScale + texOffset
flat in vec3 texOffset;

uniform float blendMode;     // 0 composite, 1 maximum, 2 minimum intensity
uniform sampler3D skipGrid;  // per cell: r the largest opacity a sample in it can take
uniform vec3 skipScale;      // cells per unit of the data's range; 0: no grid
uniform vec4 rayClip[6];     // clip planes in box coordinates, keeping dot(plane, (p, 1)) >= 0
uniform vec2 valueRange;     // smallest and largest value of the data (0 and 1 when unknown)
uniform vec3 boxHalf;        // half the box's extent, box coordinates
uniform vec3 partLo;         // the part of the box drawn (the box, or one brick): lowest corner
uniform vec3 partHi;         // and highest corner

// Opacity beyond which the rest of a ray cannot change an 8-bit picture.
const float kOpaque = 1.0 - 0.5 / 255.0;
// Iso-surface light: ambient and diffuse from the eye.
const float kAmbient = 0.3;
const float kDiffuse = 0.7;

vec2 tableSize; // entries of the palette (or table) along each axis, read once per ray
// Where the ray enters the whole box: the distances along the ray count from
// here, so a brick samples where the box would and neighbouring bricks
// continue each other's samples.
vec3 rayStart;

// Value v (0..1) to its table entry: texel centres, so the n values land on the n entries.
vec4 classify(sampler2D table, vec4 v)
{
    float n = tableSize.x;
    vec4 s = v * ((n - 1.0) / n) + 0.5 / n;
#ifdef CHANNELS
    return vec4(texture2D(table, vec2(s.r, 0.5)).r, texture2D(table, vec2(s.g, 0.5)).g,
                texture2D(table, vec2(s.b, 0.5)).b, texture2D(table, vec2(s.a, 0.5)).a);
#else
    return texture2D(table, vec2(s.a, 0.5));
#endif
}

// Front value f and back value b to the pre-integrated entry of the segment between them
// (column: front, row: back), channel by channel.
vec4 classifyPair(sampler2D table, vec4 f, vec4 b)
{
    vec2 n = tableSize;
    vec4 sf = f * ((n.x - 1.0) / n.x) + 0.5 / n.x;
    vec4 sb = b * ((n.y - 1.0) / n.y) + 0.5 / n.y;
#ifdef CHANNELS
    return vec4(texture2D(table, vec2(sf.r, sb.r)).r, texture2D(table, vec2(sf.g, sb.g)).g,
                texture2D(table, vec2(sf.b, sb.b)).b, texture2D(table, vec2(sf.a, sb.a)).a);
#else
    return texture2D(table, vec2(sf.a, sb.a));
#endif
}

vec4 valueAt(vec3 p)
{
    return texture3D(volume, p * texScale + texOffset);
}

// The colour of a single point (the segment of zero length when pre-integrated).
vec4 pointColour(vec4 v)
{
#ifdef PREINTEGRATED
    return classifyPair(palette, v, v);
#else
    return classify(palette, v);
#endif
}

// Division that an axis the ray runs parallel to cannot make infinite.
vec3 safeDir(vec3 d)
{
    return mix(d, vec3(1e-7), lessThan(abs(d), vec3(1e-7)));
}

// Distances from rayStart at which the ray is inside the part drawn and on
// the kept side of every clip plane; false when there is no such stretch.
bool raySpan(vec3 dir, out float t0, out float t1)
{
    vec3 d = safeDir(dir);
    vec3 positive = vec3(greaterThan(d, vec3(0.0)));
    vec3 near = (mix(boxHalf, -boxHalf, positive) - rayEntry) / d;
    float entry = max(max(near.x, near.y), near.z);
    rayStart = rayEntry + dir * entry;
    vec3 far = (mix(partLo, partHi, positive) - rayEntry) / d;
    t0 = -entry;
    t1 = min(min(far.x, far.y), far.z) - entry;
    return clipSpan(rayClip, rayStart, dir, t0, t1);
}

// The cell of the grid that point p (at distance t) lies in: where the ray
// leaves it, and the largest colour and opacity any sample in it can take.
vec4 cellAhead(vec3 p, float t, vec3 dir, vec3 h, vec3 lastCell, out float leave)
{
    vec3 u = (p / h + 1.0) * 0.5; // 0 ... 1 across the data
    vec3 cell = clamp(floor(u * skipScale), vec3(0.0), lastCell);
    vec3 lo = (cell / skipScale * 2.0 - 1.0) * h;
    vec3 hi = ((cell + 1.0) / skipScale * 2.0 - 1.0) * h;
    vec3 out3 = (mix(lo, hi, greaterThan(dir, vec3(0.0))) - p) / safeDir(dir);
    leave = t + min(min(out3.x, out3.y), out3.z);
    return texelFetch(skipGrid, ivec3(cell), 0);
}

// Whether a cell can change the pixel: only samples the alpha test keeps
// count, under every compositing rule, so a cell whose largest opacity is at
// or below the threshold adds nothing to a sum, an extreme or a surface.
bool cellShows(vec4 info)
{
    return info.r > alphaThresh;
}

// Whether the alpha test keeps a fragment of opacity a: compared, as the
// test compares them, in the 8 bits of the frame buffer, so that the
// fragment an extreme writes passes the test whenever its sample did.
bool keptByAlphaTest(float a)
{
    return floor(a * 255.0 + 0.5) > floor(alphaThresh * 255.0 + 0.5);
}

#ifdef ISO_SURFACE
// The classified colour lit from the eye with the data's gradient (central
// differences one voxel apart); a vanishing gradient leaves it unlit.
vec4 surfaceColour(vec3 p, vec3 dir, vec4 c)
{
    vec3 texel = 1.0 / max(resolution, vec3(1.0));
    vec3 tc = p * texScale + texOffset;
    vec3 g = vec3(texture3D(volume, tc + vec3(texel.x, 0.0, 0.0)).a - texture3D(volume, tc - vec3(texel.x, 0.0, 0.0)).a,
                  texture3D(volume, tc + vec3(0.0, texel.y, 0.0)).a - texture3D(volume, tc - vec3(0.0, texel.y, 0.0)).a,
                  texture3D(volume, tc + vec3(0.0, 0.0, texel.z)).a - texture3D(volume, tc - vec3(0.0, 0.0, texel.z)).a);
    float len = length(g);
    if (len < 1e-5)
        return vec4(c.rgb, 1.0);
    return vec4(c.rgb * (kAmbient + kDiffuse * abs(dot(g / len, dir))), 1.0);
}
#endif

void march()
{
    vec3 dir = normalize(rayDir);
    float t0;
    float t1;
    if (!raySpan(dir, t0, t1))
        discard;
    tableSize = vec2(textureSize(palette, 0));
    float s = max(slice_dist, 1e-5);
    // Samples sit at (k + 0.5) s from rayStart: k from the first inside the
    // span to the last before its end, and never more than the diagonal holds.
    int k = max(int(ceil(t0 / s - 0.5)), 0);
    int end = min(int(ceil(t1 / s - 0.5)), k + int(diagonal / s) + 2);

    // Cells the palette hides, at the front of the ray and at its back.
    if (skipScale.x > 0.0) {
        vec3 h = boxHalf;
        vec3 lastCell = vec3(textureSize(skipGrid, 0) - 1);
        for (int i = 0; i < 1024 && k < end; ++i) {
            float leave;
            float tk = (float(k) + 0.5) * s;
            if (cellShows(cellAhead(rayStart + dir * tk, tk, dir, h, lastCell, leave)))
                break;
#if defined(PREINTEGRATED) && !defined(ISO_SURFACE)
            // The last sample's segment may reach into the next cell.
            k = max(int(ceil(leave / s - 0.5)) - 1, k + 1);
#else
            k = max(int(ceil(leave / s - 0.5)), k + 1);
#endif
        }
        for (int i = 0; i < 1024 && end > k; ++i) {
            float back;
            float tj = (float(end - 1) + 0.5) * s;
            if (cellShows(cellAhead(rayStart + dir * tj, tj, -dir, h, lastCell, back)))
                break;
            // Run backwards, the ray leaves the cell where it entered it.
            end = min(int(ceil((2.0 * tj - back) / s - 0.5)), end - 1);
        }
    }
    if (k >= end)
        discard;

    vec3 tc = (rayStart + dir * ((float(k) + 0.5) * s)) * texScale + texOffset;
    vec3 stride = dir * s * texScale;
#ifdef ISO_SURFACE
    // The first sample the alpha test keeps, then halve the step before it a
    // few times to find where the surface crosses.
    bool hit = false;
    for (; k < end; ++k) {
        if (pointColour(texture3D(volume, tc)).a > alphaThresh) {
            hit = true;
            break;
        }
        tc += stride;
    }
    if (!hit)
        discard;
    float t = (float(k) + 0.5) * s;
    float a = max(t - s, t0);
    float b = t;
    for (int i = 0; i < 5; ++i) {
        float m = 0.5 * (a + b);
        if (pointColour(valueAt(rayStart + dir * m)).a > alphaThresh)
            b = m;
        else
            a = m;
    }
    vec3 surface = rayStart + dir * b;
    gl_FragColor = surfaceColour(surface, dir, pointColour(valueAt(surface)));
#else
    if (blendMode < 0.5) {
        vec4 sum = vec4(0.0);
#ifdef PREINTEGRATED
        vec4 front = texture3D(volume, tc);
#endif
        for (; k < end; ++k) {
#ifdef PREINTEGRATED
            vec4 back = texture3D(volume, tc + stride);
            vec4 c = classifyPair(palette, front, back);
            front = back;
#else
            vec4 c = classify(palette, texture3D(volume, tc));
#endif
            tc += stride;
            // A sample at or below the threshold is left out, as the alpha
            // test leaves out a slice.
            sum += (c.a > alphaThresh ? 1.0 - sum.a : 0.0) * vec4(c.rgb * c.a, c.a);
            if (sum.a >= kOpaque)
                break;
        }
        if (sum.a <= 0.0)
            discard;
        // The frame buffer blends with the source alpha: hand over the colour
        // without the opacity already in it.
        gl_FragColor = vec4(sum.rgb / sum.a, sum.a);
    } else {
        // Maximum and minimum intensity take the largest (smallest) value,
        // channel by channel, of the samples the alpha test keeps, as the
        // slices' extremes take only the fragments that pass it, and
        // classify that; a ray none of whose samples pass leaves the pixel.
        vec4 most = vec4(0.0);
        vec4 least = vec4(1.0);
        bool kept = false;
        // A ray that has met the data's extreme cannot find a further one.
        vec4 stop = blendMode < 1.5 ? vec4(valueRange.y) : vec4(-valueRange.x);
        for (; k < end; ++k) {
            vec4 v = texture3D(volume, tc);
            tc += stride;
            bool pass = keptByAlphaTest(pointColour(v).a);
            most = pass ? max(most, v) : most;
            least = pass ? min(least, v) : least;
            kept = kept || pass;
            if (all(greaterThanEqual(blendMode < 1.5 ? most : -least, stop)))
                break;
        }
        if (!kept)
            discard;
        gl_FragColor = pointColour(blendMode < 1.5 ? most : least);
    }
#endif
}
