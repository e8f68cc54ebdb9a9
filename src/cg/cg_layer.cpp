// Cg-style programs on separable GLSL program objects.
#include "cg_layer.h"

#include "mat4.h"

#include <EGL/egl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// One OpenGL context's share of the layer: what each stage has bound and
// enabled there, and the pipeline object the stages meet in.
struct GlContextState
{
    const void* key = nullptr;     // the native (EGL or GLX) context, null when none is known
    int users = 0;                 // live Cg contexts that belong to it
    CGprogram bound[2] = {};       // per stage: 0 vertex, 1 fragment
    bool enabled[2] = {};          // per stage: the profile is on
    GLuint pipeline = 0;           // made on the first enable with a program
    GLuint stages[2] = {};         // the program objects the pipeline holds now
    bool pipelineBound = false;    // the pipeline is the context's binding
    GLint firstUnit = 0;           // the samplers' first texture unit
    GLint unitCount = 0;           // units from firstUnit on
    bool directBind = false;       // glBindMultiTextureEXT binds a unit without the active unit
};

struct CgParameterRecord
{
    CGprogram program = nullptr;        // owner
    std::string name;                   // uniform name without "[0]"
    GLint location = -1;                // location of the first element
    std::vector<GLint> elements;        // location of each element of an array
    GLenum type = 0;                    // GL uniform type
    GLint size = 1;                     // array elements (1 for plain uniforms)
    bool isArray = false;               // declared as an array
    int components = 0;                 // floats per element; 16 for a matrix, 0 for others
    GLenum target = 0;                  // texture target of a sampler, 0 otherwise
    int unit = -1;                      // texture unit of a sampler
    GLuint texture = 0;                 // texture set for a sampler
    bool unitBound = false;             // enabled: the unit holds the texture
};

struct CgProgramRecord
{
    CGcontext context = nullptr;
    CGprofile profile = CG_PROFILE_UNKNOWN;
    GLuint program = 0;                   // separable GL program object
    bool loaded = false;                  // cgGLLoadProgram was called
    std::vector<CgParameterRecord*> parameters;
};

struct CgContextRecord
{
    std::vector<CGprogram> programs; // live programs, creation order
    GlContextState* gl = nullptr;    // the OpenGL context it belongs to, null until one is current
    std::string listing;             // messages of the last creation
};

namespace {

CGerror g_error = CG_NO_ERROR;
// Live handles: calls with anything else are refused instead of touching freed memory.
std::unordered_set<const void*> g_live;
// The OpenGL contexts with live Cg contexts.
std::vector<std::unique_ptr<GlContextState>> g_states;
// The stage a pipeline holds nothing known about (its program went while
// another context was current): set again on the next use.
const GLuint kUnknownStage = ~0u;

void setError(CGerror e)
{
    g_error = e;
}

bool live(const void* handle)
{
    return handle && g_live.count(handle) != 0;
}

int stageOf(CGprofile profile)
{
    if (profile == CG_PROFILE_GLSLV)
        return 0;
    if (profile == CG_PROFILE_GLSLF)
        return 1;
    return -1;
}

// The native context current on this thread: EGL (offscreen) or GLX (the
// toolkit's windows). GLX is looked up at run time, so that a process
// without it needs no GLX library; where it is not loaded no GLX context can
// be current either.
const void* currentNativeContext()
{
    EGLContext egl = eglGetCurrentContext();
    if (egl != EGL_NO_CONTEXT)
        return egl;
    using CurrentFn = void* (*)();
    static CurrentFn glxCurrent = nullptr;
    if (!glxCurrent)
        glxCurrent = reinterpret_cast<CurrentFn>(dlsym(RTLD_DEFAULT, "glXGetCurrentContext"));
    return glxCurrent ? glxCurrent() : nullptr;
}

GlContextState* stateOf(const void* key)
{
    for (const auto& s : g_states)
        if (s->key == key)
            return s.get();
    return nullptr;
}

// The state of the current OpenGL context, made (with its limits read once)
// when the first Cg context joins it.
GlContextState* joinCurrent()
{
    const void* key = currentNativeContext();
    GlContextState* s = stateOf(key);
    if (!s) {
        std::unique_ptr<GlContextState> made(new (std::nothrow) GlContextState);
        if (!made)
            return nullptr;
        made->key = key;
        // A core context has no fixed-function units (and no such query).
        GLint profileMask = 0;
        if (epoxy_gl_version() >= 32)
            glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profileMask);
        GLint fixedUnits = 0;
        if (!(profileMask & GL_CONTEXT_CORE_PROFILE_BIT))
            glGetIntegerv(GL_MAX_TEXTURE_UNITS, &fixedUnits);
        GLint combined = 0;
        glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &combined);
        made->firstUnit = std::max(fixedUnits, 0);
        made->unitCount = std::max(combined - made->firstUnit, 0);
        made->directBind = epoxy_has_gl_extension("GL_EXT_direct_state_access");
        s = made.get();
        g_states.push_back(std::move(made));
    }
    ++s->users;
    return s;
}

