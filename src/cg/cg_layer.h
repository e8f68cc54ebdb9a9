// A small stand-in for the Cg runtime calls the program manager uses, built on
// separable GLSL program objects.
//
// Programs are GLSL source files (entry "main") compiled for one stage, the
// vertex or the fragment stage, according to the profile they are created for.
// As with Cg, a vertex and a fragment program are bound and enabled
// independently; a stage without an enabled program runs the fixed-function
// pipeline (texture matrices, clip planes, texture environment).
//
// Bound programs, enabled profiles and the program pipeline object the two
// stages meet in belong to one OpenGL context each, as in OpenGL itself:
// binding and enabling act on the context current at the call. A Cg context
// belongs to the OpenGL context current when it is created (or, created
// without one, when it first needs one); its programs and parameters are
// used only while that context is current, and any call with another
// context current does nothing and leaves CG_INVALID_CONTEXT_HANDLE_ERROR.
// Destroy a Cg context before its OpenGL context.
//
// Parameters are the programs' active uniforms by name. Samplers get texture
// units in the order the linker reports them, counted from the first unit
// past the fixed-function ones (cgGLGetTextureEnum), so that enabling a
// sampler never disturbs the units the fixed-function pipeline uses, and the
// active texture unit is never changed.
//
// Every call on a null or stale handle, or with a value of the wrong kind,
// does nothing and leaves an error that cgGetError() returns once.
#ifndef GLIMRA_CG_LAYER_H
#define GLIMRA_CG_LAYER_H

#include "includegl.h"

typedef struct CgContextRecord* CGcontext;
typedef struct CgProgramRecord* CGprogram;
typedef struct CgParameterRecord* CGparameter;
typedef int CGbool;

#define CG_FALSE 0
#define CG_TRUE 1

enum CGenum
{
    CG_SOURCE = 4112, // the text is program source
    CG_OBJECT = 4113, // precompiled objects: not supported here
};

enum CGprofile
{
    CG_PROFILE_UNKNOWN = 6145,
    CG_PROFILE_GLSLV = 7007, // vertex stage
    CG_PROFILE_GLSLF = 7008, // fragment stage
};

enum CGGLenum
{
    // transforms of a tracked matrix
    CG_GL_MATRIX_IDENTITY = 0,
    CG_GL_MATRIX_TRANSPOSE = 1,
    CG_GL_MATRIX_INVERSE = 2,
    CG_GL_MATRIX_INVERSE_TRANSPOSE = 3,
    // tracked matrices
    CG_GL_MODELVIEW_MATRIX = 4,
    CG_GL_PROJECTION_MATRIX = 5,
    CG_GL_TEXTURE_MATRIX = 6,
    CG_GL_MODELVIEW_PROJECTION_MATRIX = 7,
    // profile classes
    CG_GL_VERTEX = 8,
    CG_GL_FRAGMENT = 9,
};

enum CGerror
{
    CG_NO_ERROR = 0,
    CG_COMPILER_ERROR = 1,
    CG_INVALID_PARAMETER_ERROR = 2,
    CG_INVALID_PROFILE_ERROR = 3,
    CG_FILE_READ_ERROR = 4,
    CG_INVALID_ENUMERANT_ERROR = 5,
    CG_INVALID_VALUE_TYPE_ERROR = 6,
    CG_NOT_MATRIX_PARAM_ERROR = 7,
    CG_INVALID_CONTEXT_HANDLE_ERROR = 8,
    CG_INVALID_PROGRAM_HANDLE_ERROR = 9,
    CG_INVALID_PARAM_HANDLE_ERROR = 10,
    CG_PROGRAM_NOT_LOADED_ERROR = 11,
    CG_ARRAY_PARAM_ERROR = 12,
    CG_OUT_OF_ARRAY_BOUNDS_ERROR = 13,
    CG_INVALID_ENTRY_ERROR = 14,
    CG_MEMORY_ALLOC_ERROR = 15,
};

// ---- context ----
CGcontext cgCreateContext();
// Destroys every program of the context, and the OpenGL context's pipeline
// object with the last Cg context there. With another OpenGL context current
// the records go but no OpenGL object is touched, and the error is left.
void cgDestroyContext(CGcontext context);
CGbool cgIsContext(CGcontext context);
// Compiler and linker messages of the last program created in the context,
// prefixed with the file name; "" when it had none.
const char* cgGetLastListing(CGcontext context);

