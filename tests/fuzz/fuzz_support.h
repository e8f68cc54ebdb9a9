// Shared pieces of the fuzz targets: a private scratch folder for the files
// a reader must open, a check that aborts (so the fuzzer and the replay both
// report it), splitting one input into a description and its raw file, and
// a captured file log.
#ifndef GLIMRA_FUZZ_SUPPORT_H
#define GLIMRA_FUZZ_SUPPORT_H

#include "error_handling.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Stops the run with the failed condition; libFuzzer saves the input.
#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond))                                                                     \
            fuzzsupport::checkFailed(#cond, __FILE__, __LINE__);                         \
    } while (0)

namespace fuzzsupport {

[[noreturn]] void checkFailed(const char* condition, const char* file, int line);

// The process's own scratch folder (under /dev/shm when there is one), made
// on first use and removed with the files written into it at exit.
const std::string& scratchDir();
// Path of name in the scratch folder, removed at exit.
std::string scratchPath(const char* name);
// Writes bytes to name in the scratch folder and returns the path.
std::string writeScratch(const char* name, const void* bytes, size_t size);

// Splits at the first kRawSeparator: the description text before it, the raw
// bytes after it (empty when there is no separator).
extern const char* const kRawSeparator;
void splitDescription(const uint8_t* data, size_t size, std::string* text, std::string* raw);

// Points the file channel at a memory stream while it lives.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // Everything logged so far.
    std::string text();

private:
    char* myBuffer = nullptr;    // open_memstream's buffer
    size_t mySize = 0;           // its length
    FILE* myStream = nullptr;    // the memory stream
    LogChannel* myChannel = nullptr; // the channel over it
    LogChannel* mySaved = nullptr;   // the file channel before
};

} // namespace fuzzsupport

#endif