// True when the context's OpenGL context is the current one; a context made
// without one joins the current one here.
bool inCurrentContext(CGcontext context)
{
    if (!context->gl) {
        context->gl = joinCurrent();
        return context->gl != nullptr;
    }
    if (context->gl->key == currentNativeContext())
        return true;
    setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
    return false;
}

// The state of the current OpenGL context, null (with the error) when no Cg
// context lives there.
GlContextState* currentState()
{
    GlContextState* s = stateOf(currentNativeContext());
    if (!s)
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
    return s;
}

void setStage(GlContextState* s, int stage, GLuint program)
{
    if (s->stages[stage] == program)
        return;
    glUseProgramStages(s->pipeline, stage == 0 ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT, program);
    s->stages[stage] = program;
}

// Puts the bound programs of the enabled stages into effect, touching only
// what changed: the same programs enabled again cost one pipeline binding.
void applyStages(GlContextState* s)
{
    CGprogram v = (s->enabled[0] && s->bound[0]) ? s->bound[0] : nullptr;
    CGprogram f = (s->enabled[1] && s->bound[1]) ? s->bound[1] : nullptr;
    if (!v && !f) {
        if (s->pipelineBound) {
            glBindProgramPipeline(0);
            s->pipelineBound = false;
        }
        return;
    }
    if (!s->pipeline)
        glGenProgramPipelines(1, &s->pipeline);
    setStage(s, 0, v ? v->program : 0);
    setStage(s, 1, f ? f->program : 0);
    if (!s->pipelineBound) {
        glBindProgramPipeline(s->pipeline);
        s->pipelineBound = true;
    }
}

// The last Cg context of an OpenGL context is gone: its pipeline goes too
// when that context is current, and its state in any case.
void leave(GlContextState* s, bool glCurrent)
{
    if (--s->users > 0)
        return;
    if (glCurrent && s->pipeline) {
        if (s->pipelineBound)
            glBindProgramPipeline(0);
        glDeleteProgramPipelines(1, &s->pipeline);
    }
    g_states.erase(std::remove_if(g_states.begin(), g_states.end(),
                                  [s](const std::unique_ptr<GlContextState>& p) { return p.get() == s; }),
                   g_states.end());
}

int componentsOf(GLenum type)
{
    switch (type) {
    case GL_FLOAT: return 1;
    case GL_FLOAT_VEC2: return 2;
    case GL_FLOAT_VEC3: return 3;
    case GL_FLOAT_VEC4: return 4;
    case GL_FLOAT_MAT4: return 16;
    default: return 0;
    }
}

GLenum targetOf(GLenum type)
{
    switch (type) {
    case GL_SAMPLER_1D: return GL_TEXTURE_1D;
    case GL_SAMPLER_2D: return GL_TEXTURE_2D;
    case GL_SAMPLER_3D: return GL_TEXTURE_3D;
    case GL_SAMPLER_CUBE: return GL_TEXTURE_CUBE_MAP;
    case GL_SAMPLER_2D_RECT: return GL_TEXTURE_RECTANGLE;
    default: return 0;
    }
}

