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
    bool hasMemory = false;  // "--memory" was followed by a value
    std::string memory;      // the last "--memory" value: the bytes a pyramid's bricks may take
    bool help = false;       // "-h" or "--help": the usage, and nothing else
    std::string unknown;     // the first other word starting with "-", refused
};

// Scans all arguments (the program name included); an option's value is
// consumed, later options replace earlier ones. "-h" and "--help" ask for the
// usage; another word that starts with "-" is an unknown option (a typing
// mistake must not be mistaken for a start without it); other words are
// ignored.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The usage text printed on standard output at every start.
extern const char* const kUsageText;

// What the command line asks of the start: -1 to go on and open the window,
// else the exit status (0 after "--help", 2 after an unknown option) with
// *message the line for standard error ("" for none).
int commandLineStatus(const CommandLine& cl, std::string* message);

#endif
