// Loads started by the window layer: the progress dialog around the core pipeline.
#ifndef GLIMRA_WX_LOAD_H
#define GLIMRA_WX_LOAD_H

#include <string>

// Loads data into the global volume with the "Load in progress" dialog.
bool loadDataWithDialog(const std::string& path, std::string* dataInfo);
// Loads a mask into the global volume with the progress dialog, in the main
// view's context.
bool loadMaskWithDialog(const std::string& path);

// The loads' warning box becomes a modal toolkit message box. Called at
// program start only: tests that start the windows in-process keep their
// recorder.
void installMessageBoxes();

#endif
