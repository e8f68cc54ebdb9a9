#include "error_handling.h"

#include <cstring>

LogChannel* g_pConsoleLog = nullptr;
LogChannel* g_pFileLog = nullptr;
GarbageCollector g_garbageCollector;

namespace {
const char* const kStartBanner = "=========== LOG start ===========\n";
const char* const kEndBanner = "=========== LOG end ===========\n";
int g_failGuarded = 0; // guarded allocations still to fail (tests)
}

LogChannel::LogChannel() : myStream(stdout), myCrlf(false), myOwned(true)
{
    writeText(kStartBanner);
}

LogChannel::LogChannel(const char* fileName)
    : myStream(std::fopen(fileName, "wb")), myCrlf(true), myOwned(true)
{
    writeText(kStartBanner);
}

LogChannel::LogChannel(FILE* stream, bool crlf) : myStream(stream), myCrlf(crlf), myOwned(false)
{
    writeText(kStartBanner);
}

LogChannel::~LogChannel()
{
    writeText(kEndBanner);
    if (myStream && myOwned)
        std::fclose(myStream);
    myStream = nullptr;
}

void LogChannel::writeText(const char* text)
{
    if (!myStream || !text)
        return;
    if (!myCrlf) {
        std::fputs(text, myStream);
    } else {
        // The log files keep CR LF line ends on every platform: every line feed becomes CR LF.
        for (const char* p = text; *p; ++p) {
            if (*p == '\n')
                std::fputc('\r', myStream);
            std::fputc(*p, myStream);
        }
    }
    std::fflush(myStream);
}

LogChannel& LogChannel::operator<<(const char* text)
{
    writeText(text);
    return *this;
}

LogChannel& LogChannel::operator<<(int value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d ", value);
    writeText(buf);
    return *this;
}

LogChannel& LogChannel::operator<<(float value)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%f ", static_cast<double>(value));
    writeText(buf);
    return *this;
}

LogChannel& LogChannel::operator<<(const void* pointer)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "0x%p ", pointer);
    writeText(buf);
    return *this;
}

void reportAllocationFailure(const char* file, int line)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << "Allocating memory FAILED!" << "\n";
    if (g_pFileLog)
        *g_pFileLog << file << "\t" << line << "Allocating memory FAILED!" << "\n";
}

namespace {
NoteListener g_noteListener = nullptr; // sees every note
} // namespace

void setNoteListener(NoteListener listener)
{
    g_noteListener = listener;
}

void logNote(const char* file, int line, const char* text)
{
    logBoth(file, line, text);
    if (g_noteListener)
        g_noteListener(text);
}

void logBoth(const char* file, int line, const char* text)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << text;
    if (g_pFileLog)
        *g_pFileLog << file << "\t" << line << text;
}

void failNextGuardedAllocations(int n)
{
    g_failGuarded = n;
}

bool guardedAllocationShouldFail()
{
    if (g_failGuarded <= 0)
        return false;
    --g_failGuarded;
    return true;
}

GarbageCollector::~GarbageCollector()
{
    std::free(myRecords);
    myRecords = nullptr;
    myCount = 0;
    myCapacity = 0;
}

bool GarbageCollector::simulatedFailure()
{
    if (myFailCount <= 0)
        return false;
    --myFailCount;
    return true;
}

bool GarbageCollector::reserveOneMore()
{
    if (myCount < myCapacity)
        return true;
    // Doubling keeps a series of adds linear; records are plain data, so
    // realloc may move them.
    const uint32_t capacity = myCapacity ? myCapacity * 2 : 64;
    if (capacity <= myCapacity)
        return false;
    void* grown = std::realloc(myRecords, sizeof(AllocationRecord) * capacity);
    if (!grown)
        return false;
    myRecords = static_cast<AllocationRecord*>(grown);
    myCapacity = capacity;
    return true;
}

static void reportRegistryFailure(int line)
{
    if (g_pConsoleLog)
        *g_pConsoleLog << __FILE__ << ":" << line << "\tAllocating memory FAILED!" << "\n";
    if (g_pFileLog)
        *g_pFileLog << __FILE__ << ":" << line << "\tAllocating memory FAILED!" << "\n";
}

void GarbageCollector::add(const void* pointer, const char* file, int line, const char* name)
{
    if (simulatedFailure() || !reserveOneMore()) {
        reportRegistryFailure(__LINE__);
        return;
    }
    AllocationRecord& entry = myRecords[myCount];
    entry.pointer = pointer;
    entry.file = file;
    entry.line = line;
    entry.name = name;
    ++myCount;
}

void GarbageCollector::remove(const void* pointer)
{
    uint32_t match = myCount;
    while (match > 0 && myRecords[match - 1].pointer != pointer)
        --match;
    if (match == 0)
        return;
    --match;
    if (simulatedFailure()) {
        reportRegistryFailure(__LINE__);
        return;
    }
    std::memmove(myRecords + match, myRecords + match + 1, sizeof(AllocationRecord) * (myCount - match - 1));
    --myCount;
}

void GarbageCollector::report() const
{
    if (!g_pFileLog)
        return;
    LogChannel& log = *g_pFileLog;
    log << "\n" << "\n" << "---GARBAGE COLLECTOR---" << "\n";
    for (uint32_t i = 0; i < myCount; ++i) {
        const AllocationRecord& r = myRecords[i];
        log << r.name << "\t" << (r.file ? r.file : "") << "\t" << static_cast<int>(r.line) << "\t"
            << r.pointer << "\n";
    }
    log << "---GARBAGE COLLECTOR---" << "\n" << "\n";
}
