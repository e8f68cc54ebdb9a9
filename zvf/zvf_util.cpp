/* Header utilities: deep copy, transfer-function lists. */
#include "zvf.h"

#include <stdlib.h>
#include <string.h>

namespace {

float* copyFloats(const float* source, int32_t n)
{
    if (n <= 0)
        return nullptr;
    float* p = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
    if (p && source)
        memcpy(p, source, static_cast<size_t>(n) * sizeof(float));
    return p;
}

} // namespace

extern "C" {

zvfHeader* zvfDupHeader(zvfHeader* dst, const zvfHeader* src)
{
    *dst = *src;
    dst->rx = dst->ry = dst->rz = nullptr;
    dst->comments = nullptr;
    dst->ncomments = 0;
    bool ok = true;
    if (src->vtype == zvfRectZ) {
        dst->rz = copyFloats(src->rz, src->vdim[2]);
        ok = dst->rz != nullptr;
    } else if (src->vtype == zvfRectXYZ) {
        dst->rx = copyFloats(src->rx, src->vdim[0]);
        dst->ry = copyFloats(src->ry, src->vdim[1]);
        dst->rz = copyFloats(src->rz, src->vdim[2]);
        ok = dst->rx && dst->ry && dst->rz;
    }
    if (!ok) {
        fprintf(stderr, "zvfDupHeader: Allocation Error\n");
        free(dst->rx);
        free(dst->ry);
        free(dst->rz);
        dst->rx = dst->ry = dst->rz = nullptr;
        return nullptr;
    }
    if (src->ncomments > 0 && !zvfSetHdrComment(dst, src->ncomments, src->comments)) {
        free(dst->rx);
        free(dst->ry);
        free(dst->rz);
        dst->rx = dst->ry = dst->rz = nullptr;
        return nullptr;
    }
    return dst;
}

int zvfAddHdrTF(zvfHeader* h, const char* d, const char* r, const char* g, const char* b,
                const char* a)
{
    const char* texts[5] = {d, r, g, b, a};
    if (h->tfnum < 0 || h->tfnum > (INT32_MAX / 5) - 1) {
        fprintf(stderr, "zvfAddHdrTF: Allocation Error\n");
        return 0;
    }
    size_t slots = (static_cast<size_t>(h->tfnum) + 1) * 5;
    char** grown = static_cast<char**>(realloc(h->tfnum ? h->tfdata : nullptr, slots * sizeof(char*)));
    if (!grown) {
        fprintf(stderr, "zvfAddHdrTF: Allocation Error\n");
        return 0;
    }
    h->tfdata = grown;
    char** slot = grown + static_cast<size_t>(h->tfnum) * 5;
    for (int i = 0; i < 5; ++i) {
        slot[i] = strdup(texts[i] ? texts[i] : "");
        if (!slot[i]) {
            for (int j = 0; j < i; ++j)
                free(slot[j]);
            fprintf(stderr, "zvfAddHdrTF: Allocation Error\n");
            return 0;
        }
    }
    ++h->tfnum;
    return 1;
}

int zvfDelHdrTF(zvfHeader* h, int k)
{
    if (k < 0 || k >= h->tfnum || !h->tfdata) {
        fprintf(stderr, "zvfDelHdrTF: Incorrect TF number\n");
        return 0;
    }
    if (h->tfnum == 1) {
        for (int i = 0; i < 5; ++i)
            free(h->tfdata[i]);
        free(h->tfdata);
        h->tfdata = nullptr;
        h->tfnum = 0;
        return 1;
    }
    for (int i = 0; i < 5; ++i)
        free(h->tfdata[5 * k + i]);
    for (int s = 5 * k; s < 5 * (h->tfnum - 1); ++s)
        h->tfdata[s] = h->tfdata[s + 5];
    --h->tfnum;
    char** shrunk = static_cast<char**>(realloc(h->tfdata, static_cast<size_t>(h->tfnum) * 5 * sizeof(char*)));
    if (!shrunk) {
        /* the larger array still holds the list correctly */
        fprintf(stderr, "zvfDelHdrTF: Allocation Error\n");
        return 0;
    }
    h->tfdata = shrunk;
    return 1;
}

} // extern "C"