// The info log of a shader or program, without its closing zero.
template <typename GetIv, typename GetLog>
std::string infoLog(GLuint id, GetIv getiv, GetLog getLog)
{
    GLint length = 0;
    getiv(id, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    getLog(id, length, nullptr, &text[0]);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string shaderLog(GLuint shader)
{
    return infoLog(shader, glGetShaderiv, glGetShaderInfoLog);
}

std::string programLog(GLuint program)
{
    return infoLog(program, glGetProgramiv, glGetProgramInfoLog);
}


// Lists the active uniforms, gives the samplers their units and notes where
// each array element lives, so that nothing is looked up by name later.
// False when the program has more samplers than the context has units.
bool collectParameters(CGprogram prog)
{
    const GlContextState* gl = prog->context->gl;
    GLint count = 0;
    GLint maxLength = 0;
    glGetProgramiv(prog->program, GL_ACTIVE_UNIFORMS, &count);
    glGetProgramiv(prog->program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &maxLength);
    std::vector<char> name(static_cast<size_t>(maxLength > 0 ? maxLength : 1) + 1);
    int nextUnit = 0;
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        GLsizei length = 0;
        glGetActiveUniform(prog->program, static_cast<GLuint>(i), static_cast<GLsizei>(name.size()),
                           &length, &size, &type, name.data());
        std::string n(name.data(), static_cast<size_t>(length));
        if (n.compare(0, 3, "gl_") == 0)
            continue;
        bool isArray = false;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, "[0]") == 0) {
            n.resize(n.size() - 3);
            isArray = true;
        }
        GLint location = glGetUniformLocation(prog->program, n.c_str());
        if (location < 0)
            continue; // block members and the like
        CgParameterRecord* p = new CgParameterRecord;
        p->program = prog;
        p->name = n;
        p->location = location;
        p->type = type;
        p->size = size;
        p->isArray = isArray;
        p->components = componentsOf(type);
        p->target = targetOf(type);
        if (isArray)
            for (GLint e = 0; e < size; ++e)
                p->elements.push_back(
                    glGetUniformLocation(prog->program, (n + "[" + std::to_string(e) + "]").c_str()));
        prog->parameters.push_back(p);
        g_live.insert(p);
        if (p->target) {
            if (nextUnit >= gl->unitCount)
                return false;
            p->unit = gl->firstUnit + nextUnit++;
            glProgramUniform1i(prog->program, location, p->unit);
        }
    }
    return true;
}

GLuint compileStage(GLenum stage, const char* source, std::string& log, bool& ok)
{
    ok = false;
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    log += shaderLog(shader);
    if (status != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    GLuint program = glCreateProgram();
    glProgramParameteri(program, GL_PROGRAM_SEPARABLE, GL_TRUE);
    glAttachShader(program, shader);
    glLinkProgram(program);
    glDetachShader(program, shader);
    glDeleteShader(shader);
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    log += programLog(program);
    if (status != GL_TRUE) {
        glDeleteProgram(program);
        return 0;
    }
    ok = true;
    return program;
}


// A live parameter of a program of the current OpenGL context, or null with
// the error set.
CgParameterRecord* usableParameter(CGparameter param)
{
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return nullptr;
    }
    return inCurrentContext(param->program->context) ? param : nullptr;
}

// A parameter that takes float values, or null with the error set.
CgParameterRecord* valueParameter(CGparameter param)
{
    CgParameterRecord* p = usableParameter(param);
    if (p && (p->components == 0 || p->components == 16)) {
        setError(CG_INVALID_VALUE_TYPE_ERROR);
        return nullptr;
    }
    return p;
}

void setVector(CGparameter param, float x, float y, float z, float w)
{
    CgParameterRecord* p = valueParameter(param);
    if (!p)
        return;
    const float v[4] = {x, y, z, w};
    GLuint prog = p->program->program;
    switch (p->components) {
    case 1: glProgramUniform1fv(prog, p->location, 1, v); break;
    case 2: glProgramUniform2fv(prog, p->location, 1, v); break;
    case 3: glProgramUniform3fv(prog, p->location, 1, v); break;
    default: glProgramUniform4fv(prog, p->location, 1, v); break;
    }
}

