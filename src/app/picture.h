// Pictures of the main view at a size of their own: the view drawn once more
// into a frame buffer of that size in its context, so a 4K picture comes
// from a small window. The window's "Save Picture..." and "Save
// Turntable...", glimra-render's pictures and turntables all draw through it.
#ifndef GLIMRA_PICTURE_H
#define GLIMRA_PICTURE_H

#include <string>
#include <vector>

class MainView;

// The view (its context current) drawn at width x height into *rgba, top row
// first, alpha 255, without the frame-rate text; the view keeps its own size
// and frame buffer. False with *error when the driver cannot draw that size.
bool renderPicture(MainView& view, int width, int height, std::vector<unsigned char>* rgba, std::string* error);

// renderPicture written to path as an 8-bit RGBA PNG; false with *error.
bool savePicture(MainView& view, int width, int height, const std::string& path, std::string* error);

// Rows of a picture read from OpenGL (bottom row first) in the order of an
// image file (top row first), alpha 255: the window shows the colours over
// nothing, and the frame buffer's alpha is what compositing left there.
std::vector<unsigned char> pictureRows(const unsigned char* bottomUp, int width, int height);

#endif
