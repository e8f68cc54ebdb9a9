// Turntable pictures: the data set turned once around the screen's vertical
// axis, one picture per step, each written as soon as it is drawn.
// glimra-render's --turntable draws through it.
#ifndef GLIMRA_TURNTABLE_H
#define GLIMRA_TURNTABLE_H

#include <functional>
#include <string>

class MainView;

// Most frames one turntable may have.
const int kMaxTurntableFrames = 3600;

// The file of frame (0-based) of count: "OUT.png" becomes "OUT_007.png"; a
// name without ".png" gets "_007.png" appended. Three digits, more when
// count - 1 needs them.
std::string turntableFramePath(const std::string& output, int frame, int count);

// Why a picture could not be written at path, as far as can be told before
// drawing ("Cannot write PATH: reason"); "" when it looks writable.
std::string outputPathProblem(const std::string& path);

// Called after each written frame with its number (0-based), the count and
// the file; false stops the turntable (a progress dialog's Cancel).
using TurntableProgress = std::function<bool(int frame, int count, const std::string& path)>;

// What a progress that stopped a turntable leaves in *error.
const char* const kTurntableCancelled = "Cancelled.";

// Draws count frames (1 ... kMaxTurntableFrames) of the view (its context
// current) at width x height, as renderPicture draws: frame k turns the
// current volume.rotation, and the clip planes with it, by 360 k / count
// degrees about the screen's vertical axis (the right side moving away from
// the viewer). Each frame is written to turntableFramePath before the next
// is drawn. Stops at the first frame that cannot be drawn or written, with
// *error "Frame K of N: reason" (K counted from 1), or when progress says
// so, with kTurntableCancelled, keeping the frames before. The rotations are
// restored afterwards.
bool renderTurntable(MainView& view, int width, int height, int count, const std::string& output,
                     const TurntableProgress& progress, std::string* error);

#endif
