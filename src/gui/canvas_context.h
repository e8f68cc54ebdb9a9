// Making a canvas's own OpenGL context current, for both views.
#ifndef GLIMRA_CANVAS_CONTEXT_H
#define GLIMRA_CANVAS_CONTEXT_H

#include "includegl.h" // before wx/glcanvas.h: libepoxy replaces GL/gl.h

#include <wx/glcanvas.h>

// True when context is now current on canvas; false without a usable
// context, and before the first set-up while the window is not on screen yet
// (GTK has no drawable for it then).
inline bool enterCanvasContext(wxGLCanvas& canvas, wxGLContext* context, bool setUp)
{
    if (!context || !context->IsOK())
        return false;
    if (!setUp && !canvas.IsShownOnScreen())
        return false;
    return canvas.SetCurrent(*context);
}

#endif
