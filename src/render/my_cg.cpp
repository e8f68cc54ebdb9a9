// The program manager: creation in a fixed order, support flags, and the
// parameters of every program set.
#include "my_cg.h"

#include "bricking.h"
#include "error_handling.h"
#include "multi_volume.h"
#include "plane.h"
#include "render_mode.h"
#include "slicing.h"
#include "transfer_function.h"
#include "volume.h"
#include "zvf_matrix.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

CGcontext cgContext = nullptr;
CGprofile fragmentProfile = CG_PROFILE_UNKNOWN;
CGprofile vertexProfile = CG_PROFILE_UNKNOWN;
bool cgReady = true;
bool arbProgramsReady = false;
bool nv30Supported = false;
bool nv40Supported = false;

namespace {

struct ProgramInfo
{
    const char* file;       // under the program directory
    bool vertex;            // vertex profile (else fragment)
    const char* parameters; // blank-separated parameter names; "?" after one the file may leave unused
    const char* define = nullptr; // compiler argument of a second instance
};

#define CLIP_PARAMS " ClipPlane0 ClipPlane1 ClipPlane2 ClipPlane3 ClipPlane4 ClipPlane5"
// Beyond the ray casters' own: the compositing rule, the empty-space cells,
// the clip planes, which cut each ray sample by sample, the data's value
// range, which ends maximum and minimum intensity rays early, and the box
// with the part of it drawn (one brick), which place the samples.
#define RAY_EXTRA_PARAMS " blendMode skipGrid skipScale rayClip valueRange boxHalf partLo partHi"
// An iso surface has no maximum or minimum to take: the iso ray casters may
// ignore the compositing rule and the value range.
#define ISO_RAY_EXTRA_PARAMS " blendMode? skipGrid skipScale rayClip valueRange? boxHalf partLo partHi"
#define MULTI_VOLUME_PARAMS \
    "palette volume volume1 volume2 volume3 volume4 volume5 volume6 volume7 volume8 volume9 volume10 arr numOfEl"

// Indexed by CgProgramId.
const ProgramInfo kPrograms[PRG_COUNT] = {
    {"post2d.cg", false, "texture palette"},
    {"post3d.cg", false, "volume palette"},
    {"vertex.cg", true, "matrixModel matrixTexture matrixModelProj" CLIP_PARAMS},
    {"normal.cg", false, "texture palette gradient light"},
    {"light.cg", false, "texture palette gradient grad_mag light"},
    {"normalOld.cg", false, "texture palette tex_res light"},
    {"normalMulti.cg", false, "texture palette tex_res light"},
    {"lightAdv.cg", false, "texture palette gradient light"},
    {"raycast_fp.cg", false, "volume palette slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS},
    {"raycast_fp_post.cg", false, "volume palette slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS},
    {"raycast_vp.cg", true, "matrixModel matrixInvertModel matrixTexture matrixModelProj"},
    {"raycast_vp_ortho.cg", true,
     "matrixModel matrixInvertModel matrixTexture matrixModelProj near distanceNearFar"},
    {"preint_3d_fp.cg", false, "volume palette"},
    {"preint_vp.cg", true, "matrixModel matrixTexture matrixModelProj matrixModelClip sliceDst" CLIP_PARAMS},
    {"preint_2d_fp.cg", false, "frontTex backTex palette"},
    {"preint_vp_oas.cg", true,
     "matrixModel matrixModelInv matrixTexture matrixModelProj sliceDst normal2 normal3" CLIP_PARAMS},
    {"preint_vp_oas3d.cg", true,
     "matrixModel matrixModelInv matrixTexture matrixModelProj sliceDst normal2 normal3" CLIP_PARAMS},
    {"preint_2d_fp.cg", false, "frontTex backTex palette"},
    {"preint_vp_ortho_oas.cg", true,
     "matrixModel matrixModelInv matrixTexture matrixModelProj sliceDst normal2 normal3" CLIP_PARAMS},
    {"preint_vp_ortho_oas3d.cg", true,
     "matrixModel matrixModelInv matrixTexture matrixModelProj sliceDst normal2 normal3" CLIP_PARAMS},
    {"preint_3d_fp.cg", false, "volume palette"},
    // Orthographic views along -z need no model matrix of their own.
    {"preint_vp_ortho.cg", true,
     "matrixModel? matrixTexture matrixModelProj matrixModelClip sliceDst" CLIP_PARAMS},
    {"mask_fp.cg", false, "volume palette shiftTexture slice_dist alphaThresh distanceNearFar near rayClip"},
    {"mask_fp_post.cg", false,
     "volume gradient grad_mag palette slice_dist diagonal alphaThresh minDistance maxDistance rayClip"},
    {"maskmask_fp.cg", false, "volume slice_dist distanceNearFar alphaTest near"},
    {"dilate_fp.cg", false, "volume decrement resx resy"},
    {"multi_post_fp.cg", false, "frontTex backTex palette depth"},
    {"multi_preint_fp.cg", false, "frontTex1 backTex1 frontTex2 backTex2 palette depth1 depth2"},
    {"iso2dPost_fp.cg", false, "texture palette resolution"},
    {"iso2dMultiPost_fp.cg", false, "frontTex backTex res depth palette"},
    {"iso3dPost_fp.cg", false, "texture palette res"},
    {"iso2dInt_fp.cg", false, "frontTex backTex palette res"},
    {"iso2dMultiInt_fp.cg", false, "frontTex1 backTex1 frontTex2 backTex2 res depth1 depth2 palette"},
    {"iso3dInt_fp.cg", false, "texture palette res"},
    {"isoRayPost_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" ISO_RAY_EXTRA_PARAMS},
    {"isoRayInt_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" ISO_RAY_EXTRA_PARAMS},
    {"isoGradMag_fp.cg", false, "volume palette gradient grad_mag light resolution"},
    {"isoLight_fp.cg", false, "volume palette gradient light resolution"},
    {"isoMultiVolumePost_fp.cg", false, MULTI_VOLUME_PARAMS " res"},
    {"isoMultiVolumePreInt_fp.cg", false, MULTI_VOLUME_PARAMS " res"},
    {"multiVolumePost_fp.cg", false, MULTI_VOLUME_PARAMS},
    {"multiVolumePreInt_fp.cg", false, MULTI_VOLUME_PARAMS},
    {"multiVolumePost4_fp.cg", false, MULTI_VOLUME_PARAMS},
    {"multiVolumePreInt4_fp.cg", false, MULTI_VOLUME_PARAMS},
    {"raycast_fp.cg", false, "volume palette slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS, "-DCHANNELS"},
    {"raycast_fp_post.cg", false, "volume palette slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS, "-DCHANNELS"},
    {"isoRayPost_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" ISO_RAY_EXTRA_PARAMS,
     "-DCHANNELS"},
    {"isoRayInt_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" ISO_RAY_EXTRA_PARAMS,
     "-DCHANNELS"},
};

// The vertex programs that carry clip planes, and the files without clip
// distances that replace all of them when one is missing.
const struct
{
    int id;
    const char* file;
} kClipFallbacks[] = {
    {PRG_VERTEX, "vertex_arb.cg"},
    {PRG_PREINT_VP, "preint_arb_vp.cg"},
    {PRG_PREINT_VP_OAS, "preint_arb_vp_oas.cg"},
    {PRG_PREINT_VP_OAS3D, "preint_arb_vp_oas3d.cg"},
    {PRG_PREINT_VP_ORTHO_OAS, "preint_arb_vp_ortho_oas.cg"},
    {PRG_PREINT_VP_ORTHO_OAS3D, "preint_arb_vp_ortho_oas3d.cg"},
    {PRG_PREINT_VP_ORTHO, "preint_arb_vp_ortho.cg"},
};

// Every parameter name of every program. The samplers come first, so that
// they can be switched off together.
enum ParamId
{
    P_TEXTURE,
    P_VOLUME,
    P_VOLUME1, // ... P_VOLUME1 + 9: "volume1" ... "volume10"
    P_VOLUME10 = P_VOLUME1 + 9,
    P_PALETTE,
    P_GRADIENT,
    P_GRAD_MAG,
    P_FRONT_TEX,
    P_BACK_TEX,
    P_FRONT_TEX1,
    P_BACK_TEX1,
    P_FRONT_TEX2,
    P_BACK_TEX2,
    P_SHIFT_TEXTURE,
    P_SKIP_GRID,
    P_SAMPLER_END, // samplers end here
    P_LIGHT = P_SAMPLER_END,
    P_TEX_RES,
    P_RES,
    P_RESOLUTION,
    P_SLICE_DIST,
    P_DIAGONAL,
    P_ALPHA_THRESH,
    P_ALPHA_TEST,
    P_DISTANCE_NEAR_FAR,
    P_NEAR,
    P_MIN_DISTANCE,
    P_MAX_DISTANCE,
    P_DECREMENT,
    P_RESX,
    P_RESY,
    P_DEPTH,
    P_DEPTH1,
    P_DEPTH2,
    P_ARR,
    P_NUM_OF_EL,
    P_BLEND_MODE,
    P_SKIP_SCALE,
    P_RAY_CLIP,
    P_VALUE_RANGE,
    P_BOX_HALF,
    P_PART_LO,
    P_PART_HI,
    P_MATRIX_MODEL,
    P_MATRIX_TEXTURE,
    P_MATRIX_MODEL_PROJ,
    P_MATRIX_MODEL_CLIP,
    P_MATRIX_MODEL_INV,
    P_MATRIX_INVERT_MODEL,
    P_SLICE_DST,
    P_NORMAL2,
    P_NORMAL3,
    P_CLIP_PLANE0, // ... P_CLIP_PLANE0 + 5: "ClipPlane0" ... "ClipPlane5"
    P_CLIP_PLANE5 = P_CLIP_PLANE0 + 5,
    PARAM_COUNT,
};

// Indexed by ParamId.
const char* const kParamNames[] = {
    "texture", "volume", "volume1", "volume2", "volume3", "volume4", "volume5", "volume6", "volume7",
    "volume8", "volume9", "volume10", "palette", "gradient", "grad_mag", "frontTex", "backTex", "frontTex1",
    "backTex1", "frontTex2", "backTex2", "shiftTexture", "skipGrid", "light", "tex_res", "res", "resolution",
    "slice_dist", "diagonal", "alphaThresh", "alphaTest", "distanceNearFar", "near", "minDistance",
    "maxDistance", "decrement", "resx", "resy", "depth", "depth1", "depth2", "arr", "numOfEl", "blendMode",
    "skipScale", "rayClip", "valueRange", "boxHalf", "partLo", "partHi", "matrixModel", "matrixTexture",
    "matrixModelProj", "matrixModelClip", "matrixModelInv", "matrixInvertModel", "sliceDst", "normal2", "normal3",
    "ClipPlane0", "ClipPlane1", "ClipPlane2", "ClipPlane3", "ClipPlane4", "ClipPlane5"};
static_assert(sizeof(kParamNames) / sizeof(kParamNames[0]) == PARAM_COUNT, "one name per parameter");

std::string g_directory = "../Cg/";
CGprogram g_programs[PRG_COUNT] = {};
// The file each program came from (a fallback's own name).
const char* g_files[PRG_COUNT] = {};
// Every parameter handle, resolved once at creation; null where the program
// has no such parameter.
CGparameter g_handles[PRG_COUNT][PARAM_COUNT] = {};
GLuint g_paletteOverride = 0;
GLuint g_preintOverride = 0;
unsigned long g_overrideVersion = 0; // times the replacements were set
// What the last bind switched on, for disable.
int g_boundVertex = PRG_NONE;
int g_boundFragment = PRG_NONE;
CGparameter g_enabledSamplers[P_SAMPLER_END] = {};
int g_enabledSamplerCount = 0;
float g_sliceDistance = 0.0f; // scratch value of the last bind
float g_light[3] = {0.0f, 0.0f, -3.0f};
float g_lightMatrix[16];

CGparameter param(int id, ParamId p)
{
    return (id >= 0 && id < PRG_COUNT) ? g_handles[id][p] : nullptr;
}

// "../Cg/" + file, cut at 255 characters like the fixed path buffer.
std::string programPath(const char* file)
{
    std::string path = g_directory + file;
    if (path.size() > 255)
        path.resize(255);
    return path;
}

CGprogram createProgram(const char* file, bool vertex, const char* define = nullptr)
{
    std::string path = programPath(file);
    const char* args[2] = {define, nullptr};
    return cgCreateProgramFromFile(cgContext, CG_SOURCE, path.c_str(), vertex ? vertexProfile : fragmentProfile,
                                   "main", define ? args : nullptr);
}

// Writes text to the file log only, with the site.
void logFileOnly(int line, const std::string& text)
{
    if (g_pFileLog)
        *g_pFileLog << __FILE__ << "\t" << line << text.c_str();
}

void reportMissing(const char* file)
{
    std::string text = std::string("Shader: ") + file + " is not created correctly.\n";
    logBoth(__FILE__, __LINE__, text.c_str());
    // What the compiler said, for the log file only.
    const char* listing = cgGetLastListing(cgContext);
    if (g_pFileLog && listing && *listing) {
        *g_pFileLog << listing;
        if (listing[std::strlen(listing) - 1] != '\n')
            *g_pFileLog << "\n";
    }
}

bool allExist(const int* ids, int n)
{
    for (int i = 0; i < n; ++i)
        if (!g_programs[ids[i]])
            return false;
    return true;
}

int paramIdOf(const std::string& name)
{
    for (int p = 0; p < PARAM_COUNT; ++p)
        if (name == kParamNames[p])
            return p;
    return -1;
}

bool isClipPlane(int p)
{
    return p >= P_CLIP_PLANE0 && p <= P_CLIP_PLANE5;
}

// The handles of the program's parameters. A name the program lacks is
// reported here, once, rather than silently ignored at every draw; the
// fallback vertex programs have no clip planes by design.
void fetchParameters(int id, bool fallback)
{
    for (CGparameter& h : g_handles[id])
        h = nullptr;
    if (!g_programs[id])
        return;
    const std::string names = kPrograms[id].parameters;
    size_t start = 0;
    while (start < names.size()) {
        size_t end = names.find(' ', start);
        if (end == std::string::npos)
            end = names.size();
        std::string name = names.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        const bool optional = name.back() == '?';
        if (optional)
            name.pop_back();
        const int p = paramIdOf(name);
        CGparameter handle = p >= 0 ? cgGetNamedParameter(g_programs[id], name.c_str()) : nullptr;
        if (p >= 0)
            g_handles[id][p] = handle;
        if (!handle && !optional && !(fallback && isClipPlane(p)))
            logFileOnly(__LINE__, std::string("Shader: ") + g_files[id] + " has no parameter " + name + ".\n");
    }
}

void resetHandles()
{
    for (int i = 0; i < PRG_COUNT; ++i) {
        g_programs[i] = nullptr;
        g_files[i] = nullptr;
        for (CGparameter& h : g_handles[i])
            h = nullptr;
    }
    g_enabledSamplerCount = 0;
    g_boundVertex = PRG_NONE;
    g_boundFragment = PRG_NONE;
}

GLuint paletteTexture()
{
    if (g_paletteOverride)
        return g_paletteOverride;
    return transfer ? transfer->getPaletteTexture() : 0;
}

GLuint preintTexture()
{
    if (g_preintOverride)
        return g_preintOverride;
    return transfer ? transfer->getPreintTexture() : 0;
}

// ---- values ----

int sampleCount()
{
    return volume.interacting ? volume.halfSampling : volume.sampling;
}

// N - 1, kept at least 1 so that one or no slice gives no division by zero.
float intervals()
{
    int n = sampleCount();
    return n > 1 ? static_cast<float>(n - 1) : 1.0f;
}

const Brick* brickAt(int index)
{
    if (index < 0 || !volume.isBricking || !volume.myBrickInfo)
        return nullptr;
    const BrickInfo* info = volume.myBrickInfo;
    if (index >= info->count || !info->bricks)
        return nullptr;
    return info->bricks[index];
}

zvfMatrix rotationMatrix()
{
    return zvfMatrixFromFloats(volume.rotation);
}

zvfMatrix inverseRotation()
{
    zvfMatrix m = rotationMatrix();
    m.Invert();
    return m;
}

// Takes a drawn vertex into the rotated frame of the data set. A brick's
// polygons are drawn in box coordinates as the box's are.
zvfMatrix modelMatrix(int slicing)
{
    if (slicing == SLICING_3D_VIEW_ALIGNED)
        return zvfIdentityMatrix();
    return rotationMatrix();
}

void setMatrix(CGparameter p, const zvfMatrix& m)
{
    cgGLSetMatrixParameterfc(p, m.data());
}

// Slot i's plane in the rotated frame of the data set: its normal turned by
// the plane's own matrix, and its d. False for an empty slot.
bool rotatedPlane(int i, float out[4])
{
    const ClipPlane* plane = (i < clipPlanes.maximum && i < ClipPlaneSet::kSlots) ? clipPlanes.pole[i] : nullptr;
    if (!plane)
        return false;
    const float* m = plane->matrix;
    const float a = static_cast<float>(plane->equation[0]);
    const float b = static_cast<float>(plane->equation[1]);
    const float c = static_cast<float>(plane->equation[2]);
    out[0] = m[0] * a + m[4] * b + m[8] * c;
    out[1] = m[1] * a + m[5] * b + m[9] * c;
    out[2] = m[2] * a + m[6] * b + m[10] * c;
    out[3] = static_cast<float>(plane->equation[3]);
    return true;
}

// Every slot; an empty slot keeps everything, since a written clip distance
// can clip even where the plane is not enabled.
void loadClipPlanes(int id)
{
    for (int i = 0; i < 6; ++i) {
        CGparameter p = param(id, static_cast<ParamId>(P_CLIP_PLANE0 + i));
        if (!p)
            continue;
        float e[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        rotatedPlane(i, e);
        cgGLSetParameter4fv(p, e);
    }
}

// The two box axes inside a slice facing frontFace.
void sliceAxes(float n2[4], float n3[4])
{
    const float x[4] = {1, 0, 0, 0};
    const float y[4] = {0, 1, 0, 0};
    const float z[4] = {0, 0, 1, 0};
    const float* a = x;
    const float* b = y;
    switch (volume.frontFace) {
    case 1:
    case 3: a = y; b = z; break;
    case 4:
    case 5: a = x; b = z; break;
    default: break;
    }
    std::memcpy(n2, a, 4 * sizeof(float));
    std::memcpy(n3, b, 4 * sizeof(float));
}

// Texels of a 2-D stack slice along s and t (the same axes as sliceAxes).
void sliceResolution(float out[2])
{
    const int* r = volume.resolution;
    switch (volume.frontFace) {
    case 1:
    case 3: out[0] = static_cast<float>(r[1]); out[1] = static_cast<float>(r[2]); break;
    case 4:
    case 5: out[0] = static_cast<float>(r[0]); out[1] = static_cast<float>(r[2]); break;
    default: out[0] = static_cast<float>(r[0]); out[1] = static_cast<float>(r[1]); break;
    }
}

void computeLight()
{
    zvfMatrix inv = inverseRotation();
    std::memcpy(g_lightMatrix, inv.data(), sizeof(g_lightMatrix));
    zvfVector l = zvfTransformPoint(inv, zvfVector{0.0f, 0.0f, -3.0f});
    g_light[0] = l.x;
    g_light[1] = l.y;
    g_light[2] = l.z;
}

// The headlight of every shaded style, recomputed for the current rotation.
void loadLightVector(int id)
{
    computeLight();
    cgGLSetParameter3fv(param(id, P_LIGHT), g_light);
}

// Smallest and largest distance from the camera to the box corners.
void distanceRange(float& minDistance, float& maxDistance)
{
    minDistance = 1e20f;
    maxDistance = -1e20f;
    if (volume.perspective) {
        float mv[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, mv);
        zvfMatrix inv = zvfMatrixFromFloats(mv);
        inv.Invert();
        zvfVector eye = zvfTransformPoint(inv, zvfVector{0.0f, 0.0f, 0.0f});
        for (int i = 0; i < 8; ++i) {
            float dx = volume.vertices[i][0] - eye.x;
            float dy = volume.vertices[i][1] - eye.y;
            float dz = volume.vertices[i][2] - eye.z;
            float d = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (d < minDistance)
                minDistance = d;
            if (d > maxDistance)
                maxDistance = d;
        }
    } else {
        for (int i = 0; i < 8; ++i) {
            float d = std::fabs(volume.vertices[i][2] - 10.0f);
            if (d < minDistance)
                minDistance = d;
            if (d > maxDistance)
                maxDistance = d;
        }
    }
}

// ---- binding ----

// Binds a program for its stage; false (stage left fixed-function) when the
// program does not exist, so that no earlier program runs in its place.
bool bindStage(int id, CGprofile profile)
{
    CGprogram p = (id >= 0 && id < PRG_COUNT) ? g_programs[id] : nullptr;
    if (!p) {
        cgGLUnbindProgram(profile);
        return false;
    }
    cgGLBindProgram(p);
    return true;
}

void sampler(int id, ParamId name, GLuint texture)
{
    CGparameter p = param(id, name);
    if (!p || g_enabledSamplerCount >= P_SAMPLER_END)
        return;
    cgGLSetTextureParameter(p, texture);
    cgGLEnableTextureParameter(p);
    g_enabledSamplers[g_enabledSamplerCount++] = p;
}

void value1(int id, ParamId name, float x)
{
    cgGLSetParameter1f(param(id, name), x);
}

// The clip planes brought into the box coordinates of a ray caster.
void loadRayClip(int id)
{
    CGparameter clip = param(id, P_RAY_CLIP);
    if (!clip)
        return;
    // A box point p lies at M p in the planes' frame, so the plane P there is
    // M^T P in box coordinates.
    const zvfMatrix model = modelMatrix(SLICING_3D_OBJECT_ALIGNED);
    const float* m = model.data();
    float planes[6][4];
    for (int i = 0; i < 6; ++i) {
        float e[4];
        if (!rotatedPlane(i, e)) {
            planes[i][0] = planes[i][1] = planes[i][2] = 0.0f;
            planes[i][3] = 1.0f;
            continue;
        }
        for (int j = 0; j < 4; ++j)
            planes[i][j] = m[4 * j] * e[0] + m[4 * j + 1] * e[1] + m[4 * j + 2] * e[2] + m[4 * j + 3] * e[3];
    }
    const int size = cgGetArraySize(clip, 0);
    cgGLSetParameterArray4f(clip, 0, size < 6 ? size : 6, &planes[0][0]);
}

// What the ray casters take beyond their own parameters: the compositing
// rule, the empty-space cells and value range of the data (not for bricks,
// whose textures the grid does not describe), the box and the part of it
// drawn (a brick's, whose rays sample where the box's would) and the clip
// planes.
void loadRayExtras(int id, const Brick* b)
{
    float half[3];
    float lo[3];
    float hi[3];
    for (int a = 0; a < 3; ++a) {
        half[a] = volume.extent[a] / 2.0f;
        lo[a] = b ? b->lo[a] : -half[a];
        hi[a] = b ? b->hi[a] : half[a];
    }
    cgGLSetParameter3fv(param(id, P_BOX_HALF), half);
    cgGLSetParameter3fv(param(id, P_PART_LO), lo);
    cgGLSetParameter3fv(param(id, P_PART_HI), hi);
    const int blending = volume.blending;
    value1(id, P_BLEND_MODE, (blending == BLENDING_MAXIMUM || blending == BLENDING_MINIMUM)
                                 ? static_cast<float>(blending) : 0.0f);
    float scale[3] = {0.0f, 0.0f, 0.0f};
    if (!b && volume.skipGrid.texture && !volume.skipGrid.cellInfo.empty()) {
        skipGridScale(volume.skipGrid, scale);
        sampler(id, P_SKIP_GRID, volume.skipGrid.texture);
    }
    cgGLSetParameter3fv(param(id, P_SKIP_SCALE), scale);
    // The extremes of the data: a ray that has met one is done.
    const bool known = !b && !volume.skipGrid.lo.empty();
    cgGLSetParameter2f(param(id, P_VALUE_RANGE), known ? volume.skipGrid.valueLo : 0.0f,
                       known ? volume.skipGrid.valueHi : 1.0f);

    loadRayClip(id);
}

void trackStandardMatrices(int id)
{
    cgGLSetStateMatrixParameter(param(id, P_MATRIX_TEXTURE), CG_GL_TEXTURE_MATRIX, CG_GL_MATRIX_IDENTITY);
    cgGLSetStateMatrixParameter(param(id, P_MATRIX_MODEL_PROJ), CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
}

void bindVertexPassThrough(int slicing)
{
    int id = PRG_VERTEX;
    if (!bindStage(id, vertexProfile))
        return;
    trackStandardMatrices(id);
    setMatrix(param(id, P_MATRIX_MODEL), modelMatrix(slicing));
    loadClipPlanes(id);
    cgGLEnableProfile(vertexProfile);
    g_boundVertex = id;
}

void bindPreintegrationVertex(int slicing)
{
    int id = PRG_NONE;
    bool perspective = volume.perspective;
    if (slicing == SLICING_3D_VIEW_ALIGNED)
        id = perspective ? PRG_PREINT_VP : PRG_PREINT_VP_ORTHO;
    else if (slicing == SLICING_2D_STACKS)
        id = perspective ? PRG_PREINT_VP_OAS : PRG_PREINT_VP_ORTHO_OAS;
    else if (slicing == SLICING_3D_OBJECT_ALIGNED)
        id = perspective ? PRG_PREINT_VP_OAS3D : PRG_PREINT_VP_ORTHO_OAS3D;
    else
        return;
    if (!bindStage(id, vertexProfile))
        return;
    trackStandardMatrices(id);
    if (slicing == SLICING_3D_VIEW_ALIGNED) {
        // The slice vertices (a brick's too) are already in the rotated
        // frame where the planes live.
        cgGLSetStateMatrixParameter(param(id, P_MATRIX_MODEL), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
        setMatrix(param(id, P_MATRIX_MODEL_CLIP), zvfIdentityMatrix());
        // The next slice, where the segment ends: view-aligned slices lie
        // closer than the sampling's intervals (the schedule's step).
        const SliceSchedule next = sliceSchedule(sampleCount(), SLICING_3D_VIEW_ALIGNED);
        g_sliceDistance = next.count > 1 ? volume.diagonal * next.step : volume.diagonal;
    } else {
        cgGLSetStateMatrixParameter(param(id, P_MATRIX_MODEL_INV), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
        setMatrix(param(id, P_MATRIX_MODEL), rotationMatrix());
        g_sliceDistance = 1.0f / intervals();
        float n2[4];
        float n3[4];
        sliceAxes(n2, n3);
        cgGLSetParameter4fv(param(id, P_NORMAL2), n2);
        cgGLSetParameter4fv(param(id, P_NORMAL3), n3);
    }
    value1(id, P_SLICE_DST, g_sliceDistance);
    cgGLEnableProfile(vertexProfile);
    loadClipPlanes(id);
    g_boundVertex = id;
}

void bindRayCastVertex()
{
    int id = volume.perspective ? PRG_RAYCAST_VP : PRG_RAYCAST_VP_ORTHO;
    if (!bindStage(id, vertexProfile))
        return;
    if (!volume.perspective) {
        value1(id, P_NEAR, volume.depthRange[0]);
        value1(id, P_DISTANCE_NEAR_FAR, std::fabs(volume.depthRange[1] - volume.depthRange[0]));
    }
    cgGLSetStateMatrixParameter(param(id, P_MATRIX_INVERT_MODEL), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
    cgGLSetStateMatrixParameter(param(id, P_MATRIX_MODEL), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    trackStandardMatrices(id);
    cgGLEnableProfile(vertexProfile);
    g_boundVertex = id;
}

// ---- the fragment program of each set ----

// One proxy polygon's textures with what the settings make of them.
struct BindRequest
{
    GLuint texture;     // the data texture (a 2-D slice or a 3-D texture)
    bool is2D;          // texture is a 2-D slice
    GLuint second;      // gradient texture, or the next 2-D slice
    GLuint third;       // magnitude texture
    const Brick* brick; // null without bricks
    int slicing;        // RenderMode's slicing kind
    int classification; // RenderMode's classification
    ProgramSet set;     // the set being bound
    bool preint;        // pre-integrated classification (3 or 4)
    bool iso;           // the iso variants replace the fragment programs
    GLuint table;       // pre-integration table or palette, by classification
    float res2[2];      // texels of a 2-D stack slice
    float res3[3];      // texels of the 3-D texture drawn along x, y, z
    float sliceDist;    // the ray casters' sample distance
    const FocusPass* pass; // the focus-and-context pass, null for others
};

// Which fragment program a set binds for the request; PRG_NONE for none.
using ChooseFn = int (*)(const BindRequest&);
// Loads the parameters of the chosen program, already bound.
using LoadFn = void (*)(int id, const BindRequest&);

int choosePost(const BindRequest& r)
{
    if (r.is2D)
        return r.iso ? PRG_ISO_2D_POST : PRG_POST2D;
    return r.iso ? PRG_ISO_3D_POST : PRG_POST3D;
}

void loadPost(int id, const BindRequest& r)
{
    // The 3-D iso file reads "texture" where post3d reads "volume".
    sampler(id, r.is2D || r.iso ? P_TEXTURE : P_VOLUME, r.texture);
    sampler(id, P_PALETTE, paletteTexture());
    if (r.iso && r.is2D)
        cgGLSetParameter2fv(param(id, P_RESOLUTION), r.res2);
    else if (r.iso)
        cgGLSetParameter3fv(param(id, P_RES), r.res3);
}

int chooseNormalTexture(const BindRequest&)
{
    return PRG_NORMAL;
}

void loadNormalTexture(int id, const BindRequest& r)
{
    sampler(id, P_TEXTURE, r.texture);
    sampler(id, P_PALETTE, paletteTexture());
    sampler(id, P_GRADIENT, r.second);
    loadLightVector(id);
}

int chooseLight(const BindRequest& r)
{
    if (r.set == ProgramSet::LightGradMag)
        return r.iso ? PRG_ISO_GRAD_MAG : PRG_LIGHT;
    return r.iso ? PRG_ISO_LIGHT : PRG_LIGHT_ADV;
}

// Both lit styles; the gradient-magnitude one weighs its light by the magnitude.
void loadLight(int id, const BindRequest& r)
{
    sampler(id, r.iso ? P_VOLUME : P_TEXTURE, r.texture);
    sampler(id, P_PALETTE, r.table);
    sampler(id, P_GRADIENT, r.second);
    if (r.set == ProgramSet::LightGradMag)
        sampler(id, P_GRAD_MAG, r.third);
    loadLightVector(id);
    if (r.iso)
        cgGLSetParameter3fv(param(id, P_RESOLUTION), r.res3);
}

int chooseNormalFragment(const BindRequest&)
{
    return volume.nbrChannels == 1 ? PRG_NORMAL_OLD : PRG_NORMAL_MULTI;
}

void loadNormalFragment(int id, const BindRequest& r)
{
    sampler(id, P_TEXTURE, r.texture);
    sampler(id, P_PALETTE, paletteTexture());
    // One voxel apart: one texel of the texture drawn.
    float texel[3];
    for (int i = 0; i < 3; ++i)
        texel[i] = 1.0f / r.res3[i];
    cgGLSetParameter3fv(param(id, P_TEX_RES), texel);
    loadLightVector(id);
}

int choosePreIntegration(const BindRequest& r)
{
    if (r.slicing == SLICING_2D_STACKS)
        return r.iso ? PRG_ISO_2D_INT : (volume.perspective ? PRG_PREINT_2D_FP : PRG_PREINT_2D_FP_ORTHO);
    return r.iso ? PRG_ISO_3D_INT : (volume.perspective ? PRG_PREINT_3D_FP : PRG_PREINT_3D_FP_ORTHO);
}

void loadPreIntegration(int id, const BindRequest& r)
{
    if (r.slicing == SLICING_2D_STACKS) {
        sampler(id, P_FRONT_TEX, r.texture);
        sampler(id, P_BACK_TEX, r.second);
        sampler(id, P_PALETTE, preintTexture());
        if (r.iso)
            cgGLSetParameter2fv(param(id, P_RES), r.res2);
        return;
    }
    sampler(id, r.iso ? P_TEXTURE : P_VOLUME, r.texture);
    sampler(id, P_PALETTE, preintTexture());
    if (r.iso)
        cgGLSetParameter3fv(param(id, P_RES), r.res3);
}

int chooseRayCasting(const BindRequest& r)
{
    if (r.classification == CLASSIFICATION_PRE)
        return PRG_NONE;
    if (volume.nbrChannels > 1)
        return r.preint ? (r.iso ? PRG_ISO_RAY_INT_CHANNELS : PRG_RAYCAST_FP_CHANNELS)
                        : (r.iso ? PRG_ISO_RAY_POST_CHANNELS : PRG_RAYCAST_FP_POST_CHANNELS);
    return r.preint ? (r.iso ? PRG_ISO_RAY_INT : PRG_RAYCAST_FP) : (r.iso ? PRG_ISO_RAY_POST : PRG_RAYCAST_FP_POST);
}

void loadRayCasting(int id, const BindRequest& r)
{
    sampler(id, P_VOLUME, r.texture);
    sampler(id, P_PALETTE, r.table);
    value1(id, P_SLICE_DIST, r.sliceDist);
    value1(id, P_DIAGONAL, volume.diagonal);
    value1(id, P_ALPHA_THRESH, volume.alphaThreshold);
    if (r.iso)
        cgGLSetParameter3fv(param(id, P_RESOLUTION), r.res3);
    loadRayExtras(id, r.brick);
}

int chooseFocusContext(const BindRequest& r)
{
    if (!volume.isMask || r.classification == CLASSIFICATION_PRE)
        return PRG_NONE;
    return r.preint ? PRG_MASK_FP : PRG_MASK_FP_POST;
}

void loadFocusContext(int id, const BindRequest& r)
{
    sampler(id, P_VOLUME, r.texture);
    sampler(id, P_PALETTE, r.table);
    value1(id, P_SLICE_DIST, r.sliceDist);
    value1(id, P_ALPHA_THRESH, volume.alphaThreshold);
    loadRayClip(id);
    if (r.preint) {
        sampler(id, P_SHIFT_TEXTURE, r.pass ? r.pass->targetTexture : 0);
        value1(id, P_DISTANCE_NEAR_FAR, std::fabs(volume.depthRange[1] - volume.depthRange[0]));
        value1(id, P_NEAR, volume.depthRange[0]);
        return;
    }
    sampler(id, P_GRADIENT, r.second);
    sampler(id, P_GRAD_MAG, r.third);
    value1(id, P_DIAGONAL, volume.diagonal);
    float lo;
    float hi;
    distanceRange(lo, hi);
    value1(id, P_MIN_DISTANCE, lo);
    value1(id, P_MAX_DISTANCE, hi);
}

int chooseFocusContextMask(const BindRequest&)
{
    return PRG_MASKMASK_FP;
}

void loadFocusContextMask(int id, const BindRequest& r)
{
    sampler(id, P_VOLUME, r.texture);
    value1(id, P_SLICE_DIST, r.sliceDist);
    value1(id, P_DISTANCE_NEAR_FAR, std::fabs(volume.depthRange[1] - volume.depthRange[0]));
    value1(id, P_ALPHA_TEST, volume.alphaThreshold);
    value1(id, P_NEAR, volume.depthRange[0]);
}

int chooseFocusContextDilate(const BindRequest&)
{
    return volume.isMask ? PRG_DILATE_FP : PRG_NONE;
}

void loadFocusContextDilate(int id, const BindRequest& r)
{
    const FocusPass none;
    const FocusPass& pass = r.pass ? *r.pass : none;
    sampler(id, P_VOLUME, pass.targetTexture);
    value1(id, P_DECREMENT, pass.decrement);
    value1(id, P_RESX, pass.width);
    value1(id, P_RESY, pass.height);
}

int chooseMultiTexturePost(const BindRequest& r)
{
    return r.iso ? PRG_ISO_2D_MULTI_POST : PRG_MULTI_POST_FP;
}

void loadMultiTexturePost(int id, const BindRequest& r)
{
    const float* ms = volume.multiSlices;
    sampler(id, P_FRONT_TEX, static_cast<GLuint>(ms[0]));
    sampler(id, P_BACK_TEX, static_cast<GLuint>(ms[1]));
    value1(id, P_DEPTH, ms[2]);
    sampler(id, P_PALETTE, paletteTexture());
    if (r.iso)
        cgGLSetParameter2fv(param(id, P_RES), r.res2);
}

int chooseMultiTexturePreIntegration(const BindRequest& r)
{
    return r.iso ? PRG_ISO_2D_MULTI_INT : PRG_MULTI_PREINT_FP;
}

void loadMultiTexturePreIntegration(int id, const BindRequest& r)
{
    const float* ms = volume.multiSlices;
    sampler(id, P_FRONT_TEX1, static_cast<GLuint>(ms[0]));
    sampler(id, P_BACK_TEX1, static_cast<GLuint>(ms[1]));
    value1(id, P_DEPTH1, ms[2]);
    sampler(id, P_FRONT_TEX2, static_cast<GLuint>(ms[3]));
    sampler(id, P_BACK_TEX2, static_cast<GLuint>(ms[4]));
    value1(id, P_DEPTH2, ms[5]);
    sampler(id, P_PALETTE, preintTexture());
    if (r.iso)
        cgGLSetParameter2fv(param(id, P_RES), r.res2);
}

// Both multi-volume sets: one band per texture, or four (no iso variant).
int chooseMultiVolume(const BindRequest& r)
{
    const MultiVolumeInfo* mv = volume.myMVolumeInfo;
    if (!mv)
        return PRG_NONE;
    const bool post = r.set == ProgramSet::MultiVolumePost;
    if (mv->getChannelsPerTexture() == 1)
        return post ? (r.iso ? PRG_ISO_MULTI_VOLUME_POST : PRG_MULTI_VOLUME_POST)
                    : (r.iso ? PRG_ISO_MULTI_VOLUME_PREINT : PRG_MULTI_VOLUME_PREINT);
    return post ? PRG_MULTI_VOLUME_POST4 : PRG_MULTI_VOLUME_PREINT4;
}

void loadMultiVolume(int id, const BindRequest& r)
{
    const MultiVolumeInfo* mv = volume.myMVolumeInfo;
    const bool post = r.set == ProgramSet::MultiVolumePost;
    sampler(id, P_PALETTE, post ? paletteTexture() : preintTexture());
    sampler(id, P_VOLUME, volume.tidVolume);
    int count = mv->getCount();
    if (count > MultiVolumeInfo::kMaxTextures)
        count = MultiVolumeInfo::kMaxTextures;
    if (count > P_VOLUME10 - P_VOLUME1 + 1)
        count = P_VOLUME10 - P_VOLUME1 + 1;
    for (int i = 0; i < count; ++i)
        sampler(id, static_cast<ParamId>(P_VOLUME1 + i), mv->getTexture(i));
    value1(id, P_NUM_OF_EL, static_cast<float>(mv->getTotal()));
    int channels = mv->getChannelsPerTexture();
    long weights = static_cast<long>(channels) * 10 + 1;
    if (weights > MultiVolumeInfo::kWeightCount)
        weights = MultiVolumeInfo::kWeightCount;
    CGparameter arr = param(id, P_ARR);
    if (arr && mv->getWeights()) {
        int size = cgGetArraySize(arr, 0);
        cgGLSetParameterArray1f(arr, 0, weights < size ? weights : size, mv->getWeights());
    }
    if (r.iso && channels == 1)
        cgGLSetParameter3fv(param(id, P_RES), r.res3);
}

// The vertex program that goes with a set.
enum class VertexKind
{
    None,           // fixed-function vertex work
    Light,          // pass-through with clip planes, or pre-integration's with classification 3 or 4
    PreIntegration, // the slab's back sample position, by slicing and projection
    RayCast,        // the ray's start and direction, by projection
};

struct SetBinding
{
    ProgramSet set;     // the row's set, the table's index
    VertexKind vertex;  // its vertex program
    ChooseFn choose;    // its fragment program, null for none
    LoadFn load;        // that program's parameters
};

constexpr SetBinding kSetBindings[kProgramSetCount] = {
    {ProgramSet::None, VertexKind::None, nullptr, nullptr},
    {ProgramSet::Post, VertexKind::None, choosePost, loadPost},
    {ProgramSet::NormalTexture, VertexKind::None, chooseNormalTexture, loadNormalTexture},
    {ProgramSet::LightGradMag, VertexKind::Light, chooseLight, loadLight},
    {ProgramSet::NormalFragment, VertexKind::None, chooseNormalFragment, loadNormalFragment},
    {ProgramSet::Light2, VertexKind::Light, chooseLight, loadLight},
    {ProgramSet::PreIntegration, VertexKind::PreIntegration, choosePreIntegration, loadPreIntegration},
    {ProgramSet::RayCasting, VertexKind::RayCast, chooseRayCasting, loadRayCasting},
    {ProgramSet::FocusContext, VertexKind::RayCast, chooseFocusContext, loadFocusContext},
    {ProgramSet::FocusContextMask, VertexKind::RayCast, chooseFocusContextMask, loadFocusContextMask},
    {ProgramSet::FocusContextDilate, VertexKind::None, chooseFocusContextDilate, loadFocusContextDilate},
    {ProgramSet::MultiTexturePost, VertexKind::None, chooseMultiTexturePost, loadMultiTexturePost},
    {ProgramSet::MultiTexturePreIntegration, VertexKind::PreIntegration, chooseMultiTexturePreIntegration,
     loadMultiTexturePreIntegration},
    {ProgramSet::MultiVolumePost, VertexKind::None, chooseMultiVolume, loadMultiVolume},
    {ProgramSet::MultiVolumePreIntegration, VertexKind::PreIntegration, chooseMultiVolume, loadMultiVolume},
};

constexpr bool rowsFollowTheSetNumbers()
{
    for (int i = 0; i < kProgramSetCount; ++i)
        if (static_cast<int>(kSetBindings[i].set) != i)
            return false;
    return true;
}
static_assert(rowsFollowTheSetNumbers(), "row i binds program set i");

const SetBinding* bindingOf(ProgramSet set)
{
    const int i = static_cast<int>(set);
    return (i >= 0 && i < kProgramSetCount) ? &kSetBindings[i] : nullptr;
}

void bindVertex(VertexKind kind, int slicing, bool preint)
{
    switch (kind) {
    case VertexKind::Light:
        if (preint)
            bindPreintegrationVertex(slicing);
        else
            bindVertexPassThrough(slicing);
        break;
    case VertexKind::PreIntegration:
        bindPreintegrationVertex(slicing);
        break;
    case VertexKind::RayCast:
        bindRayCastVertex();
        break;
    case VertexKind::None:
        break;
    }
}

// The fragment program of the set with its parameters; PRG_NONE when the
// set has none or its program is missing.
int bindFragment(const SetBinding& binding, const BindRequest& r)
{
    if (!binding.choose)
        return PRG_NONE;
    const int id = binding.choose(r);
    if (id == PRG_NONE || !bindStage(id, fragmentProfile))
        return PRG_NONE;
    binding.load(id, r);
    return id;
}

} // namespace

void setCgProgramDirectory(const char* directory)
{
    g_directory = directory ? directory : "";
}

const char* cgProgramDirectory()
{
    return g_directory.c_str();
}

void setCgTableTextures(GLuint palette, GLuint preintegration)
{
    g_paletteOverride = palette;
    g_preintOverride = preintegration;
    ++g_overrideVersion;
}

void cgTableOverrides(GLuint* palette, GLuint* preintegration, unsigned long* version)
{
    *palette = g_paletteOverride;
    *preintegration = g_preintOverride;
    *version = g_overrideVersion;
}

bool createCgPrograms()
{
    if (cgContext)
        destroyCgPrograms();
    resetHandles();

    cgContext = cgCreateContext();
    if (!cgContext) {
        cgReady = false;
        std::printf("Failed To Create Cg Context\n");
        std::fflush(stdout);
        return false;
    }
    fragmentProfile = cgGLGetLatestProfile(CG_GL_FRAGMENT);
    if (fragmentProfile == CG_PROFILE_UNKNOWN) {
        cgReady = false;
        std::printf("Unknown Cg fragment profile type\n");
        std::fflush(stdout);
        return false;
    }
    vertexProfile = cgGLGetLatestProfile(CG_GL_VERTEX);
    if (vertexProfile == CG_PROFILE_UNKNOWN) {
        cgReady = false;
        std::printf("Unknown Cg vertex profile type\n");
        std::fflush(stdout);
        return false;
    }
    cgGLSetOptimalOptions(fragmentProfile);
    cgGLSetOptimalOptions(vertexProfile);

    for (int i = 0; i < PRG_COUNT; ++i) {
        g_files[i] = kPrograms[i].file;
        g_programs[i] = createProgram(kPrograms[i].file, kPrograms[i].vertex, kPrograms[i].define);
        // A second instance's file was reported with its first.
        if (!g_programs[i] && !kPrograms[i].define)
            reportMissing(kPrograms[i].file);
    }

    // Without every clip-plane vertex program, all of them come from the
    // fallback files, which clip with the fixed-function planes instead.
    bool clipComplete = true;
    for (const auto& f : kClipFallbacks)
        if (!g_programs[f.id])
            clipComplete = false;
    if (!clipComplete) {
        for (const auto& f : kClipFallbacks) {
            if (g_programs[f.id])
                cgDestroyProgram(g_programs[f.id]);
            g_programs[f.id] = createProgram(f.file, true);
            g_files[f.id] = f.file;
        }
        logBoth(__FILE__, __LINE__, "Not supported clip planes for all modes.\n");
    }

    static const int rayCasting[] = {PRG_RAYCAST_FP,           PRG_RAYCAST_VP,
                                     PRG_RAYCAST_VP_ORTHO,     PRG_RAYCAST_FP_POST,
                                     PRG_ISO_RAY_POST,         PRG_ISO_RAY_INT,
                                     PRG_RAYCAST_FP_CHANNELS,  PRG_RAYCAST_FP_POST_CHANNELS,
                                     PRG_ISO_RAY_POST_CHANNELS, PRG_ISO_RAY_INT_CHANNELS};
    static const int fourChannel[] = {PRG_MULTI_VOLUME_POST4, PRG_MULTI_VOLUME_PREINT4};
    arbProgramsReady = true;
    for (int i = 0; i < PRG_COUNT; ++i) {
        bool excluded = false;
        for (int r : rayCasting)
            excluded = excluded || r == i;
        for (int f : fourChannel)
            excluded = excluded || f == i;
        if (!excluded && !g_programs[i])
            arbProgramsReady = false;
    }
    if (!arbProgramsReady)
        logBoth(__FILE__, __LINE__, "ARB profile not supported.\n");
    nv30Supported = allExist(fourChannel, 2);
    if (!nv30Supported)
        logBoth(__FILE__, __LINE__, "NV30 profile not supported.\n");
    nv40Supported = allExist(rayCasting, 10);
    if (!nv40Supported)
        logBoth(__FILE__, __LINE__, "NV40 profile not supported.\n");

    for (int i = 0; i < PRG_COUNT; ++i)
        if (g_programs[i])
            cgGLLoadProgram(g_programs[i]);
    for (int i = 0; i < PRG_COUNT; ++i)
        fetchParameters(i, !clipComplete);
    cgGetError(); // missing programs leave their error; nothing to act on

    cgReady = true;
    return true;
}

namespace {

// The request of a bind under the current render mode.
BindRequest requestFor(const SetBinding& binding, GLuint texture, bool is2D, GLuint second, GLuint third,
                       int brick, const FocusPass* pass)
{
    const RenderMode& mode = RenderMode::instance();
    BindRequest r;
    r.texture = texture;
    r.is2D = is2D;
    r.second = second;
    r.third = third;
    r.brick = brickAt(brick);
    r.slicing = mode.getSlicing();
    r.classification = mode.getClassification();
    r.set = binding.set;
    r.preint = r.classification == CLASSIFICATION_PRE_INTEGRATION ||
               r.classification == CLASSIFICATION_PRE_INTEGRATION_FILE;
    r.iso = volume.isoMode;
    r.table = r.preint ? preintTexture() : paletteTexture();
    sliceResolution(r.res2);
    // Texels of the texture drawn, a brick's or the whole padded one: one
    // voxel is one texel in both, so differences one texel apart are
    // differences one voxel apart.
    for (int i = 0; i < 3; ++i) {
        float texels = static_cast<float>(volume.resolution[i]);
        if (r.brick && volume.myBrickInfo)
            texels = static_cast<float>(volume.myBrickInfo->texSize[i]);
        else if (volume.texScale3D[i] > 0.0f && volume.texScale3D[i] <= 1.0f)
            texels /= volume.texScale3D[i];
        r.res3[i] = texels >= 1.0f ? texels : 1.0f;
    }
    r.sliceDist = volume.diagonal / (intervals() * 2.2f);
    r.pass = pass;
    return r;
}

// The fragment program the set would bind now reads the gradient or
// magnitude texture.
bool setReadsGradients(ProgramSet set)
{
    const SetBinding* binding = bindingOf(set);
    if (!binding || !binding->choose)
        return false;
    const bool is2D = RenderMode::instance().getSlicing() == SLICING_2D_STACKS;
    const int id = binding->choose(requestFor(*binding, 0, is2D, 0, 0, -1, nullptr));
    if (id == PRG_NONE || !g_programs[id])
        return false;
    const std::string names = std::string(" ") + kPrograms[id].parameters + " ";
    for (const char* name : {" gradient ", " gradient? ", " grad_mag ", " grad_mag? "})
        if (names.find(name) != std::string::npos)
            return true;
    return false;
}

} // namespace

bool drawReadsGradients()
{
    if (!cgReady || !cgContext)
        return false;
    const RenderMode& mode = RenderMode::instance();
    if (mode.getDrawStyle() != DRAW_FOCUS_CONTEXT)
        return setReadsGradients(mode.getProgramSet());
    // Focus and context: its passes draw with sets of their own.
    for (int style : {DRAW_FOCUS_CONTEXT_MASK, DRAW_FOCUS_CONTEXT, DRAW_RAY_CASTING})
        if (setReadsGradients(RenderMode::programSetFor(style, mode.getClassification())))
            return true;
    return false;
}

void bindCgPrograms(GLuint texture, bool is2D, GLuint second, GLuint third, int brick,
                    const FocusPass* pass)
{
    if (!cgReady || !cgContext)
        return;
    const RenderMode& mode = RenderMode::instance();
    g_boundVertex = PRG_NONE;
    g_boundFragment = PRG_NONE;
    g_enabledSamplerCount = 0;
    const SetBinding* binding = bindingOf(pass ? pass->set : mode.getProgramSet());
    if (!binding)
        return;
    const BindRequest r = requestFor(*binding, texture, is2D, second, third, brick, pass);
    bindVertex(binding->vertex, r.slicing, r.preint);
    g_boundFragment = bindFragment(*binding, r);
    if (g_boundFragment != PRG_NONE)
        cgGLEnableProfile(fragmentProfile);
}

void disableCgPrograms()
{
    if (!cgReady || !cgContext)
        return;
    for (int i = 0; i < g_enabledSamplerCount; ++i)
        cgGLDisableTextureParameter(g_enabledSamplers[i]);
    g_enabledSamplerCount = 0;
    cgGLDisableProfile(fragmentProfile);
    cgGLDisableProfile(vertexProfile);
}

void destroyCgPrograms()
{
    if (cgReady && cgContext) {
        for (int i = 0; i < PRG_COUNT; ++i)
            for (int p = 0; p < P_SAMPLER_END; ++p)
                if (g_handles[i][p])
                    cgGLDisableTextureParameter(g_handles[i][p]);
        cgGLDisableProfile(fragmentProfile);
        cgGLDisableProfile(vertexProfile);
    }
    if (cgContext)
        cgDestroyContext(cgContext);
    cgContext = nullptr;
    resetHandles();
    cgGetError();
}

const char* cgProgramFile(int id)
{
    return (id >= 0 && id < PRG_COUNT) ? kPrograms[id].file : "";
}

CGprogram cgProgramHandle(int id)
{
    return (id >= 0 && id < PRG_COUNT) ? g_programs[id] : nullptr;
}

CGparameter cgProgramParameter(int id, const char* name)
{
    const int p = name ? paramIdOf(name) : -1;
    return p >= 0 ? param(id, static_cast<ParamId>(p)) : nullptr;
}

int cgBoundVertexProgram()
{
    return g_boundVertex;
}

int cgBoundFragmentProgram()
{
    return g_boundFragment;
}
