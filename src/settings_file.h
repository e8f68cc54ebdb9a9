// "glimra.ini": the render settings kept between runs.
#ifndef GLIMRA_SETTINGS_FILE_H
#define GLIMRA_SETTINGS_FILE_H

// Writes "glimra.ini" in the working directory from the live settings.
bool saveSettingsFile();
// Reads "glimra.ini" into the live settings; false when it is missing.
bool loadSettingsFile();

#endif
