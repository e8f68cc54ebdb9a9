// The settings file's view of the main window, its view and menus.
#ifndef GLIMRA_WX_SETTINGS_H
#define GLIMRA_WX_SETTINGS_H

class Viewer;

// Routes viewer's settings through the main window (g_pMainFrame) from now
// on; call before the settings file is first read.
void installMainWindowSettings(Viewer& viewer);

#endif
