// Which of the main view's overlays are on (View > "Orientation Marker" and
// "Colour Bar"), kept in a small file of its own beside "glimra.ini":
// "Marker:\t1" and "ColourBar:\t0", one a line.
#ifndef GLIMRA_OVERLAY_SWITCHES_H
#define GLIMRA_OVERLAY_SWITCHES_H

#include <string>

struct OverlaySwitches
{
    bool marker = true;     // the orientation marker
    bool colourBar = false; // the transfer function's colour bar

    // The switches the file at path names (others keep their values); lines
    // it does not know are skipped. False when it cannot be read.
    bool read(const std::string& path);
    // Both lines to path, CR LF ended; false when that fails.
    bool write(const std::string& path) const;
};

#endif
