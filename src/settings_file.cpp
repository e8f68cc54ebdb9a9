#include "settings_file.h"

// Placeholder until the settings file lands.
bool saveSettingsFile()
{
    return false;
}

bool loadSettingsFile()
{
    return false;
}
