// The shader programs of the renderers: one context, every program file with
// its parameters, and the binding of the current program set around each
// proxy polygon. Called on the GUI thread with the main view's context current.
#ifndef GLIMRA_MY_CG_H
#define GLIMRA_MY_CG_H

#include "cg_layer.h"
#include "includegl.h"
#include "render_mode.h"

// Every program instance, in creation order. The two pre-integration fragment
// files are created twice: one instance for each projection.
enum CgProgramId
{
    PRG_POST2D,
    PRG_POST3D,
    PRG_VERTEX,
    PRG_NORMAL,
    PRG_LIGHT,
    PRG_NORMAL_OLD,
    PRG_NORMAL_MULTI,
    PRG_LIGHT_ADV,
    PRG_RAYCAST_FP,
    PRG_RAYCAST_FP_POST,
    PRG_RAYCAST_VP,
    PRG_RAYCAST_VP_ORTHO,
    PRG_PREINT_3D_FP,
    PRG_PREINT_VP,
    PRG_PREINT_2D_FP,
    PRG_PREINT_VP_OAS,
    PRG_PREINT_VP_OAS3D,
    PRG_PREINT_2D_FP_ORTHO,
    PRG_PREINT_VP_ORTHO_OAS,
    PRG_PREINT_VP_ORTHO_OAS3D,
    PRG_PREINT_3D_FP_ORTHO,
    PRG_PREINT_VP_ORTHO,
    PRG_MASK_FP,
    PRG_MASK_FP_POST,
    PRG_MASKMASK_FP,
    PRG_DILATE_FP,
    PRG_MULTI_POST_FP,
    PRG_MULTI_PREINT_FP,
    PRG_ISO_2D_POST,
    PRG_ISO_2D_MULTI_POST,
    PRG_ISO_3D_POST,
    PRG_ISO_2D_INT,
    PRG_ISO_2D_MULTI_INT,
    PRG_ISO_3D_INT,
    PRG_ISO_RAY_POST,
    PRG_ISO_RAY_INT,
    PRG_ISO_GRAD_MAG,
    PRG_ISO_LIGHT,
    PRG_ISO_MULTI_VOLUME_POST,
    PRG_ISO_MULTI_VOLUME_PREINT,
    PRG_MULTI_VOLUME_POST,
    PRG_MULTI_VOLUME_PREINT,
    PRG_MULTI_VOLUME_POST4,
    PRG_MULTI_VOLUME_PREINT4,
    // The ray casters again, compiled for data of several channels: those
    // classify every channel, which one-channel data need not pay for.
    PRG_RAYCAST_FP_CHANNELS,
    PRG_RAYCAST_FP_POST_CHANNELS,
    PRG_ISO_RAY_POST_CHANNELS,
    PRG_ISO_RAY_INT_CHANNELS,
    PRG_COUNT,
    PRG_NONE = -1,
};

extern CGcontext cgContext;
extern CGprofile fragmentProfile;
extern CGprofile vertexProfile;
// False after a context or profile failure: nothing is bound, only the
// fixed-function path works.
extern bool cgReady;
// The shaded styles' programs exist.
extern bool arbProgramsReady;
// The four-channel multi-volume programs exist.
extern bool nv30Supported;
// The ray-casting programs exist.
extern bool nv40Supported;

// One pass of focus and context: the programs it draws with, whatever style
// the menus chose, and what it reads from the render target.
struct FocusPass
{
    ProgramSet set = ProgramSet::None; // the pass's program set
    GLuint targetTexture = 0;          // the render target's texture
    float decrement = 0.0f;            // the dilation's step
    float width = 0.0f;                // the target's rectangle in pixels
    float height = 0.0f;
    bool corners = false;              // the box corners are found in the target (main pass)
};

// Where the program files are read; "../Cg/" unless changed (tests).
void setCgProgramDirectory(const char* directory);
const char* cgProgramDirectory();

// The palette and pre-integration textures the programs classify with. By
// default those of the transfer function; nonzero values replace them (tests,
// tools without a transfer function).
void setCgTableTextures(GLuint palette, GLuint preintegration);
// The replacements set there, 0 where none, and how many times they were set
// (a caller that changes a replacement's texels sets it again).
void cgTableOverrides(GLuint* palette, GLuint* preintegration, unsigned long* version);

// The context, profiles and every program with the handles of its
// parameters, resolved here once; false when the context or a profile is
// missing. Missing files are reported one by one, and a parameter a program
// lacks to the log file.
bool createCgPrograms();
// Before a proxy polygon: the programs of the current program set with their
// parameters. texture is the data texture, second and third the gradient and
// magnitude textures (or the next 2-D slice), brick -1 without bricks. The
// samplers' textures go on units of their own, so the units the caller uses
// and its active unit stay as they are. A focus-and-context pass binds its
// own set instead of the render mode's.
void bindCgPrograms(GLuint texture, bool is2D, GLuint second, GLuint third, int brick,
                    const FocusPass* pass = nullptr);
// The programs the current style, classification and iso mode draw with
// read the gradient or magnitude texture.
bool drawReadsGradients();
// After the polygon: samplers and both profiles off, the sampler units and
// the pipeline binding as before the bind.
void disableCgPrograms();
// Samplers off, context with every program gone (view's destruction).
void destroyCgPrograms();

// Inspection (tests, diagnostics).
const char* cgProgramFile(int id);
CGprogram cgProgramHandle(int id);
CGparameter cgProgramParameter(int id, const char* name);
// The programs the last bind selected, PRG_NONE where a stage stayed fixed-function.
int cgBoundVertexProgram();
int cgBoundFragmentProgram();

#endif
