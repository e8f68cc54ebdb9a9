// The running settings: where the program's objects keep what "glimra.ini"
// stores, and the file read into them or written from them.
#ifndef GLIMRA_RUNNING_SETTINGS_H
#define GLIMRA_RUNNING_SETTINGS_H

#include "settings_file.h"

#include <string>

// Where the running settings live.
class SettingsTarget
{
public:
    virtual ~SettingsTarget() = default;
    // The running settings into s.
    virtual void gather(Settings& s) const = 0;
    // s into the running objects (menus and view included where they exist).
    virtual void apply(const Settings& s) = 0;
};

// The part held by toolkit-free objects: volume, RenderMode, textureFilter, curves.
void gatherCoreSettings(Settings& s);
void applyCoreSettings(const Settings& s);
// Copies the values held by the window, its view and the frame-rate text.
void copyWindowSettings(const Settings& from, Settings& to);

// The running settings without a main window: the core objects, plus a record
// standing in for the window, its view and its frame-rate text.
class CoreSettingsTarget : public SettingsTarget
{
public:
    void gather(Settings& s) const override;
    void apply(const Settings& s) override;

    Settings window; // fpsVisible, autosave, size, position and speedup are used
};

// Reads path into the running settings; false when it cannot be opened, and
// nothing changes then.
bool loadSettings(SettingsTarget& target, const std::string& path);
// Writes the running settings to path; false when that fails.
bool saveSettings(const SettingsTarget& target, const std::string& path);
// After autosave was switched off: the file keeps its values but autosave 0,
// and the load-time settings (alpha and gradient calculation, alpha correction,
// filtering) return to the stored ones. True when the file was rewritten;
// nothing happens when it cannot be read.
bool rewriteSettingsAutosaveOff(SettingsTarget& target, const std::string& path);

#endif
