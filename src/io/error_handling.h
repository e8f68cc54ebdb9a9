// Log channels, the allocation registry and the guarded allocation.
//
// Two channels exist: g_pConsoleLog on standard output and g_pFileLog on
// "log.txt". Every allocation the program keeps is registered with
// g_garbageCollector so that the shutdown report lists what was never freed.
#ifndef GLIMRA_ERROR_HANDLING_H
#define GLIMRA_ERROR_HANDLING_H

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <new>

// One output stream with stream-style insertion; every item is flushed at once.
class LogChannel
{
public:
    // Standard output, start banner written.
    LogChannel();
    // A file opened for writing (truncated), start banner written. Line feeds
    // are written as CR LF so the file matches on every platform.
    explicit LogChannel(const char* fileName);
    // An already open stream, not owned (tests); crlf selects the line ends.
    LogChannel(FILE* stream, bool crlf);
    // Writes the end banner and closes the stream.
    ~LogChannel();

    LogChannel& operator<<(const char* text);
    LogChannel& operator<<(int value);
    LogChannel& operator<<(float value);
    LogChannel& operator<<(double value) { return *this << static_cast<float>(value); }
    LogChannel& operator<<(const void* pointer);

    FILE* stream() const { return myStream; }

private:
    void writeText(const char* text);

    FILE* myStream = nullptr; // the open stream, null when the file could not be opened
    bool myCrlf = false;      // translate "\n" into "\r\n"
    bool myOwned = true;      // close the stream on destruction
};

// One live allocation.
struct AllocationRecord
{
    const void* pointer = nullptr;  // the registered allocation, the key
    const char* file = nullptr;     // source path of the allocation site (not copied)
    int32_t line = 0;               // source line of the allocation site
    const char* name = "undefined"; // the variable expression at the site (not copied)
};

// The registry of live allocations, in registration order.
//
// Adding appends to an array that grows by doubling; removing searches from
// the newest entry back and closes the gap, so an allocation released soon
// after it was made (or the last of a series released first) costs little.
class GarbageCollector
{
public:
    GarbageCollector() = default;
    ~GarbageCollector();
    GarbageCollector(const GarbageCollector&) = delete;
    GarbageCollector& operator=(const GarbageCollector&) = delete;

    void add(const void* pointer, const char* file, int line, const char* name);
    // Drops the most recent entry for pointer; silent when there is none.
    void remove(const void* pointer);
    // Writes the leftover list to the file channel.
    void report() const;

    uint32_t count() const { return myCount; }
    const AllocationRecord& record(uint32_t i) const { return myRecords[i]; }
    // Test hook: the next n adds and removes find no memory for the registry
    // and leave it as it was.
    void failNextAllocations(int n) { myFailCount = n; }

private:
    // Room for one more entry; false when the array could not grow.
    bool reserveOneMore();
    bool simulatedFailure();

    AllocationRecord* myRecords = nullptr; // myCapacity entries, the first myCount in use
    uint32_t myCount = 0;                  // number of entries
    uint32_t myCapacity = 0;               // entries the array holds
    int myFailCount = 0;                   // changes still to fail (tests)
};

extern LogChannel* g_pConsoleLog;
extern LogChannel* g_pFileLog;
extern GarbageCollector g_garbageCollector;

// "Allocating memory FAILED!" on both channels, with the site on the file channel.
void reportAllocationFailure(const char* file, int line);

// Writes text to both channels (file channel first with the site).
void logBoth(const char* file, int line, const char* text);
// A note about the data a user of the picture needs (the byte order chosen,
// a short raw file, other series beside a DICOM file, values converted):
// logged as logBoth does, and handed to the note listener when one is set.
void logNote(const char* file, int line, const char* text);
// A function that sees every note as well (glimra-render prints them on
// standard error); null for none.
using NoteListener = void (*)(const char* text);
void setNoteListener(NoteListener listener);

// Test hook: the next n guarded allocations fail as if memory were exhausted.
void failNextGuardedAllocations(int n);
bool guardedAllocationShouldFail();

// Guarded allocation of one object: holder = new T(args), reported on failure,
// registered under the text of the holder expression.
#define GUARDED_NEW(holder, T, ...)                                                     \
    do {                                                                                \
        (holder) = guardedAllocationShouldFail() ? nullptr : new (std::nothrow) T(__VA_ARGS__); \
        if (!(holder)) reportAllocationFailure(__FILE__, __LINE__);                     \
        g_garbageCollector.add((holder), __FILE__, __LINE__, #holder);                  \
    } while (0)

// Guarded array allocation: holder = new T[n] (uninitialised for plain types).
#define GUARDED_ARRAY(holder, T, n)                                                     \
    do {                                                                                \
        (holder) = guardedAllocationShouldFail() ? nullptr : new (std::nothrow) T[(n)]; \
        if (!(holder)) reportAllocationFailure(__FILE__, __LINE__);                     \
        g_garbageCollector.add((holder), __FILE__, __LINE__, #holder);                  \
    } while (0)

// The same with an explicit registry name, for entries whose name in the
// leftover report differs from the expression this code allocates into.
#define GUARDED_ARRAY_AS(holder, name, T, n)                                            \
    do {                                                                                \
        (holder) = guardedAllocationShouldFail() ? nullptr : new (std::nothrow) T[(n)]; \
        if (!(holder)) reportAllocationFailure(__FILE__, __LINE__);                     \
        g_garbageCollector.add((holder), __FILE__, __LINE__, name);                     \
    } while (0)

#define GUARDED_NEW_AS(holder, name, T, ...)                                            \
    do {                                                                                \
        (holder) = guardedAllocationShouldFail() ? nullptr : new (std::nothrow) T(__VA_ARGS__); \
        if (!(holder)) reportAllocationFailure(__FILE__, __LINE__);                     \
        g_garbageCollector.add((holder), __FILE__, __LINE__, name);                     \
    } while (0)

// Release: unregister, free, clear the holder.
#define RELEASE(holder)                                                                 \
    do {                                                                                \
        g_garbageCollector.remove(holder);                                              \
        delete (holder);                                                                \
        (holder) = nullptr;                                                             \
    } while (0)

#define RELEASE_ARRAY(holder)                                                           \
    do {                                                                                \
        g_garbageCollector.remove(holder);                                              \
        delete[] (holder);                                                              \
        (holder) = nullptr;                                                             \
    } while (0)

#endif
