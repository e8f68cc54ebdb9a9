// The program manager: creation in a fixed order, support flags, and the
// parameters of every program set.
#include "my_cg.h"

#include "bricking.h"
#include "error_handling.h"
#include "multi_volume.h"
#include "plane.h"
#include "render_mode.h"
#include "transfer_function.h"
#include "volume.h"
#include "zvf_matrix.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

CGcontext cgContext = nullptr;
CGprofile fragmentProfile = CG_PROFILE_UNKNOWN;
CGprofile vertexProfile = CG_PROFILE_UNKNOWN;
bool cgReady = true;
bool arbProgramsReady = false;
bool nv30Supported = false;
bool nv40Supported = false;
CgRenderTargetValues cgRenderTarget;

namespace {

struct ProgramInfo
{
    const char* file;       // under the program directory
    bool vertex;            // vertex profile (else fragment)
    const char* parameters; // blank-separated parameter names
    const char* define = nullptr; // compiler argument of a second instance
};

#define CLIP_PARAMS " ClipPlane0 ClipPlane1 ClipPlane2 ClipPlane3 ClipPlane4 ClipPlane5"
// Beyond the ray casters' own: the compositing rule, the empty-space cells,
// the clip planes, which cut each ray sample by sample, and the data's value
// range, which ends maximum and minimum intensity rays early.
#define RAY_EXTRA_PARAMS " blendMode skipGrid skipScale rayClip valueRange"
#define MULTI_VOLUME_PARAMS \
    "palette volume volume1 volume2 volume3 volume4 volume5 volume6 volume7 volume8 volume9 volume10 arr numOfEl"

// Indexed by CgProgramId.
const ProgramInfo kPrograms[PRG_COUNT] = {
    {"post2d.cg", false, "texture palette"},
    {"post3d.cg", false, "volume palette"},
    {"vertex.cg", true, "matrixModel matrixTexture matrixModelProj" CLIP_PARAMS},
    {"normal.cg", false, "texture palette gradient"},
    {"light.cg", false, "texture palette gradient grad_mag light"},
    {"normalOld.cg", false, "texture palette tex_res"},
    {"normalMulti.cg", false, "texture palette tex_res"},
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
    {"preint_vp_ortho.cg", true,
     "matrixModel matrixTexture matrixModelProj matrixModelClip sliceDst" CLIP_PARAMS},
    {"mask_fp.cg", false, "volume palette shiftTexture slice_dist alphaThresh distanceNearFar near"},
    {"mask_fp_post.cg", false,
     "volume gradient grad_mag palette slice_dist diagonal alphaThresh minDistance maxDistance"},
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
    {"isoRayPost_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS},
    {"isoRayInt_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS},
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
    {"isoRayPost_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS,
     "-DCHANNELS"},
    {"isoRayInt_fp.cg", false, "volume palette resolution slice_dist diagonal alphaThresh" RAY_EXTRA_PARAMS,
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

const char* const kSamplerNames[] = {"skipGrid", "texture", "volume", "volume1", "volume2", "volume3", "volume4",
                                     "volume5", "volume6", "volume7", "volume8", "volume9", "volume10",
                                     "palette", "gradient", "grad_mag", "frontTex", "backTex",
                                     "frontTex1", "backTex1", "frontTex2", "backTex2", "shiftTexture"};

struct NamedParameter
{
    std::string name;
    CGparameter handle;
};

std::string g_directory = "../Cg/";
CGprogram g_programs[PRG_COUNT] = {};
std::vector<NamedParameter> g_parameters[PRG_COUNT];
GLuint g_paletteOverride = 0;
GLuint g_preintOverride = 0;
unsigned long g_overrideVersion = 0; // times the replacements were set
// What the last bind switched on, for disable.
int g_boundVertex = PRG_NONE;
int g_boundFragment = PRG_NONE;
std::vector<CGparameter> g_enabledSamplers;
float g_sliceDistance = 0.0f; // scratch value of the last bind
float g_light[3] = {0.0f, 0.0f, -3.0f};
float g_lightMatrix[16];

CGparameter param(int id, const char* name)
{
    if (id < 0 || id >= PRG_COUNT)
        return nullptr;
    for (const NamedParameter& p : g_parameters[id])
        if (p.name == name)
            return p.handle;
    return nullptr;
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

void fetchParameters(int id)
{
    g_parameters[id].clear();
    if (!g_programs[id])
        return;
    std::string names = kPrograms[id].parameters;
    size_t start = 0;
    while (start < names.size()) {
        size_t end = names.find(' ', start);
        if (end == std::string::npos)
            end = names.size();
        if (end > start) {
            std::string name = names.substr(start, end - start);
            g_parameters[id].push_back({name, cgGetNamedParameter(g_programs[id], name.c_str())});
        }
        start = end + 1;
    }
}

void resetHandles()
{
    for (int i = 0; i < PRG_COUNT; ++i) {
        g_programs[i] = nullptr;
        g_parameters[i].clear();
    }
    g_enabledSamplers.clear();
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

// The brick's placement as seen in the rotated frame: inverse rotation, brick, rotation.
zvfMatrix rotatedBrick(const Brick* b)
{
    return zvfMatrixProduct(zvfMatrixProduct(inverseRotation(), zvfMatrixFromFloats(b->placement)),
                            rotationMatrix());
}

// Takes a drawn vertex into the rotated frame of the data set.
zvfMatrix modelMatrix(int slicing, const Brick* b)
{
    if (slicing == SLICING_3D_VIEW_ALIGNED)
        return b ? rotatedBrick(b) : zvfIdentityMatrix();
    if (b)
        return zvfMatrixProduct(zvfMatrixFromFloats(b->placement), rotationMatrix());
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
    static const char* const names[6] = {"ClipPlane0", "ClipPlane1", "ClipPlane2",
                                         "ClipPlane3", "ClipPlane4", "ClipPlane5"};
    for (int i = 0; i < 6; ++i) {
        CGparameter p = param(id, names[i]);
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

void sampler(int id, const char* name, GLuint texture)
{
    CGparameter p = param(id, name);
    if (!p)
        return;
    cgGLSetTextureParameter(p, texture);
    cgGLEnableTextureParameter(p);
    g_enabledSamplers.push_back(p);
}

void value1(int id, const char* name, float x)
{
    cgGLSetParameter1f(param(id, name), x);
}

// What the ray casters take beyond their own parameters: the compositing
// rule, the empty-space cells and value range of the data (not for bricks,
// whose textures the grid does not describe) and the clip planes brought
// into box coordinates.
void loadRayExtras(int id, const Brick* b)
{
    const int blending = volume.blending;
    value1(id, "blendMode", (blending == BLENDING_MAXIMUM || blending == BLENDING_MINIMUM)
                                ? static_cast<float>(blending) : 0.0f);
    float scale[3] = {0.0f, 0.0f, 0.0f};
    if (!b && volume.skipGrid.texture && !volume.skipGrid.cellInfo.empty()) {
        skipGridScale(volume.skipGrid, scale);
        sampler(id, "skipGrid", volume.skipGrid.texture);
    }
    cgGLSetParameter3fv(param(id, "skipScale"), scale);
    // The extremes of the data: a ray that has met one is done.
    const bool known = !b && !volume.skipGrid.lo.empty();
    cgGLSetParameter2f(param(id, "valueRange"), known ? volume.skipGrid.valueLo : 0.0f,
                       known ? volume.skipGrid.valueHi : 1.0f);

    CGparameter clip = param(id, "rayClip");
    if (!clip)
        return;
    // A box point p lies at M p in the planes' frame, so the plane P there is
    // M^T P in box coordinates.
    const zvfMatrix model = modelMatrix(SLICING_3D_OBJECT_ALIGNED, b);
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

void trackStandardMatrices(int id)
{
    cgGLSetStateMatrixParameter(param(id, "matrixTexture"), CG_GL_TEXTURE_MATRIX, CG_GL_MATRIX_IDENTITY);
    cgGLSetStateMatrixParameter(param(id, "matrixModelProj"), CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
}

void bindVertexPassThrough(int slicing, const Brick* b)
{
    int id = PRG_VERTEX;
    if (!bindStage(id, vertexProfile))
        return;
    trackStandardMatrices(id);
    setMatrix(param(id, "matrixModel"), modelMatrix(slicing, b));
    loadClipPlanes(id);
    cgGLEnableProfile(vertexProfile);
    g_boundVertex = id;
}

void bindPreintegrationVertex(int slicing, int classification, const Brick* b)
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
        if (perspective) {
            cgGLSetStateMatrixParameter(param(id, "matrixModel"), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
            setMatrix(param(id, "matrixModelClip"), b ? rotatedBrick(b) : zvfIdentityMatrix());
        } else if (b) {
            zvfMatrix m = zvfMatrixProduct(inverseRotation(), zvfMatrixFromFloats(b->placement));
            setMatrix(param(id, "matrixModel"), m);
            setMatrix(param(id, "matrixModelClip"), zvfMatrixProduct(m, rotationMatrix()));
        } else {
            // The slice vertices are already in the rotated frame where the
            // planes live; the camera's pan and zoom must not move them.
            cgGLSetStateMatrixParameter(param(id, "matrixModel"), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
            setMatrix(param(id, "matrixModelClip"), zvfIdentityMatrix());
        }
        g_sliceDistance = volume.diagonal / intervals();
    } else {
        cgGLSetStateMatrixParameter(param(id, "matrixModelInv"), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
        zvfMatrix model = rotationMatrix();
        if (b && slicing == SLICING_3D_OBJECT_ALIGNED)
            model = zvfMatrixProduct(zvfMatrixFromFloats(b->placement), rotationMatrix());
        setMatrix(param(id, "matrixModel"), model);
        g_sliceDistance = 1.0f / intervals();
        float n2[4];
        float n3[4];
        sliceAxes(n2, n3);
        cgGLSetParameter4fv(param(id, "normal2"), n2);
        cgGLSetParameter4fv(param(id, "normal3"), n3);
    }
    value1(id, "sliceDst", g_sliceDistance);
    if (classification == CLASSIFICATION_PRE_INTEGRATION_FILE) {
        glBlendFunc(GL_ONE, GL_SRC_ALPHA);
        glEnable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
    }
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
        value1(id, "near", volume.depthRange[0]);
        value1(id, "distanceNearFar", std::fabs(volume.depthRange[1] - volume.depthRange[0]));
    }
    cgGLSetStateMatrixParameter(param(id, "matrixInvertModel"), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
    cgGLSetStateMatrixParameter(param(id, "matrixModel"), CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    trackStandardMatrices(id);
    cgGLEnableProfile(vertexProfile);
    g_boundVertex = id;
}

// The fragment program of the program set and its parameters; PRG_NONE when
// the set has none.
int bindFragment(int set, int slicing, int classification, GLuint texture, bool is2D, GLuint second,
                 GLuint third, const Brick* b)
{
    const bool iso = volume.isoMode;
    const bool preint = classification == CLASSIFICATION_PRE_INTEGRATION ||
                        classification == CLASSIFICATION_PRE_INTEGRATION_FILE;
    const GLuint table = preint ? preintTexture() : paletteTexture();
    const float res3[3] = {static_cast<float>(volume.resolution[0]), static_cast<float>(volume.resolution[1]),
                           static_cast<float>(volume.resolution[2])};
    float res2[2];
    sliceResolution(res2);
    const float sliceDist = volume.diagonal / (intervals() * 2.2f);
    int id = PRG_NONE;

    switch (set) {
    case 1:
        if (is2D) {
            id = iso ? PRG_ISO_2D_POST : PRG_POST2D;
            if (!bindStage(id, fragmentProfile))
                return PRG_NONE;
            sampler(id, "texture", texture);
            sampler(id, "palette", paletteTexture());
            if (iso)
                cgGLSetParameter2fv(param(id, "resolution"), res2);
        } else {
            id = iso ? PRG_ISO_3D_POST : PRG_POST3D;
            if (!bindStage(id, fragmentProfile))
                return PRG_NONE;
            sampler(id, iso ? "texture" : "volume", texture);
            sampler(id, "palette", paletteTexture());
            if (iso)
                cgGLSetParameter3fv(param(id, "res"), res3);
        }
        break;
    case 2:
        id = PRG_NORMAL;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "texture", texture);
        sampler(id, "palette", paletteTexture());
        sampler(id, "gradient", second);
        break;
    case 3:
    case 5: {
        computeLight();
        const bool magnitude = set == 3;
        id = magnitude ? (iso ? PRG_ISO_GRAD_MAG : PRG_LIGHT) : (iso ? PRG_ISO_LIGHT : PRG_LIGHT_ADV);
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, iso ? "volume" : "texture", texture);
        sampler(id, "palette", table);
        sampler(id, "gradient", second);
        if (magnitude)
            sampler(id, "grad_mag", third);
        cgGLSetParameter3fv(param(id, "light"), g_light);
        if (iso)
            cgGLSetParameter3fv(param(id, "resolution"), res3);
        break;
    }
    case 4: {
        id = volume.nbrChannels == 1 ? PRG_NORMAL_OLD : PRG_NORMAL_MULTI;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "texture", texture);
        sampler(id, "palette", paletteTexture());
        float texel[3];
        if (b && volume.myBrickInfo && volume.myBrickInfo->brickSize > 0) {
            float t = 1.0f / static_cast<float>(volume.myBrickInfo->brickSize);
            texel[0] = texel[1] = texel[2] = t;
        } else {
            for (int i = 0; i < 3; ++i)
                texel[i] = 1.0f / static_cast<float>(volume.resolution[i] > 0 ? volume.resolution[i] : 1);
        }
        cgGLSetParameter3fv(param(id, "tex_res"), texel);
        break;
    }
    case 6:
        if (slicing == SLICING_2D_STACKS) {
            id = iso ? PRG_ISO_2D_INT : (volume.perspective ? PRG_PREINT_2D_FP : PRG_PREINT_2D_FP_ORTHO);
            if (!bindStage(id, fragmentProfile))
                return PRG_NONE;
            sampler(id, "frontTex", texture);
            sampler(id, "backTex", second);
            sampler(id, "palette", preintTexture());
            if (iso)
                cgGLSetParameter2fv(param(id, "res"), res2);
        } else {
            id = iso ? PRG_ISO_3D_INT : (volume.perspective ? PRG_PREINT_3D_FP : PRG_PREINT_3D_FP_ORTHO);
            if (!bindStage(id, fragmentProfile))
                return PRG_NONE;
            sampler(id, iso ? "texture" : "volume", texture);
            sampler(id, "palette", preintTexture());
            if (iso)
                cgGLSetParameter3fv(param(id, "res"), res3);
        }
        break;
    case 7:
        if (classification == CLASSIFICATION_PRE)
            return PRG_NONE;
        if (volume.nbrChannels > 1)
            id = preint ? (iso ? PRG_ISO_RAY_INT_CHANNELS : PRG_RAYCAST_FP_CHANNELS)
                        : (iso ? PRG_ISO_RAY_POST_CHANNELS : PRG_RAYCAST_FP_POST_CHANNELS);
        else
            id = preint ? (iso ? PRG_ISO_RAY_INT : PRG_RAYCAST_FP) : (iso ? PRG_ISO_RAY_POST : PRG_RAYCAST_FP_POST);
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "volume", texture);
        sampler(id, "palette", table);
        value1(id, "slice_dist", sliceDist);
        value1(id, "diagonal", volume.diagonal);
        value1(id, "alphaThresh", volume.alphaThreshold);
        if (iso)
            cgGLSetParameter3fv(param(id, "resolution"), res3);
        loadRayExtras(id, b);
        break;
    case 8:
        if (!volume.isMask || classification == CLASSIFICATION_PRE)
            return PRG_NONE;
        id = preint ? PRG_MASK_FP : PRG_MASK_FP_POST;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "volume", texture);
        sampler(id, "palette", table);
        value1(id, "slice_dist", sliceDist);
        value1(id, "alphaThresh", volume.alphaThreshold);
        if (preint) {
            sampler(id, "shiftTexture", cgRenderTarget.texture);
            value1(id, "distanceNearFar", std::fabs(volume.depthRange[1] - volume.depthRange[0]));
            value1(id, "near", volume.depthRange[0]);
        } else {
            sampler(id, "gradient", second);
            sampler(id, "grad_mag", third);
            value1(id, "diagonal", volume.diagonal);
            float lo;
            float hi;
            distanceRange(lo, hi);
            value1(id, "minDistance", lo);
            value1(id, "maxDistance", hi);
        }
        break;
    case 9:
        id = PRG_MASKMASK_FP;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "volume", texture);
        value1(id, "slice_dist", sliceDist);
        value1(id, "distanceNearFar", std::fabs(volume.depthRange[1] - volume.depthRange[0]));
        value1(id, "alphaTest", volume.alphaThreshold);
        value1(id, "near", volume.depthRange[0]);
        break;
    case 10:
        if (!volume.isMask)
            return PRG_NONE;
        id = PRG_DILATE_FP;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "volume", cgRenderTarget.texture);
        value1(id, "decrement", cgRenderTarget.decrement);
        value1(id, "resx", cgRenderTarget.width);
        value1(id, "resy", cgRenderTarget.height);
        break;
    case 11: {
        id = iso ? PRG_ISO_2D_MULTI_POST : PRG_MULTI_POST_FP;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        const float* ms = volume.multiSlices;
        sampler(id, "frontTex", static_cast<GLuint>(ms[0]));
        sampler(id, "backTex", static_cast<GLuint>(ms[1]));
        value1(id, "depth", ms[2]);
        sampler(id, "palette", paletteTexture());
        if (iso)
            cgGLSetParameter2fv(param(id, "res"), res2);
        break;
    }
    case 12: {
        id = iso ? PRG_ISO_2D_MULTI_INT : PRG_MULTI_PREINT_FP;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        const float* ms = volume.multiSlices;
        sampler(id, "frontTex1", static_cast<GLuint>(ms[0]));
        sampler(id, "backTex1", static_cast<GLuint>(ms[1]));
        value1(id, "depth1", ms[2]);
        sampler(id, "frontTex2", static_cast<GLuint>(ms[3]));
        sampler(id, "backTex2", static_cast<GLuint>(ms[4]));
        value1(id, "depth2", ms[5]);
        sampler(id, "palette", preintTexture());
        if (iso)
            cgGLSetParameter2fv(param(id, "res"), res2);
        break;
    }
    case 13:
    case 14: {
        const MultiVolumeInfo* mv = volume.myMVolumeInfo;
        if (!mv)
            return PRG_NONE;
        const bool post = set == 13;
        if (mv->getChannelsPerTexture() == 1)
            id = post ? (iso ? PRG_ISO_MULTI_VOLUME_POST : PRG_MULTI_VOLUME_POST)
                      : (iso ? PRG_ISO_MULTI_VOLUME_PREINT : PRG_MULTI_VOLUME_PREINT);
        else
            id = post ? PRG_MULTI_VOLUME_POST4 : PRG_MULTI_VOLUME_PREINT4;
        if (!bindStage(id, fragmentProfile))
            return PRG_NONE;
        sampler(id, "palette", post ? paletteTexture() : preintTexture());
        sampler(id, "volume", volume.tidVolume);
        int count = mv->getCount();
        if (count > MultiVolumeInfo::kMaxTextures)
            count = MultiVolumeInfo::kMaxTextures;
        for (int i = 0; i < count; ++i) {
            char name[24];
            std::snprintf(name, sizeof name, "volume%d", i + 1);
            sampler(id, name, mv->getTexture(i));
        }
        value1(id, "numOfEl", static_cast<float>(mv->getTotal()));
        int channels = mv->getChannelsPerTexture();
        long weights = static_cast<long>(channels) * 10 + 1;
        if (weights > MultiVolumeInfo::kWeightCount)
            weights = MultiVolumeInfo::kWeightCount;
        CGparameter arr = param(id, "arr");
        if (arr && mv->getWeights()) {
            int size = cgGetArraySize(arr, 0);
            cgGLSetParameterArray1f(arr, 0, weights < size ? weights : size, mv->getWeights());
        }
        if (iso && channels == 1)
            cgGLSetParameter3fv(param(id, "res"), res3);
        break;
    }
    default:
        return PRG_NONE;
    }
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
        fetchParameters(i);
    cgGetError(); // missing programs leave their error; nothing to act on

    cgReady = true;
    return true;
}

void bindCgPrograms(GLuint texture, bool is2D, GLuint second, GLuint third, int brick)
{
    if (!cgReady || !cgContext)
        return;
    RenderMode& mode = RenderMode::instance();
    const int set = mode.getProgramSet();
    const int slicing = mode.getSlicing();
    const int classification = mode.getClassification();
    const bool preint = classification == CLASSIFICATION_PRE_INTEGRATION ||
                        classification == CLASSIFICATION_PRE_INTEGRATION_FILE;
    const Brick* b = brickAt(brick);
    g_boundVertex = PRG_NONE;
    g_boundFragment = PRG_NONE;
    g_enabledSamplers.clear();

    if ((set == 3 || set == 5) && !preint)
        bindVertexPassThrough(slicing, b);
    if (set == 6 || set == 12 || set == 14 || ((set == 3 || set == 5) && preint))
        bindPreintegrationVertex(slicing, classification, b);
    if (set == 7 || set == 8 || set == 9)
        bindRayCastVertex();

    g_boundFragment = bindFragment(set, slicing, classification, texture, is2D, second, third, b);
    if (g_boundFragment != PRG_NONE)
        cgGLEnableProfile(fragmentProfile);
}

void disableCgPrograms()
{
    if (!cgReady || !cgContext)
        return;
    for (CGparameter p : g_enabledSamplers)
        cgGLDisableTextureParameter(p);
    g_enabledSamplers.clear();
    cgGLDisableProfile(fragmentProfile);
    cgGLDisableProfile(vertexProfile);
}

void destroyCgPrograms()
{
    if (cgReady && cgContext) {
        for (int i = 0; i < PRG_COUNT; ++i)
            for (const char* name : kSamplerNames) {
                CGparameter p = param(i, name);
                if (p)
                    cgGLDisableTextureParameter(p);
            }
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
    return param(id, name);
}

int cgBoundVertexProgram()
{
    return g_boundVertex;
}

int cgBoundFragmentProgram()
{
    return g_boundFragment;
}