void setArray(CGparameter param, int components, long offset, long count, const float* v)
{
    CgParameterRecord* p = valueParameter(param);
    if (!p)
        return;
    if (!p->isArray || p->components != components) {
        setError(CG_ARRAY_PARAM_ERROR);
        return;
    }
    if (count == 0)
        count = p->size - offset;
    if (!v || offset < 0 || count < 0 || offset + count > p->size) {
        setError(CG_OUT_OF_ARRAY_BOUNDS_ERROR);
        return;
    }
    if (count == 0)
        return;
    GLuint prog = p->program->program;
    GLint location = p->elements[static_cast<size_t>(offset)];
    if (location < 0) {
        setError(CG_OUT_OF_ARRAY_BOUNDS_ERROR);
        return;
    }
    GLsizei n = static_cast<GLsizei>(count);
    switch (components) {
    case 1: glProgramUniform1fv(prog, location, n, v); break;
    case 2: glProgramUniform2fv(prog, location, n, v); break;
    case 3: glProgramUniform3fv(prog, location, n, v); break;
    default: glProgramUniform4fv(prog, location, n, v); break;
    }
}

CgParameterRecord* matrixParameter(CGparameter param)
{
    CgParameterRecord* p = usableParameter(param);
    if (p && p->components != 16) {
        setError(CG_NOT_MATRIX_PARAM_ERROR);
        return nullptr;
    }
    return p;
}

CgParameterRecord* samplerParameter(CGparameter param)
{
    CgParameterRecord* p = usableParameter(param);
    if (p && !p->target) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return nullptr;
    }
    return p;
}

// Puts texture on the unit's target, leaving the active unit as it is.
// Not glBindTextures or glBindTextureUnit: Mesa (22.3) does not draw the
// immediate-mode vertices still pending before those change a binding, so a
// polygon drawn just before disabling would sample nothing.
void bindUnit(const CgParameterRecord* p, GLuint texture)
{
    if (p->program->context->gl->directBind) {
        glBindMultiTextureEXT(static_cast<GLenum>(GL_TEXTURE0 + p->unit), p->target, texture);
        return;
    }
    // Without multi-bind the active unit must be switched, and put back.
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + p->unit));
    glBindTexture(p->target, texture);
    glActiveTexture(static_cast<GLenum>(active));
}

// Forgets the program in every pipeline and stage that refers to it; the
// pipeline is touched only when its context is current.
void unbindEverywhere(CGprogram program, bool glCurrent)
{
    GlContextState* s = program->context->gl;
    if (!s)
        return;
    bool reapply = false;
    for (int stage = 0; stage < 2; ++stage) {
        if (s->bound[stage] == program) {
            s->bound[stage] = nullptr;
            reapply = true;
        }
        if (s->stages[stage] == program->program) {
            if (glCurrent && s->pipeline)
                setStage(s, stage, 0);
            else
                s->stages[stage] = kUnknownStage;
        }
    }
    if (reapply && glCurrent)
        applyStages(s);
}

// Frees the program's records; its OpenGL objects go only when its context
// is current.
void releaseProgram(CGprogram program, bool glCurrent)
{
    unbindEverywhere(program, glCurrent);
    for (CgParameterRecord* p : program->parameters) {
        if (glCurrent && p->unitBound)
            bindUnit(p, 0);
        g_live.erase(p);
        delete p;
    }
    if (glCurrent)
        glDeleteProgram(program->program);
    std::vector<CGprogram>& list = program->context->programs;
    list.erase(std::remove(list.begin(), list.end(), program), list.end());
    g_live.erase(program);
    delete program;
}

} // namespace

// ---- context ----

CGcontext cgCreateContext()
{
    CGcontext ctx = new (std::nothrow) CgContextRecord;
    if (!ctx) {
        setError(CG_MEMORY_ALLOC_ERROR);
        return nullptr;
    }
    g_live.insert(ctx);
    if (currentNativeContext())
        ctx->gl = joinCurrent();
    return ctx;
}

void cgDestroyContext(CGcontext context)
{
    if (!live(context)) {
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return;
    }
    // Objects of another OpenGL context must not be deleted by name here:
    // the same names may be in use in the current one.
    const bool glCurrent = !context->gl || context->gl->key == currentNativeContext();
    while (!context->programs.empty())
        releaseProgram(context->programs.back(), glCurrent);
    if (context->gl)
        leave(context->gl, glCurrent);
    g_live.erase(context);
    delete context;
    if (!glCurrent)
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
}

