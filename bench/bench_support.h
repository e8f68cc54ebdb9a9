// What the GL benchmarks share: an offscreen context with the 8-bit
// luminance texture formats of a one-channel volume.
#ifndef GLIMRA_BENCH_SUPPORT_H
#define GLIMRA_BENCH_SUPPORT_H

#include "gl_context.h"
#include "texture_formats.h"

#include <benchmark/benchmark.h>

// True when ctx could be made current; otherwise the benchmark is marked
// skipped with the reason.
inline bool readyForTextures(const OffscreenContext& ctx, benchmark::State& state)
{
    if (!ctx.ok()) {
        state.SkipWithError(ctx.error().c_str());
        return false;
    }
    textureInternalFormat = GL_INTENSITY8;
    textureFormat = GL_LUMINANCE;
    return true;
}

#endif
