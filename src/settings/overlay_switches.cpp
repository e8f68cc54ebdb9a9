#include "overlay_switches.h"

#include <fstream>
#include <sstream>

bool OverlaySwitches::read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    // A few short lines: anything past the first kilobyte is not ours.
    char text[1024];
    in.read(text, sizeof text);
    std::istringstream lines(std::string(text, static_cast<size_t>(in.gcount())));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        const std::string key = line.substr(0, tab), value = line.substr(tab + 1);
        if (value != "0" && value != "1")
            continue;
        if (key == "Marker:")
            marker = value == "1";
        else if (key == "ColourBar:")
            colourBar = value == "1";
    }
    return true;
}

bool OverlaySwitches::write(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << "Marker:\t" << (marker ? 1 : 0) << "\r\n"
        << "ColourBar:\t" << (colourBar ? 1 : 0) << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}