CGbool cgIsContext(CGcontext context)
{
    return live(context) ? CG_TRUE : CG_FALSE;
}

const char* cgGetLastListing(CGcontext context)
{
    if (!live(context)) {
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return "";
    }
    return context->listing.c_str();
}

// ---- errors ----

CGerror cgGetError()
{
    CGerror e = g_error;
    g_error = CG_NO_ERROR;
    return e;
}

const char* cgGetErrorString(CGerror error)
{
    switch (error) {
    case CG_NO_ERROR: return "No error has occurred.";
    case CG_COMPILER_ERROR: return "The compile returned an error.";
    case CG_INVALID_PARAMETER_ERROR: return "The parameter used is invalid.";
    case CG_INVALID_PROFILE_ERROR: return "The profile is not supported.";
    case CG_FILE_READ_ERROR: return "The file could not be read.";
    case CG_INVALID_ENUMERANT_ERROR: return "Invalid enumerant parameter.";
    case CG_INVALID_VALUE_TYPE_ERROR: return "The parameter does not take float values.";
    case CG_NOT_MATRIX_PARAM_ERROR: return "The parameter must be a matrix parameter.";
    case CG_INVALID_CONTEXT_HANDLE_ERROR: return "Invalid context handle.";
    case CG_INVALID_PROGRAM_HANDLE_ERROR: return "Invalid program handle.";
    case CG_INVALID_PARAM_HANDLE_ERROR: return "Invalid parameter handle.";
    case CG_PROGRAM_NOT_LOADED_ERROR: return "The program could not be loaded.";
    case CG_ARRAY_PARAM_ERROR: return "The parameter must be an array of that size.";
    case CG_OUT_OF_ARRAY_BOUNDS_ERROR: return "The index is out of the array's bounds.";
    case CG_INVALID_ENTRY_ERROR: return "The entry function must be main.";
    case CG_MEMORY_ALLOC_ERROR: return "Memory allocation failed.";
    }
    return "Unknown error.";
}

// ---- profiles ----

CGprofile cgGLGetLatestProfile(CGGLenum profileClass)
{
    if (profileClass != CG_GL_VERTEX && profileClass != CG_GL_FRAGMENT) {
        setError(CG_INVALID_ENUMERANT_ERROR);
        return CG_PROFILE_UNKNOWN;
    }
    const GLubyte* version = glGetString(GL_VERSION);
    if (!version)
        return CG_PROFILE_UNKNOWN;
    bool separable = epoxy_gl_version() >= 41 || epoxy_has_gl_extension("GL_ARB_separate_shader_objects");
    if (!separable || epoxy_glsl_version() < 130)
        return CG_PROFILE_UNKNOWN;
    return profileClass == CG_GL_VERTEX ? CG_PROFILE_GLSLV : CG_PROFILE_GLSLF;
}

void cgGLSetOptimalOptions(CGprofile profile)
{
    if (stageOf(profile) < 0)
        setError(CG_INVALID_PROFILE_ERROR);
}

namespace {

// Switches a stage of the current OpenGL context on or off.
void setProfileEnabled(CGprofile profile, bool on)
{
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return;
    }
    GlContextState* gl = currentState();
    if (!gl || gl->enabled[s] == on)
        return;
    gl->enabled[s] = on;
    applyStages(gl);
}

} // namespace

void cgGLEnableProfile(CGprofile profile)
{
    setProfileEnabled(profile, true);
}

void cgGLDisableProfile(CGprofile profile)
{
    setProfileEnabled(profile, false);
}

CGbool cgGLIsProfileEnabled(CGprofile profile)
{
    int s = stageOf(profile);
    const GlContextState* gl = stateOf(currentNativeContext());
    return (s >= 0 && gl && gl->enabled[s]) ? CG_TRUE : CG_FALSE;
}

// ---- programs ----

