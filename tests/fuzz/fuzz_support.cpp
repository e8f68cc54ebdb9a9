#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

extern "C" __attribute__((weak)) void __sanitizer_report_error_summary(const char* summary);

namespace fuzzsupport {

namespace {

struct Scratch
{
    std::string dir;             // the folder, empty until made
    std::set<std::string> files; // every path written into it
    ~Scratch()
    {
        for (const std::string& f : files)
            ::unlink(f.c_str());
        if (!dir.empty())
            ::rmdir(dir.c_str());
    }
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}

} // namespace

const char* const kRawSeparator = "\n@raw@\n";

void checkFailed(const char* condition, const char* file, int line)
{
    char text[512];
    std::snprintf(text, sizeof text, "fuzz check failed: %s (%s:%d)", condition, file, line);
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    // libFuzzer closes the target's stderr (-close_fd_mask) but keeps the
    // sanitizers' report stream: say it there too.
    if (__sanitizer_report_error_summary)
        __sanitizer_report_error_summary(text);
    std::abort();
}

const std::string& scratchDir()
{
    Scratch& s = scratch();
    if (s.dir.empty()) {
        struct stat st;
        const bool shm = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
        std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/glimra-fuzz-XXXXXX";
        if (!::mkdtemp(&pattern[0]))
            checkFailed("mkdtemp", __FILE__, __LINE__);
        s.dir = pattern;
    }
    return s.dir;
}

std::string scratchPath(const char* name)
{
    const std::string path = scratchDir() + "/" + name;
    scratch().files.insert(path);
    return path;
}

std::string writeScratch(const char* name, const void* bytes, size_t size)
{
    const std::string path = scratchPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        checkFailed("fopen of a scratch file", __FILE__, __LINE__);
    if (size > 0 && std::fwrite(bytes, 1, size, f) != size)
        checkFailed("fwrite of a scratch file", __FILE__, __LINE__);
    std::fclose(f);
    return path;
}

void splitDescription(const uint8_t* data, size_t size, std::string* text, std::string* raw)
{
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t at = all.find(kRawSeparator);
    if (at == std::string::npos) {
        *text = all;
        raw->clear();
        return;
    }
    *text = all.substr(0, at);
    *raw = all.substr(at + std::strlen(kRawSeparator));
}

LogCapture::LogCapture() : mySaved(g_pFileLog)
{
    myStream = open_memstream(&myBuffer, &mySize);
    if (!myStream)
        checkFailed("open_memstream", __FILE__, __LINE__);
    myChannel = new LogChannel(myStream, false);
    g_pFileLog = myChannel;
}

LogCapture::~LogCapture()
{
    g_pFileLog = mySaved;
    delete myChannel;
    std::fclose(myStream);
    std::free(myBuffer);
}

std::string LogCapture::text()
{
    std::fflush(myStream);
    return std::string(myBuffer, mySize);
}

} // namespace fuzzsupport
