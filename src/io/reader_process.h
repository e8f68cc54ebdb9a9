// Reading with libraries written for trusted input, in a child process.
//
// ITK, GDCM and libtiff assert, divide by zero or loop on damaged files. A
// read through readInChild happens in a forked child: whatever a file does
// to a library there (a signal, an endless loop, memory without end) ends
// the child, and the program refuses the file with "PATH: the reader
// stopped (REASON)", its data on screen as they were. The child hands the
// VolumeFile back through a pipe; every field is checked on arrival and
// nothing is allocated that the memory at hand cannot back. The voxels are
// copied out of the child's memory, those it says are final while it reads
// on; voxels it says lie as stored in the file it was given are read from
// there by the parent, with plain reads and no library.
#ifndef GLIMRA_READER_PROCESS_H
#define GLIMRA_READER_PROCESS_H

#include "volume_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads into *out, or refuses with *why naming the file.
using ReadInto = std::function<bool(VolumeFile* out, std::string* why)>;

// Runs read in a child process and takes its VolumeFile over. False with
// *why: read's own refusal, or "PATH: the reader stopped (REASON)" when the
// child died, took too long or answered something malformed. *out then
// holds nothing. Where no child can be started, read runs here.
bool readInChild(const std::string& path, const ReadInto& read, VolumeFile* out, std::string* why);

// Reads time point timePoint of the file at path into *out, or refuses with *why.
using ReadRequest = std::function<bool(const std::string& path, size_t timePoint, VolumeFile* out, std::string* why)>;
// A reader forked ahead of its read: it waits for a path and then reads it
// with `read` as readInChild's child does. Forked when none waits (the
// program asks at idle, after a load), the next read skips the fork. One
// thread uses these at a time.
void prepareReaderChild(const ReadRequest& read);
// readInChild for read(path, timePoint, ...), in the reader that waits
// (forked now when none does). The reader waiting runs the read it was
// prepared with: callers use one read function.
bool readInStandby(const std::string& path, size_t timePoint, const ReadRequest& read, VolumeFile* out,
                   std::string* why);
// The process id of the reader that waits, 0 when none does; and the
// reader that waits ended.
int readerChildWaiting();
void dropReaderChild();

// Seconds a child may take before it is stopped: this base (60 unless
// changed) and one more for every 50 MB of the file or folder read.
void setReaderTimeLimit(double seconds);

// The environment under which glibc's malloc asks for large pages for its
// large blocks (the volumes and the textures the GL driver keeps): the
// value GLIBC_TUNABLES should have given its value now (null when unset),
// or "" when it has the setting already. A reader's fork then copies the
// page tables of a fraction of the pages: with 2 GB held, 13 ms instead of
// 55 ms a read.
std::string largePageTunables(const char* current);
// Starts the program again (the same executable and arguments) under
// largePageTunables, unless it runs so already, the system gives no large
// pages, GLIMRA_SMALL_PAGES is set or the program is built with a
// sanitizer's allocator. Returns only when it does not restart.
void restartWithLargePages(char** argv);
// Whether glibc's malloc runs with that setting.
bool runsWithLargePages();
// Test hook run in the child before it reads (null: none).
extern void (*readerChildHook)();
// Told by a reader inside the child how many bytes the file declares: the
// child's address space is then held to what it has, three times that and
// 256 MB besides (never more than the memory at hand). Nothing outside a
// child.
void readerDeclaredBytes(uint64_t bytes);
// Told by a reader inside the child, just before it reads the voxels, how
// many bytes the volume it hands back will take: the parent makes room for
// them while the child reads. Nothing outside a child.
void readerExpectsBytes(uint64_t bytes);
// Told by a reader inside the child, after readerExpectsBytes, that the
// first `bytes` bytes at buffer, the voxels it will hand back, are final:
// nothing writes them again. The parent copies them while the reader goes
// on, and only the rest once the answer has come. Told in rising order,
// always of the same buffer; what does not fit (another buffer, fewer
// bytes than before, more than expected) ends the early copying and all
// the voxels are taken when the answer comes. Nothing outside a child.
void readerVoxelsFinal(const void* buffer, uint64_t bytes);
// Told by a reader inside the child, after readerExpectsBytes and before it
// reads into buffer, that the voxels it would read lie as stored from
// offset on in file, the file readInChild was given: true when the parent
// has read them from there itself, and the reader then hands buffer back
// without reading into it; false (outside a child, for another file, one
// that does not hold them, or without room prepared) when it reads them.
bool readerVoxelsInFile(const void* buffer, const std::string& file, uint64_t offset);

// ---- The answer on the pipe (public for tests and fuzzing) ----

// Writes exactly n bytes; false when that failed.
using WriteAll = std::function<bool(const void* bytes, size_t n)>;
// Reads exactly n bytes into bytes; false at the end or on a failure.
using ReadAll = std::function<bool(void* bytes, size_t n)>;

// The voxels travel one of two ways: the child sends their address and
// waits, and the parent copies them straight out of the child's memory
// where the system lets it; otherwise the parent asks for them on the pipe.
// Child side: asked after the address is sent; true when the parent wants
// the voxels on the pipe. Without it they always follow.
using AskForVoxels = std::function<bool()>;
// Parent side: copies n bytes at the child's address into to; false when it
// could not (the voxels then come on the pipe). Without it they always do.
using FetchVoxels = std::function<bool(void* to, uint64_t address, size_t n)>;
// Parent side: a registered voxel buffer of exactly n bytes made ready
// while the child read, or null (one is then allocated); *ready tells how
// many of its first bytes already hold the child's voxels at address.
using TakeBuffer = std::function<void*(size_t n, uint64_t address, size_t* ready)>;

// Writes the answer: the volume when ok, else the refusal why.
bool writeReaderAnswer(const WriteAll& write, bool ok, const VolumeFile& volume, const std::string& why,
                       const AskForVoxels& ask = {});

// What an answer turned out to be.
enum class ReaderAnswer
{
    Volume,   // *out holds the volume
    Refusal,  // *text holds the reader's refusal
    Malformed // *text says what was wrong; *out holds nothing
};
// Reads and checks an answer; the voxels are allocated only after the
// header has been found sound and their size fits availableBytes.
ReaderAnswer readReaderAnswer(const ReadAll& read, uint64_t availableBytes, VolumeFile* out, std::string* text,
                              const FetchVoxels& fetch = {}, const TakeBuffer& take = {});

#endif