// ---- errors ----
// The last error since the previous call, then CG_NO_ERROR again.
CGerror cgGetError();
const char* cgGetErrorString(CGerror error);

// ---- profiles ----
// CG_PROFILE_GLSLV / CG_PROFILE_GLSLF where the current OpenGL has separable
// programs (4.1 or GL_ARB_separate_shader_objects), else CG_PROFILE_UNKNOWN.
CGprofile cgGLGetLatestProfile(CGGLenum profileClass);
// Accepted for compatibility; GLSL has no options to set.
void cgGLSetOptimalOptions(CGprofile profile);
void cgGLEnableProfile(CGprofile profile);
void cgGLDisableProfile(CGprofile profile);
CGbool cgGLIsProfileEnabled(CGprofile profile);

// ---- programs ----
// Compiles and links the source for the profile's stage. entry must be null
// or "main"; args is a null-terminated list of compiler arguments, of which
// "-DNAME" and "-DNAME=VALUE" define a macro (others are ignored). Null with
// an error and a listing on failure.
CGprogram cgCreateProgram(CGcontext context, CGenum type, const char* source, CGprofile profile,
                          const char* entry, const char** args);
// The same with the source read from a file.
CGprogram cgCreateProgramFromFile(CGcontext context, CGenum type, const char* fileName,
                                  CGprofile profile, const char* entry, const char** args);
void cgDestroyProgram(CGprogram program);
CGbool cgIsProgram(CGprogram program);
CGprofile cgGetProgramProfile(CGprogram program);
void cgGLLoadProgram(CGprogram program);
CGbool cgGLIsProgramLoaded(CGprogram program);
// Makes the program the one of its profile; it runs while the profile is enabled.
void cgGLBindProgram(CGprogram program);
void cgGLUnbindProgram(CGprofile profile);
// The OpenGL program object (tests and diagnostics); 0 for a bad handle.
GLuint cgGLGetProgramID(CGprogram program);

// ---- parameters ----
// Null when the program has no active uniform of that name (no error).
CGparameter cgGetNamedParameter(CGprogram program, const char* name);
CGprogram cgGetParameterProgram(CGparameter param);
// Number of elements of an array parameter, 0 for others.
int cgGetArraySize(CGparameter param, int dimension);

// Values go to as many components as the parameter has; missing ones are 0.
void cgGLSetParameter1f(CGparameter param, float x);
void cgGLSetParameter2f(CGparameter param, float x, float y);
void cgGLSetParameter3f(CGparameter param, float x, float y, float z);
void cgGLSetParameter4f(CGparameter param, float x, float y, float z, float w);
void cgGLSetParameter1fv(CGparameter param, const float* v);
void cgGLSetParameter2fv(CGparameter param, const float* v);
void cgGLSetParameter3fv(CGparameter param, const float* v);
void cgGLSetParameter4fv(CGparameter param, const float* v);
// Elements offset ... offset + count - 1 of an array parameter; count 0 means
// all elements from offset to the end.
void cgGLSetParameterArray1f(CGparameter param, long offset, long count, const float* v);
void cgGLSetParameterArray2f(CGparameter param, long offset, long count, const float* v);
void cgGLSetParameterArray3f(CGparameter param, long offset, long count, const float* v);
void cgGLSetParameterArray4f(CGparameter param, long offset, long count, const float* v);
// 4 x 4 matrices: column-major (OpenGL order) and row-major.
void cgGLSetMatrixParameterfc(CGparameter param, const float* m);
void cgGLSetMatrixParameterfr(CGparameter param, const float* m);
// The current OpenGL matrix (texture: of the active unit), transformed; read
// when called, like Cg.
void cgGLSetStateMatrixParameter(CGparameter param, CGGLenum matrix, CGGLenum transform);

// ---- samplers ----
void cgGLSetTextureParameter(CGparameter param, GLuint texture);
GLuint cgGLGetTextureParameter(CGparameter param);
// GL_TEXTURE0 + the sampler's unit; GL_INVALID_OPERATION for a non-sampler.
GLenum cgGLGetTextureEnum(CGparameter param);
// Binds the parameter's texture to its unit.
void cgGLEnableTextureParameter(CGparameter param);
// Unbinds the parameter's target on its unit again, as it was before.
void cgGLDisableTextureParameter(CGparameter param);

#endif
