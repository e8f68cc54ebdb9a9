// The start-up command line: "-d" data, "-m" mask, "-p" palette.
#ifndef GLIMRA_COMMAND_LINE_H
#define GLIMRA_COMMAND_LINE_H

#include <string>

struct CommandLine
{
    bool hasData = false;    // "-d" was followed by a value
    bool hasMask = false;    // "-m" was followed by a value
    bool hasPalette = false; // "-p" was followed by a value
    std::string dataFile;    // the last "-d" value
    std::string maskFile;    // the last "-m" value
    std::string paletteFile; // the last "-p" value
};

// Scans all arguments (the program name included); an option's value is
// consumed, later options replace earlier ones, other words are ignored.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The usage text printed on standard output at every start.
extern const char* const kUsageText;

#endif