namespace {

// The source with "#define NAME VALUE" for every "-DNAME=VALUE" (or "-DNAME")
// of args, placed after the #version line, which must stay first. Other
// arguments are accepted and ignored, as options without a GLSL meaning.
// False for a name that is no identifier or a list without its end.
bool withDefines(const char* source, const char** args, std::string& out)
{
    out = source;
    if (!args)
        return true;
    std::string defines;
    for (int i = 0; args[i]; ++i) {
        if (i >= 64)
            return false;
        const std::string a = args[i];
        if (a.compare(0, 2, "-D") != 0)
            continue;
        const size_t eq = a.find('=');
        const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const std::string value = eq == std::string::npos ? "1" : a.substr(eq + 1);
        if (name.empty() || name.size() > 64 || value.size() > 64 || value.find('\n') != std::string::npos)
            return false;
        for (size_t c = 0; c < name.size(); ++c)
            if (!(std::isalnum(static_cast<unsigned char>(name[c])) || name[c] == '_') || std::isdigit(name[0]))
                return false;
        defines += "#define " + name + " " + value + "\n";
    }
    if (defines.empty())
        return true;
    size_t at = 0;
    const size_t version = out.find("#version");
    if (version != std::string::npos) {
        const size_t eol = out.find('\n', version);
        at = eol == std::string::npos ? out.size() : eol + 1;
        if (eol == std::string::npos)
            defines = "\n" + defines;
    }
    out.insert(at, defines);
    return true;
}

} // namespace

CGprogram cgCreateProgram(CGcontext context, CGenum type, const char* source, CGprofile profile,
                          const char* entry, const char** args)
{
    if (!live(context)) {
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return nullptr;
    }
    context->listing.clear();
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return nullptr;
    }
    if (type != CG_SOURCE || !source) {
        setError(CG_INVALID_ENUMERANT_ERROR);
        return nullptr;
    }
    if (entry && std::strcmp(entry, "main") != 0) {
        setError(CG_INVALID_ENTRY_ERROR);
        return nullptr;
    }
    if (!inCurrentContext(context))
        return nullptr;
    std::string text;
    if (!withDefines(source, args, text)) {
        context->listing = "bad compiler argument\n";
        setError(CG_INVALID_VALUE_TYPE_ERROR);
        return nullptr;
    }
    bool ok = false;
    std::string log;
    GLuint program = compileStage(s == 0 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, text.c_str(), log, ok);
    context->listing = log;
    if (!ok) {
        setError(CG_COMPILER_ERROR);
        return nullptr;
    }
    CGprogram prog = new (std::nothrow) CgProgramRecord;
    if (!prog) {
        glDeleteProgram(program);
        setError(CG_MEMORY_ALLOC_ERROR);
        return nullptr;
    }
    prog->context = context;
    prog->profile = profile;
    prog->program = program;
    g_live.insert(prog);
    context->programs.push_back(prog);
    if (!collectParameters(prog)) {
        context->listing += "more samplers than texture units\n";
        releaseProgram(prog, true);
        setError(CG_COMPILER_ERROR);
        return nullptr;
    }
    return prog;
}

namespace {

const size_t kMaxSourceBytes = 1 << 20; // one program's text, includes and all
const int kMaxIncludeDepth = 4;

bool readText(const std::string& path, std::string& text, std::string& listing)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        listing = path + ": cannot open the file\n";
        return false;
    }
    char buffer[4096];
    size_t n;
    bool tooLarge = false;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
        if (text.size() + n > kMaxSourceBytes) {
            tooLarge = true;
            break;
        }
        text.append(buffer, n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (tooLarge)
        listing = path + ": the program text is larger than 1 MiB\n";
    else if (readError)
        listing = path + ": cannot read the file\n";
    return !tooLarge && !readError;
}

