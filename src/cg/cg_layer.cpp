// Cg-style programs on separable GLSL program objects.
#include "cg/cg_layer.h"

#include "mat4.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

struct CgParameterRecord
{
    CGprogram program = nullptr; // owner
    std::string name;            // uniform name without "[0]"
    GLint location = -1;         // location of the first element
    GLenum type = 0;             // GL uniform type
    GLint size = 1;              // array elements (1 for plain uniforms)
    bool isArray = false;        // declared as an array
    int components = 0;          // floats per element; 16 for a matrix, 0 for others
    GLenum target = 0;           // texture target of a sampler, 0 otherwise
    int unit = -1;               // texture unit of a sampler
    GLuint texture = 0;          // texture set for a sampler
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
    GLuint pipeline = 0;             // created on the first bind with a program running
    std::string listing;             // messages of the last creation
};

namespace {

CGerror g_error = CG_NO_ERROR;
// Live handles: calls with anything else are refused instead of touching freed memory.
std::unordered_set<const void*> g_live;
// Bound program and enabled flag per stage: 0 vertex, 1 fragment.
CGprogram g_bound[2] = {nullptr, nullptr};
bool g_enabled[2] = {false, false};
GLuint g_pipelineInUse = 0; // the pipeline last bound by the layer, 0 when none

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

// Puts the bound programs of the enabled stages into effect.
void applyStages()
{
    CGprogram v = (g_enabled[0] && live(g_bound[0]) && g_bound[0]->loaded) ? g_bound[0] : nullptr;
    CGprogram f = (g_enabled[1] && live(g_bound[1]) && g_bound[1]->loaded) ? g_bound[1] : nullptr;
    if (!v && !f) {
        if (g_pipelineInUse) {
            glBindProgramPipeline(0);
            g_pipelineInUse = 0;
        }
        return;
    }
    CGcontext ctx = f ? f->context : v->context;
    if (!ctx->pipeline)
        glGenProgramPipelines(1, &ctx->pipeline);
    glUseProgramStages(ctx->pipeline, GL_VERTEX_SHADER_BIT, v ? v->program : 0);
    glUseProgramStages(ctx->pipeline, GL_FRAGMENT_SHADER_BIT, f ? f->program : 0);
    glBindProgramPipeline(ctx->pipeline);
    g_pipelineInUse = ctx->pipeline;
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

std::string shaderLog(GLuint shader)
{
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    glGetShaderInfoLog(shader, length, nullptr, &text[0]);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string programLog(GLuint program)
{
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    glGetProgramInfoLog(program, length, nullptr, &text[0]);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Lists the active uniforms and gives the samplers their units.
void collectParameters(CGprogram prog)
{
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
        if (p->target) {
            p->unit = nextUnit++;
            glProgramUniform1i(prog->program, location, p->unit);
        }
        prog->parameters.push_back(p);
        g_live.insert(p);
    }
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

// A parameter that takes float values, or null with the error set.
CgParameterRecord* valueParameter(CGparameter param)
{
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return nullptr;
    }
    if (param->components == 0 || param->components == 16) {
        setError(CG_INVALID_VALUE_TYPE_ERROR);
        return nullptr;
    }
    return param;
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
    std::string element = p->name + "[" + std::to_string(offset) + "]";
    GLint location = glGetUniformLocation(prog, element.c_str());
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
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return nullptr;
    }
    if (param->components != 16) {
        setError(CG_NOT_MATRIX_PARAM_ERROR);
        return nullptr;
    }
    return param;
}

CgParameterRecord* samplerParameter(CGparameter param)
{
    if (!live(param)) {
        setError(CG_INVALID_PARAM_HANDLE_ERROR);
        return nullptr;
    }
    if (!param->target) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return nullptr;
    }
    return param;
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
    return ctx;
}

void cgDestroyContext(CGcontext context)
{
    if (!live(context)) {
        setError(CG_INVALID_CONTEXT_HANDLE_ERROR);
        return;
    }
    while (!context->programs.empty())
        cgDestroyProgram(context->programs.back());
    if (context->pipeline) {
        if (g_pipelineInUse == context->pipeline) {
            glBindProgramPipeline(0);
            g_pipelineInUse = 0;
        }
        glDeleteProgramPipelines(1, &context->pipeline);
    }
    g_live.erase(context);
    delete context;
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

void cgGLEnableProfile(CGprofile profile)
{
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return;
    }
    g_enabled[s] = true;
    applyStages();
}

void cgGLDisableProfile(CGprofile profile)
{
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return;
    }
    g_enabled[s] = false;
    applyStages();
}

CGbool cgGLIsProfileEnabled(CGprofile profile)
{
    int s = stageOf(profile);
    return (s >= 0 && g_enabled[s]) ? CG_TRUE : CG_FALSE;
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
    collectParameters(prog);
    context->programs.push_back(prog);
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
    for (int s = 0; s < 2; ++s)
        if (g_bound[s] == program) {
            g_bound[s] = nullptr;
            applyStages();
        }
    for (CgParameterRecord* p : program->parameters) {
        g_live.erase(p);
        delete p;
    }
    glDeleteProgram(program->program);
    std::vector<CGprogram>& list = program->context->programs;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == program) {
            list.erase(list.begin() + static_cast<long>(i));
            break;
        }
    g_live.erase(program);
    delete program;
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
    g_bound[stageOf(program->profile)] = program;
    applyStages();
}

void cgGLUnbindProgram(CGprofile profile)
{
    int s = stageOf(profile);
    if (s < 0) {
        setError(CG_INVALID_PROFILE_ERROR);
        return;
    }
    g_bound[s] = nullptr;
    applyStages();
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

void cgGLSetMatrixParameterfc(CGparameter param, const float* m)
{
    CgParameterRecord* p = matrixParameter(param);
    if (!p)
        return;
    if (!m) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    glProgramUniformMatrix4fv(p->program->program, p->location, 1, GL_FALSE, m);
}

void cgGLSetMatrixParameterfr(CGparameter param, const float* m)
{
    CgParameterRecord* p = matrixParameter(param);
    if (!p)
        return;
    if (!m) {
        setError(CG_INVALID_PARAMETER_ERROR);
        return;
    }
    glProgramUniformMatrix4fv(p->program->program, p->location, 1, GL_TRUE, m);
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
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + p->unit));
    glBindTexture(p->target, p->texture);
    glEnable(p->target);
    glActiveTexture(static_cast<GLenum>(active));
}

void cgGLDisableTextureParameter(CGparameter param)
{
    CgParameterRecord* p = samplerParameter(param);
    if (!p)
        return;
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + p->unit));
    glDisable(p->target);
    glActiveTexture(static_cast<GLenum>(active));
}
