// Start-up after the log channels: the main window, its view, the saved
// settings and the loads named on the command line.
#ifndef GLIMRA_WX_STARTUP_H
#define GLIMRA_WX_STARTUP_H

#include "command_line.h"

// Creates g_pMainFrame and its view, reads "glimra.ini", serves the command
// line and relabels the menus. Answers false when the window could not be made.
// The actions report to observer from the start when one is given (tests put
// a recorder in front of the window's), else to the window's own.
class ViewerObserver;

// The list of File > "Open Recent" in the working directory, beside "glimra.ini".
const char* const kRecentFilesName = "glimra-recent.txt";
// The curves of the last exit and the note naming the data file they belong
// to, in the working directory beside "glimra.ini".
const char* const kRememberedCurvesName = "glimra-curves.pal";
const char* const kRememberedNoteName = "glimra-curves.txt";
// Which of the view's overlays are on, beside "glimra.ini".
const char* const kOverlaySwitchesName = "glimra-view.txt";
bool startGlimra(const CommandLine& commandLine, ViewerObserver* observer = nullptr);

#endif
