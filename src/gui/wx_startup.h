// Start-up after the log channels: the main window, its view, the saved
// settings and the loads named on the command line.
#ifndef GLIMRA_WX_STARTUP_H
#define GLIMRA_WX_STARTUP_H

#include "command_line.h"

// Creates g_pMainFrame and its view, reads "glimra.ini", serves the command
// line and relabels the menus. Answers false when the window could not be made.
bool startGlimra(const CommandLine& commandLine);

#endif