// The file's text with every line '#include "name"' replaced by the text of
// that file from the same directory, as the Cg compiler does. Names with a
// path separator are refused, so a program never reads outside its folder.
bool readSource(const std::string& directory, const std::string& path, int depth, std::string& out,
                std::string& listing)
{
    std::string text;
    if (!readText(path, text, listing))
        return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        size_t i = line.find_first_not_of(" \t");
        if (i != std::string::npos && line.compare(i, 8, "#include") == 0) {
            const size_t open = line.find('"', i + 8);
            const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
            const std::string name =
                close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
            if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
                listing = path + ": bad #include line: " + line + "\n";
                return false;
            }
            if (depth >= kMaxIncludeDepth) {
                listing = path + ": #include nested too deeply\n";
                return false;
            }
            if (!readSource(directory, directory + name, depth + 1, out, listing))
                return false;
        } else {
            out.append(line);
        }
        out.push_back('\n');
        if (out.size() > kMaxSourceBytes) {
            listing = path + ": the program text is larger than 1 MiB\n";
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

CGprogram cgCreateProgramFromFile(CGcontext context, CGenum type, const char* fileName,
                                  CGprofile profile, const char* entry, const char** args)
{
    if (!live(context)) {
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return nullptr;
    }
    context->listing.clear();
    const std::string name = fileName ? fileName : "";
    const size_t slash = name.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    std::string text;
    std::string listing;
    if (!fileName || !readSource(directory, name, 0, text, listing)) {
        context->listing = listing.empty() ? name + ": cannot open the file\n" : listing;
        setError(CG_FILE_READ_ERROR);
        return nullptr;
    }
    CGprogram prog = cgCreateProgram(context, type, text.c_str(), profile, entry, args);
    if (!context->listing.empty())
        context->listing = name + ":\n" + context->listing;
    return prog;
}

void cgDestroyProgram(CGprogram program)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    const GlContextState* gl = program->context->gl;
    const bool glCurrent = !gl || gl->key == currentNativeContext();
    releaseProgram(program, glCurrent);
    if (!glCurrent)
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
}

CGbool cgIsProgram(CGprogram program)
{
    return live(program) ? CG_TRUE : CG_FALSE;
}

CGprofile cgGetProgramProfile(CGprogram program)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return CG_PROFILE_UNKNOWN;
    }
    return program->profile;
}

void cgGLLoadProgram(CGprogram program)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    program->loaded = true;
}

CGbool cgGLIsProgramLoaded(CGprogram program)
{
    return (live(program) && program->loaded) ? CG_TRUE : CG_FALSE;
}

// Binding only records the program; the pipeline changes when its stage is
// enabled (now, or already).
void cgGLBindProgram(CGprogram program)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return;
    }
    if (!program->loaded) {
        setError(CG_PROGRAM_NOT_LOADED_ERROR);
        return;
    }
    if (!inCurrentContext(program->context))
        return;
    GlContextState* gl = program->context->gl;
    const int s = stageOf(program->profile);
    if (gl->bound[s] == program)
        return;
    gl->bound[s] = program;
    if (gl->enabled[s])
        applyStages(gl);
}

void cgGLUnbindProgram(CGprofile profile)
{
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return;
    }
    GlContextState* gl = currentState();
    if (!gl || !gl->bound[s])
        return;
    gl->bound[s] = nullptr;
    if (gl->enabled[s])
        applyStages(gl);
}

GLuint cgGLGetProgramID(CGprogram program)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return 0;
    }
    return program->program;
}

// ---- parameters ----

CGparameter cgGetNamedParameter(CGprogram program, const char* name)
{
    if (!live(program)) {
        setError(CG_INVALID_PROGRAM_HANDLE_ERROR);
        return nullptr;
    }
    if (!name)
        return nullptr;
    for (CgParameterRecord* p : program->parameters)
        if (p->name == name)
            return p;
    return nullptr;
}

CGprogram cgGetParameterProgram(CGparameter param)
{
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return nullptr;
    }
    return param->program;
}

int cgGetArraySize(CGparameter param, int dimension)
{
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return 0;
    }
    if (!param->isArray || dimension != 0)
        return 0;
    return param->size;
}

void cgGLSetParameter1f(CGparameter param, float x)
{
    setVector(param, x, 0, 0, 0);
}

void cgGLSetParameter2f(CGparameter param, float x, float y)
{
    setVector(param, x, y, 0, 0);
}

void cgGLSetParameter3f(CGparameter param, float x, float y, float z)
{
    setVector(param, x, y, z, 0);
}

void cgGLSetParameter4f(CGparameter param, float x, float y, float z, float w)
{
    setVector(param, x, y, z, w);
}

void cgGLSetParameter1fv(CGparameter param, const float* v)
{
    if (!v) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    setVector(param, v[0], 0, 0, 0);
}

void cgGLSetParameter2fv(CGparameter param, const float* v)
{
    if (!v) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    setVector(param, v[0], v[1], 0, 0);
}

