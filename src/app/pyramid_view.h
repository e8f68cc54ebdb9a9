// A pyramid on screen beyond its coarsest level: which styles can draw the
// streamed bricks, the memory they may take, and the stream over the
// volume the load made from the coarsest level.
#ifndef GLIMRA_PYRAMID_VIEW_H
#define GLIMRA_PYRAMID_VIEW_H

#include "brick_stream.h"

#include <cstdint>
#include <memory>
#include <string>

// Why the style cannot draw a pyramid's finer levels, "" for the styles
// that can ("3D Texture OAS", "3D Texture VAS", "Ray Casting").
std::string pyramidStyleRefusal(int style);

// The bricks' budget when none is given: half the memory available at the
// first call of the run (512 MB where that is not known).
uint64_t defaultBrickBudget();
// The settings window's field for that budget, in megabytes: 1 up to what
// --memory takes; a budget in its range, rounded up to whole megabytes.
const int kMaxBrickMemoryMB = 1 << 24;
int brickMemoryFieldValue(uint64_t bytes);

// A --memory value: a plain number is megabytes (1 ... 16777216), else a
// size as parseMemorySize reads it ("512M", "2G"). False when it is neither.
bool parseMemoryOption(const std::string& text, uint64_t* bytes);

// Streams the pyramid at path over the global volume (loaded from its
// coarsest level), its bricks kept under budget bytes; waiting: every brick
// a picture needs is read before it is drawn (glimra-render). Null with
// *why when the pyramid or the volume cannot take finer bricks.
std::unique_ptr<BrickStream> streamPyramid(const std::string& path, uint64_t budget, bool waiting,
                                           std::string* why);

#endif
