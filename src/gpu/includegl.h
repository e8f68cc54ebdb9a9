// OpenGL access: every module includes GL through here (libepoxy), plus the
// extension test, the error report and the run-time entry points.
#ifndef GLIMRA_INCLUDEGL_H
#define GLIMRA_INCLUDEGL_H

#include <epoxy/gl.h>

// True when name is one of the blank-separated words of GL_EXTENSIONS.
bool isExtensionSupported(const char* name);
// The same test on a given extension string (null string: false).
bool extensionListContains(const char* extensions, const char* name);

// Reads glGetError; on errors logs the operation, every pending error name
// and "GL_NO_ERROR" to both channels and answers true.
bool checkGLError(const char* operation);
// The same report over any error source (tests feed it made-up errors).
bool reportGLErrors(const char* operation, GLenum (*nextError)());
// Name of an OpenGL error code ("GL_INVALID_ENUM", ...), "unknown" otherwise.
const char* glErrorName(GLenum code);

// The 3-D texture rule: a version string exists and either the extension is
// advertised or the version is not exactly "1.1.0".
bool texture3DRule(const char* version, bool hasTexture3DExtension);
bool use3DTextures();

// Address of an OpenGL function by name, or null when the running OpenGL
// lacks it (by core version or advertised extension) or the name is not one
// the program uses. Needs a current context.
void* getGLProcAddress(const char* name);
// The availability rule alone: name is in the table and either version
// (major x 10 + minor, desktop OpenGL) has it in core or extensions lists
// its extension.
bool glProcAvailable(const char* name, int version, const char* extensions);

// Keeps a rendering pass from leaking state into what is drawn after it:
// saves the fixed-function state (enables, blend function and equation, alpha
// test, clear colour, every unit's texture bindings and the active unit,
// front face, viewport, current colour, matrix mode) and restores it when the
// pass leaves, whichever way. Passes keep their matrix pushes balanced
// themselves.
class GLStateScope
{
public:
    GLStateScope() { glPushAttrib(GL_ALL_ATTRIB_BITS); }
    ~GLStateScope() { glPopAttrib(); }
    GLStateScope(const GLStateScope&) = delete;
    GLStateScope& operator=(const GLStateScope&) = delete;
};

#endif