void cgGLSetParameter3fv(CGparameter param, const float* v)
{
    if (!v) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    setVector(param, v[0], v[1], v[2], 0);
}

void cgGLSetParameter4fv(CGparameter param, const float* v)
{
    if (!v) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    setVector(param, v[0], v[1], v[2], v[3]);
}

void cgGLSetParameterArray1f(CGparameter param, long offset, long count, const float* v)
{
    setArray(param, 1, offset, count, v);
}

void cgGLSetParameterArray2f(CGparameter param, long offset, long count, const float* v)
{
    setArray(param, 2, offset, count, v);
}

void cgGLSetParameterArray3f(CGparameter param, long offset, long count, const float* v)
{
    setArray(param, 3, offset, count, v);
}

void cgGLSetParameterArray4f(CGparameter param, long offset, long count, const float* v)
{
    setArray(param, 4, offset, count, v);
}

namespace {

// A 4 x 4 matrix into a matrix parameter, its rows given when transpose.
void setMatrix(CGparameter param, const float* m, GLboolean transpose)
{
    CgParameterRecord* p = matrixParameter(param);
    if (!p)
        return;
    if (!m) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    glProgramUniformMatrix4fv(p->program->program, p->location, 1, transpose, m);
}

} // namespace

void cgGLSetMatrixParameterfc(CGparameter param, const float* m)
{
    setMatrix(param, m, GL_FALSE);
}

void cgGLSetMatrixParameterfr(CGparameter param, const float* m)
{
    setMatrix(param, m, GL_TRUE);
}

void cgGLSetStateMatrixParameter(CGparameter param, CGGLenum matrix, CGGLenum transform)
{
    CgParameterRecord* p = matrixParameter(param);
    if (!p)
        return;
    float m[16];
    switch (matrix) {
    case CG_GL_MODELVIEW_MATRIX: glGetFloatv(GL_MODELVIEW_MATRIX, m); break;
    case CG_GL_PROJECTION_MATRIX: glGetFloatv(GL_PROJECTION_MATRIX, m); break;
    case CG_GL_TEXTURE_MATRIX: glGetFloatv(GL_TEXTURE_MATRIX, m); break;
    case CG_GL_MODELVIEW_PROJECTION_MATRIX: {
        float mv[16];
        float pr[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, mv);
        glGetFloatv(GL_PROJECTION_MATRIX, pr);
        matMultiply(pr, mv, m);
        break;
    }
    default:
        setError(CG_INVALID_ENUMERANT_ERROR);
        return;
    }
    switch (transform) {
    case CG_GL_MATRIX_IDENTITY: break;
    case CG_GL_MATRIX_TRANSPOSE: matTranspose(m, m); break;
    case CG_GL_MATRIX_INVERSE: matInvert(m, m); break;
    case CG_GL_MATRIX_INVERSE_TRANSPOSE:
        matInvert(m, m);
        matTranspose(m, m);
        break;
    default:
        setError(CG_INVALID_ENUMERANT_ERROR);
        return;
    }
    glProgramUniformMatrix4fv(p->program->program, p->location, 1, GL_FALSE, m);
}

// ---- samplers ----

void cgGLSetTextureParameter(CGparameter param, GLuint texture)
{
    CgParameterRecord* p = samplerParameter(param);
    if (p)
        p->texture = texture;
}

GLuint cgGLGetTextureParameter(CGparameter param)
{
    CgParameterRecord* p = samplerParameter(param);
    return p ? p->texture : 0;
}

GLenum cgGLGetTextureEnum(CGparameter param)
{
    CgParameterRecord* p = samplerParameter(param);
    return p ? static_cast<GLenum>(GL_TEXTURE0 + p->unit) : static_cast<GLenum>(GL_INVALID_OPERATION);
}

void cgGLEnableTextureParameter(CGparameter param)
{
    CgParameterRecord* p = samplerParameter(param);
    if (!p)
        return;
    bindUnit(p, p->texture);
    p->unitBound = true;
}

void cgGLDisableTextureParameter(CGparameter param)
{
    CgParameterRecord* p = samplerParameter(param);
    if (!p || !p->unitBound)
        return;
    bindUnit(p, 0);
    p->unitBound = false;
}
