#include "command_line.h"

#include <cstring>

const char* const kUsageText = "glimra --- basic volume renderer\n"
                               "usage: glimra [options]\n"
                               "options:\n"
                               "\t-d STRING .......... 3D data input file\n"
                               "\t-p STRING .......... palette input file\n"
                               "\t-m STRING .......... 3D mask input file\n";

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    CommandLine cl;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg)
            continue;
        bool* has = nullptr;
        std::string* value = nullptr;
        if (std::strcmp(arg, "-d") == 0) {
            has = &cl.hasData;
            value = &cl.dataFile;
        } else if (std::strcmp(arg, "-m") == 0) {
            has = &cl.hasMask;
            value = &cl.maskFile;
        } else if (std::strcmp(arg, "-p") == 0) {
            has = &cl.hasPalette;
            value = &cl.paletteFile;
        }
        if (!has)
            continue;
        if (i + 1 < argc && argv[i + 1]) {
            *has = true;
            *value = argv[i + 1];
            ++i; // the value is not examined as an option
        }
    }
    return cl;
}
