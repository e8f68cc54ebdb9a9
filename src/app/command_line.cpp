#include "command_line.h"

#include "pyramid_view.h"

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
        } else if (std::strcmp(arg, "--memory") == 0) {
            has = &cl.hasMemory;
            value = &cl.memory;
        }
        if (!has) {
            if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0)
                cl.help = true;
            else if (i > 0 && arg[0] == '-' && arg[1] != '\0' && cl.unknown.empty())
                cl.unknown = arg;
            continue;
        }
        if (i + 1 < argc && argv[i + 1]) {
            *has = true;
            *value = argv[i + 1];
            ++i; // the value is not examined as an option
        }
    }
    return cl;
}

int commandLineStatus(const CommandLine& cl, std::string* message)
{
    if (message)
        message->clear();
    if (cl.help)
        return 0;
    if (!cl.unknown.empty()) {
        if (message)
            *message = "glimra: unknown option " + cl.unknown;
        return 2;
    }
    uint64_t bytes = 0;
    if (cl.hasMemory && !parseMemoryOption(cl.memory, &bytes)) {
        if (message)
            *message = "glimra: --memory needs megabytes from 1 to 16777216, or a size such as 512M or 2G";
        return 2;
    }
    return -1;
}
