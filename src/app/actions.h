// The program's decisions about draw styles, shared by the main window and
// glimra-render: which style can draw with what is loaded, and the fallback
// when the chosen one cannot.
#ifndef GLIMRA_ACTIONS_H
#define GLIMRA_ACTIONS_H

#include <string>

// The menu label of a draw style ("2D Texture" ...); "" for other values.
const char* drawStyleLabel(int style);
// Why a draw style cannot draw with the data, mask and shader programs there
// are, "" when it can. Needs the view's context current for the hardware
// checks (they were made when the view set itself up).
std::string drawStyleUnavailableReason(int style);
// The same, then why the classification cannot be used, "" when both can.
std::string styleUnavailableReason(int style, int classification);
// A style that cannot draw ("Focus and Context" without a mask, "Multi
// Volume" without multi-band data, a style whose programs are missing) gives
// way to "3D Texture VAS", with a log line saying why; true when the style
// changed. Called at start-up and after every load.
bool fallBackToDrawableStyle();

#endif
