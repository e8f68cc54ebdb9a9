#include "reader_process.h"

#include "error_handling.h"
#include "file_facts.h"
#include "parallel.h"
#include "system_memory.h"
#include "voxel_buffer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

void (*readerChildHook)() = nullptr;

namespace {

// What an answer may carry.
const char kMagic[8] = {'G', 'L', 'R', 'D', 'A', 'N', 'S', '1'};
const uint32_t kKindVolume = 1, kKindRefusal = 2;
const uint32_t kEndMark = 0x21444e45; // "END!"
const int kMaxAxis = 1 << 20;
const int kMaxBands = 1024;
const uint32_t kMaxInfo = 4u << 20;
const uint32_t kMaxRefusal = 64u << 10;

double g_timeLimit = 60.0;
// Set in a child only: the address space it had when it began reading.
bool g_inChild = false;
uint64_t g_childBase = 0;
// Set in a child only: where it tells the parent the size of its volume,
// and once that is told, which of its voxels are final (the reply socket).
int g_sizeFd = -1;
int g_progressFd = -1;
// Set in a child only: its end of the reply socket, and the parent's first
// byte on it ('R': a thread of the parent answers what the child tells of
// its voxels; -2 until read).
int g_ackFd = -1;
int g_parentSays = -2;

// What a child tells of its voxels on the reply socket after their size,
// as words of four numbers: kind, address of the voxels in the child, a
// value, and for kWordInFile the length of the file name that follows.
const uint64_t kWordFinal = 1;  // value: bytes from the address on that are final
const uint64_t kWordInFile = 2; // value: offset in the file where the voxels lie as stored
const uint64_t kMaxWordName = 4096;

// The fixed fields of a volume answer.
struct VolumeHeader
{
    int32_t type;
    int32_t resolution[3];
    float spacing[3];
    int32_t bands;
    uint8_t bandMajor;
    uint8_t bigEndianValues;
    uint8_t oriented; // the file said how the volume lies
    uint8_t unused[5];
    uint64_t ratioAt; // UINT64_MAX for none
    uint32_t infoBytes;
    uint32_t timePoints; // volumes in the file (0 counts as 1)
    float direction[9];  // where the axes point (VolumeFile)
    uint32_t reserved;   // 0
};
static_assert(sizeof(VolumeHeader) == 96, "no padding in the header");

// Bytes of the voxels a header describes; false when that overflows.
bool voxelBytes(const VolumeHeader& h, uint64_t* bytes)
{
    uint64_t n = static_cast<uint64_t>(bytesOfVoxelType(static_cast<VoxelType>(h.type))) *
                 static_cast<uint64_t>(h.bands);
    for (int a = 0; a < 3; ++a) {
        const uint64_t r = static_cast<uint64_t>(h.resolution[a]);
        if (n > UINT64_MAX / r)
            return false;
        n *= r;
    }
    *bytes = n;
    return n <= SIZE_MAX;
}

// What is wrong with a header, "" when nothing.
std::string headerFault(const VolumeHeader& h)
{
    if (!isVoxelType(static_cast<VoxelType>(h.type)))
        return "unknown voxel type " + std::to_string(h.type);
    for (int a = 0; a < 3; ++a) {
        if (h.resolution[a] < 1 || h.resolution[a] > kMaxAxis)
            return "resolution " + std::to_string(h.resolution[a]) + " out of range";
        if (!std::isfinite(h.spacing[a]) || !(h.spacing[a] > 0.0f))
            return "spacing out of range";
    }
    if (h.bands < 1 || h.bands > kMaxBands)
        return std::to_string(h.bands) + " bands out of range";
    if (h.bandMajor > 1 || h.bigEndianValues > 1 || h.oriented > 1)
        return "flags out of range";
    for (uint8_t b : h.unused)
        if (b != 0)
            return "reserved bytes set";
    if (h.reserved != 0)
        return "reserved bytes set";
    for (float d : h.direction)
        if (!std::isfinite(d) || std::fabs(d) > 1.5f)
            return "direction out of range";
    if (h.infoBytes > kMaxInfo)
        return "information text of " + std::to_string(h.infoBytes) + " bytes";
    if (h.ratioAt != UINT64_MAX && h.ratioAt > h.infoBytes)
        return "ratio position beyond the information text";
    return "";
}

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

// Text of `n` bytes off the pipe.
bool readText(const ReadAll& read, uint32_t n, std::string* text)
{
    text->assign(n, '\0');
    return n == 0 || read(&(*text)[0], n);
}

// Bytes of a file, or of the regular files directly in a folder.
uint64_t inputBytes(const std::string& path)
{
    uint64_t size = 0;
    return isDirectory(path) ? folderBytes(path) : fileSize(path, &size) ? size : 0;
}

// Large pages for a large destination: a fraction of the page faults.
void adviseLargePages(void* p, size_t n)
{
    const uintptr_t huge = 2u << 20, begin = (reinterpret_cast<uintptr_t>(p) + huge - 1) & ~(huge - 1),
                    end = (reinterpret_cast<uintptr_t>(p) + n) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Moves n bytes in as many calls of step(done) as it takes: each returns
// the bytes it moved from `done` on, 0 at an end, or -1 with errno (EINTR
// tries again). False when it ends early.
template <typename Step> bool moveAll(size_t n, const Step& step)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t r = step(done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// n bytes at address in process pid into to; false when the system does
// not let this process read the child's memory.
bool copyRange(pid_t pid, void* to, uint64_t address, size_t n)
{
    return moveAll(n, [&](size_t done) {
        iovec local = {static_cast<char*>(to) + done, n - done};
        iovec remote = {reinterpret_cast<void*>(static_cast<uintptr_t>(address + done)), n - done};
        return process_vm_readv(pid, &local, 1, &remote, 1, 0);
    });
}

// As copyRange, in slabs on every core.
bool copyFromChild(pid_t pid, void* to, uint64_t address, size_t n)
{
    std::atomic<bool> ok(true);
    forEachSlab(
        static_cast<long>(n),
        [&](int, long begin, long end) {
            if (!copyRange(pid, static_cast<char*>(to) + begin, address + static_cast<uint64_t>(begin),
                           static_cast<size_t>(end - begin)))
                ok = false;
        },
        0, 16L << 20);
    return ok;
}

// Holds the child's address space to what it has and `more` besides.
void limitAddressSpace(uint64_t base, uint64_t more)
{
    if (base == 0 || more == 0)
        return;
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) != 0)
        return;
    const rlim_t wanted = static_cast<rlim_t>(std::min<uint64_t>(base + more, RLIM_INFINITY - 1));
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
        return; // only ever lowered
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_AS, &limit);
}

// One byte from the other end of a socket; -1 at its end.
int byteFrom(int fd)
{
    char c = 0;
    ssize_t r;
    while ((r = ::read(fd, &c, 1)) < 0 && errno == EINTR) {
    }
    return r == 1 ? static_cast<unsigned char>(c) : -1;
}

// Sends all n bytes; false when that failed.
bool sendAll(int fd, const void* bytes, size_t n)
{
    const char* p = static_cast<const char*>(bytes);
    return moveAll(n, [&](size_t done) { return ::send(fd, p + done, n - done, MSG_NOSIGNAL); });
}

// In a child: whether a thread of the parent answers what it tells.
bool parentListens()
{
    if (g_parentSays == -2)
        g_parentSays = byteFrom(g_ackFd);
    return g_parentSays == 'R';
}

// The child: reads, answers on fd and ends without running the parent's
// exit handlers.
[[noreturn]] void runChild(int fd, int ackFd, const ReadInto& read)
{
    // A library's crash ends the child by its signal, which the parent
    // names, rather than through a handler of the parent's.
    for (int sig : {SIGFPE, SIGSEGV, SIGBUS, SIGILL, SIGABRT, SIGTRAP, SIGPIPE})
        std::signal(sig, SIG_DFL);
#if defined(__SANITIZE_ADDRESS__)
    // A sanitizer's report of a library's fault ends this child as any
    // crash does; it goes to a file of its own (TMPDIR/glimra-reader.PID),
    // not among the program's reports.
    const char* tmp = std::getenv("TMPDIR");
    __sanitizer_set_report_path(((tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/glimra-reader").c_str());
#endif
    g_inChild = true;
    g_sizeFd = ackFd;
    g_ackFd = ackFd;
    g_childBase = addressSpaceInUse();
    if (const uint64_t available = availableMemory())
        limitAddressSpace(g_childBase, available + (256ull << 20));
    if (readerChildHook)
        readerChildHook();
    VolumeFile volume;
    std::string why;
    bool ok = false;
    try {
        ok = read(&volume, &why);
    } catch (const std::exception& e) {
        why = std::string("the reader failed: ") + e.what();
    } catch (...) {
        why = "the reader failed";
    }
    const WriteAll write = [fd](const void* bytes, size_t n) {
        const char* p = static_cast<const char*>(bytes);
        return moveAll(n, [&](size_t done) { return ::write(fd, p + done, std::min<size_t>(n - done, 1u << 30)); });
    };
    // After the address of the voxels: one byte from the parent (after its
    // first), 'S' to send them on the pipe; the socket's end when it has
    // copied them.
    const AskForVoxels ask = [ackFd] {
        parentListens();
        return byteFrom(ackFd) == 'S';
    };
    const bool written = writeReaderAnswer(write, ok, volume, why, ask);
    _exit(written ? 0 : 3);
}

// Reading the pipe against a deadline.
struct PipeReader
{
    int fd;
    std::chrono::steady_clock::time_point deadline;
    bool timedOut = false;

    bool operator()(void* bytes, size_t n)
    {
        char* p = static_cast<char*>(bytes);
        while (n > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                return false;
            }
            pollfd pfd = {fd, POLLIN, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            const ssize_t r = ::read(fd, p, std::min<size_t>(n, 1u << 30));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
};

// Room for the voxels, made while the child reads: a thread waits for the
// size the child expects, allocates that many bytes and touches every page,
// so that the page faults of the copy's destination overlap the reading.
// Then it answers what the child tells of its voxels: ranges it says are
// final are copied out of it as they come, so that only the last of them
// are left to copy after the answer; voxels it says lie as stored in the
// file being read are read from there, and the child reads nothing.
class Room
{
public:
    // Listens on fd (the parent's end of the reply socket) of child pid
    // reading path; sizes above limit are not believed.
    Room(int fd, pid_t pid, const std::string& path, uint64_t limit)
        : myFd(fd), myPid(pid), myPath(path), myLimit(limit)
    {
        try {
            myThread = std::thread([this] { run(); });
        } catch (...) {
        }
    }
    ~Room()
    {
        stop();
        std::free(myBuffer);
    }
    // Whether the thread runs: only then is anything the child tells of
    // its voxels answered.
    bool started() const { return myThread.joinable(); }
    // The buffer, registered as the pipeline's buffers are, when it holds
    // exactly n bytes; null otherwise. *ready: how many of its first bytes
    // hold the voxels at address in the child.
    void* take(size_t n, uint64_t address, size_t* ready)
    {
        stop();
        *ready = 0;
        if (!myBuffer || myBytes != n)
            return nullptr;
        if (myHolds && myAddress == address && myCopied <= n)
            *ready = myCopied;
        void* p = myBuffer;
        myBuffer = nullptr;
        g_garbageCollector.add(p, __FILE__, __LINE__, "tmpdata");
        return p;
    }

    // Ends the wait for the child's word and the thread; before the socket
    // is closed and before the child is waited for.
    void stop()
    {
        if (!myThread.joinable())
            return;
        myStop = true;
        shutdown(myFd, SHUT_RD);
        myThread.join();
    }
private:
    // Whether the child has said something not yet received.
    bool wordWaiting()
    {
        pollfd pfd = {myFd, POLLIN, 0};
        return poll(&pfd, 1, 0) > 0;
    }

    bool receive(void* bytes, size_t n)
    {
        ssize_t r;
        while ((r = recv(myFd, bytes, n, MSG_WAITALL)) < 0 && errno == EINTR) {
        }
        return r == static_cast<ssize_t>(n);
    }

    // The thread: the size, the allocation, a touch of every page, then
    // the child's word until the answer comes. A size not believed or not
    // had leaves no room, and the word is still answered.
    void run()
    {
        uint64_t n = 0;
        if (!receive(&n, sizeof n))
            return;
        if (n != 0 && n <= myLimit && n <= SIZE_MAX / 2) {
            if (char* p = static_cast<char*>(std::calloc(static_cast<size_t>(n), 1))) {
                adviseLargePages(p, static_cast<size_t>(n));
                // Until the child has a word: then the copy's own faults
                // overlap whatever the child does next.
                for (size_t at = 0; at < n && !myStop; at += 4096)
                    if ((at & ((8u << 20) - 1)) != 0 || !wordWaiting())
                        p[at] = 0;
                    else
                        break;
                myBuffer = p;
                myBytes = static_cast<size_t>(n);
            }
        }
        uint64_t word[4];
        while (!myStop && receive(word, sizeof word)) {
            if (word[0] == kWordFinal) {
                follow(word[1], word[2]);
            } else if (word[0] == kWordInFile && word[3] <= kMaxWordName) {
                std::string name(static_cast<size_t>(word[3]), '\0');
                if (!name.empty() && !receive(&name[0], name.size()))
                    return;
                const char reply = readFile(word[1], name, word[2]) ? 'Y' : 'N';
                if (send(myFd, &reply, 1, MSG_NOSIGNAL) != 1)
                    return;
            } else {
                return; // nothing the child says makes sense any more
            }
        }
    }

    // Ends what the room holds of the child's voxels for good.
    void forget()
    {
        myHolds = false;
        myDone = true;
        myCopied = 0;
    }

    // The child says the bytes up to `final` from address on are final:
    // those not yet here are copied. Another address, fewer bytes than
    // before, more than the room or a copy that fails ends the following.
    void follow(uint64_t address, uint64_t final)
    {
        const size_t kStep = 8u << 20; // a stop waits for no more than this
        if (!myBuffer || myDone)
            return;
        if (!myHolds) {
            myAddress = address;
            myHolds = true;
        }
        if (address != myAddress || final < myCopied || final > myBytes) {
            forget();
            return;
        }
        char* p = static_cast<char*>(myBuffer);
        while (myCopied < final && !myStop) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(final - myCopied, kStep));
            if (!copyRange(myPid, p + myCopied, myAddress + myCopied, n)) {
                forget();
                return;
            }
            myCopied += n;
        }
    }

    // The child says all its voxels, at address in it, lie as stored from
    // offset on in the file it reads: they are read from there when that
    // is the file this room was made for and it holds them. True when all
    // are here; the child then reads nothing.
    bool readFile(uint64_t address, const std::string& name, uint64_t offset)
    {
        if (!myBuffer || myDone || myHolds || name != myPath)
            return false;
        const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat st;
        bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && offset <= static_cast<uint64_t>(st.st_size) &&
                  static_cast<uint64_t>(st.st_size) - offset >= myBytes;
        char* p = static_cast<char*>(myBuffer);
        // In steps of 8 MB: a stop waits for no more than one.
        ok = ok && moveAll(myBytes, [&](size_t done) -> ssize_t {
                 return myStop ? 0
                               : pread(fd, p + done, std::min<size_t>(myBytes - done, 8u << 20),
                                       static_cast<off_t>(offset + done));
             });
        if (ok) {
            myHolds = true;
            myAddress = address;
            myCopied = myBytes;
        }
        close(fd);
        if (!myHolds)
            forget();
        return myHolds;
    }

    int myFd;                        // the parent's end of the reply socket
    pid_t myPid;                     // the child
    std::string myPath;              // the file or folder it reads
    uint64_t myLimit;                // the most bytes believed
    std::atomic<bool> myStop{false}; // the parent needs no more room
    std::thread myThread;            // waits, allocates, touches, copies
    void* myBuffer = nullptr;        // the room, until taken
    size_t myBytes = 0;              // its size
    bool myHolds = false;            // myCopied bytes of the child's voxels at myAddress are here
    bool myDone = false;             // the child's word is no longer followed
    uint64_t myAddress = 0;          // of the voxels in the child
    size_t myCopied = 0;             // the first bytes of them here
};

// Why a child that gave no sound answer stopped.
std::string stopReason(int status, bool timedOut, double limit, const std::string& fault)
{
    if (timedOut)
        return "no answer within " + std::to_string(static_cast<long long>(std::ceil(limit))) + " s";
    if (WIFSIGNALED(status)) {
        const char* name = strsignal(WTERMSIG(status));
        return name ? name : "signal " + std::to_string(WTERMSIG(status));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return "exit status " + std::to_string(WEXITSTATUS(status));
    return fault;
}

} // namespace

bool runsWithLargePages()
{
    const char* now = std::getenv("GLIBC_TUNABLES");
    return now && std::strstr(now, "glibc.malloc.hugetlb=1") != nullptr;
}

std::string largePageTunables(const char* current)
{
    const std::string setting = "glibc.malloc.hugetlb=";
    const std::string now = current ? current : "";
    if (now.find(setting) != std::string::npos)
        return "";
    return now.empty() ? setting + "1" : now + ":" + setting + "1";
}

void restartWithLargePages(char** argv)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    (void)argv;
    return;
#else
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    (void)argv;
    return;
#endif
#endif
    if (!argv || !argv[0] || std::getenv("GLIMRA_SMALL_PAGES"))
        return;
    const std::string tunables = largePageTunables(std::getenv("GLIBC_TUNABLES"));
    if (tunables.empty())
        return;
    // "[never]" in the system's setting: no large pages to ask for.
    FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (!f)
        return;
    char mode[128] = {};
    const bool read = std::fgets(mode, sizeof mode, f) != nullptr;
    std::fclose(f);
    if (!read || std::strstr(mode, "[never]"))
        return;
    // The executable by its own name (the process keeps that name).
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    self[n] = '\0';
    // Once only: the restarted program finds the setting and goes on.
    if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0)
        return;
    std::fflush(nullptr);
    execv(self, argv);
#endif
}

void setReaderTimeLimit(double seconds)
{
    g_timeLimit = seconds > 0.0 ? seconds : 60.0;
}

void readerExpectsBytes(uint64_t bytes)
{
    if (!g_inChild || g_sizeFd < 0)
        return;
    // Once: the size of the volume handed back, not of every part read.
    g_progressFd = sendAll(g_sizeFd, &bytes, sizeof bytes) ? g_sizeFd : -1;
    g_sizeFd = -1;
}

void readerVoxelsFinal(const void* buffer, uint64_t bytes)
{
    if (!g_inChild || g_progressFd < 0)
        return;
    const uint64_t word[4] = {kWordFinal, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer)), bytes, 0};
    if (!sendAll(g_progressFd, word, sizeof word))
        g_progressFd = -1;
}

bool readerVoxelsInFile(const void* buffer, const std::string& file, uint64_t offset)
{
    if (!g_inChild || g_progressFd < 0 || file.size() > kMaxWordName || !parentListens())
        return false;
    const uint64_t word[4] = {kWordInFile, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer)), offset,
                              file.size()};
    if (!sendAll(g_progressFd, word, sizeof word) || !sendAll(g_progressFd, file.data(), file.size())) {
        g_progressFd = -1;
        return false;
    }
    return byteFrom(g_progressFd) == 'Y';
}

void readerDeclaredBytes(uint64_t bytes)
{
    if (!g_inChild)
        return;
    const uint64_t more = bytes > (UINT64_MAX - (256ull << 20)) / 3 ? UINT64_MAX / 2 : 3 * bytes + (256ull << 20);
    limitAddressSpace(g_childBase, more);
}

bool writeReaderAnswer(const WriteAll& write, bool ok, const VolumeFile& volume, const std::string& why,
                       const AskForVoxels& ask)
{
    if (!write(kMagic, sizeof kMagic))
        return false;
    if (!ok || !volume.data) {
        const std::string text = why.substr(0, kMaxRefusal);
        const uint32_t kind = kKindRefusal, n = static_cast<uint32_t>(text.size());
        return write(&kind, sizeof kind) && write(&n, sizeof n) && write(text.data(), n) &&
               write(&kEndMark, sizeof kEndMark);
    }
    VolumeHeader h;
    std::memset(&h, 0, sizeof h);
    h.type = static_cast<int32_t>(volume.type);
    for (int a = 0; a < 3; ++a) {
        h.resolution[a] = volume.resolution[a];
        h.spacing[a] = volume.spacing[a];
    }
    h.bands = volume.bands;
    h.bandMajor = volume.bandMajor ? 1 : 0;
    h.bigEndianValues = volume.bigEndianValues ? 1 : 0;
    h.oriented = volume.oriented ? 1 : 0;
    std::memcpy(h.direction, volume.direction, sizeof h.direction);
    h.ratioAt = volume.ratioAt == std::string::npos ? UINT64_MAX : static_cast<uint64_t>(volume.ratioAt);
    h.infoBytes = static_cast<uint32_t>(std::min<size_t>(volume.info.size(), kMaxInfo));
    h.timePoints = static_cast<uint32_t>(std::min<size_t>(volume.timePoints, UINT32_MAX));
    uint64_t bytes = 0;
    if (!headerFault(h).empty() || !voxelBytes(h, &bytes))
        return false;
    const uint32_t kind = kKindVolume;
    const uint64_t address = reinterpret_cast<uintptr_t>(volume.data);
    if (!write(&kind, sizeof kind) || !write(&h, sizeof h) || !write(volume.info.data(), h.infoBytes) ||
        !write(&bytes, sizeof bytes) || !write(&address, sizeof address))
        return false;
    if (ask && !ask())
        return true; // copied by the parent (or nobody is listening)
    return write(volume.data, static_cast<size_t>(bytes)) && write(&kEndMark, sizeof kEndMark);
}

ReaderAnswer readReaderAnswer(const ReadAll& read, uint64_t availableBytes, VolumeFile* out, std::string* text,
                              const FetchVoxels& fetch, const TakeBuffer& take)
{
    out->release();
    char magic[sizeof kMagic];
    uint32_t kind = 0;
    if (!read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 || !read(&kind, sizeof kind)) {
        *text = "no answer";
        return ReaderAnswer::Malformed;
    }
    uint32_t end = 0;
    if (kind == kKindRefusal) {
        uint32_t n = 0;
        if (!read(&n, sizeof n) || n > kMaxRefusal || !readText(read, n, text) || !read(&end, sizeof end) ||
            end != kEndMark) {
            *text = "a malformed refusal";
            return ReaderAnswer::Malformed;
        }
        return ReaderAnswer::Refusal;
    }
    VolumeHeader h;
    if (kind != kKindVolume || !read(&h, sizeof h)) {
        *text = "a malformed answer";
        return ReaderAnswer::Malformed;
    }
    const std::string fault = headerFault(h);
    uint64_t bytes = 0, sent = 0;
    if (!fault.empty() || !voxelBytes(h, &bytes)) {
        *text = "a malformed answer: " + (fault.empty() ? std::string("too many voxels") : fault);
        return ReaderAnswer::Malformed;
    }
    std::string info;
    uint64_t address = 0;
    if (!readText(read, h.infoBytes, &info) || !read(&sent, sizeof sent) || sent != bytes ||
        !read(&address, sizeof address)) {
        *text = "a malformed answer: the voxels are not as the header says";
        return ReaderAnswer::Malformed;
    }
    if (availableBytes != 0 && bytes > availableBytes) {
        *text = "its volume of " + megabytes(bytes) + " is more than the " + megabytes(availableBytes) + " at hand";
        return ReaderAnswer::Malformed;
    }
    // The first `ready` bytes may have been copied while the child read.
    size_t ready = 0;
    out->data = take ? take(static_cast<size_t>(bytes), address, &ready) : nullptr;
    if (!out->data || ready > bytes)
        ready = 0;
    if (!out->data)
        GUARDED_VOXELS_AS(out->data, "tmpdata", static_cast<size_t>(bytes));
    if (!out->data) {
        *text = "no memory for its volume of " + megabytes(bytes);
        return ReaderAnswer::Malformed;
    }
    adviseLargePages(out->data, static_cast<size_t>(bytes));
    const bool copied = fetch && fetch(static_cast<char*>(out->data) + ready, address + ready,
                                       static_cast<size_t>(bytes) - ready);
    if (!copied && (!read(out->data, static_cast<size_t>(bytes)) || !read(&end, sizeof end) || end != kEndMark)) {
        out->release();
        *text = "a malformed answer: the voxels end early";
        return ReaderAnswer::Malformed;
    }
    out->type = static_cast<VoxelType>(h.type);
    for (int a = 0; a < 3; ++a) {
        out->resolution[a] = h.resolution[a];
        out->spacing[a] = h.spacing[a];
    }
    out->bands = h.bands;
    out->bandMajor = h.bandMajor != 0;
    out->bigEndianValues = h.bigEndianValues != 0;
    out->oriented = h.oriented != 0;
    std::memcpy(out->direction, h.direction, sizeof out->direction);
    out->timePoints = h.timePoints == 0 ? 1 : h.timePoints;
    out->info = std::move(info);
    out->ratioAt = h.ratioAt == UINT64_MAX ? std::string::npos : static_cast<size_t>(h.ratioAt);
    return ReaderAnswer::Volume;
}

namespace {

// What the parent keeps of a forked reader.
struct ChildEnds
{
    pid_t pid = -1; // the child
    int answer = -1; // the read end of its answer pipe
    int ack = -1;    // the parent's end of the reply socket
};

// Forks a child that runs body(answer pipe, reply socket) and ends; `keep`
// (-1 for none) is closed in the child. False when nothing was forked.
bool forkReader(const std::function<void(int, int)>& body, int keep, ChildEnds* ends)
{
    int fds[2], ack[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // The parent's reply goes on a socket: a send to a child that has died
    // fails with EPIPE instead of raising SIGPIPE here.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ack) != 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    // Larger writes per wake-up for the voxels; the default works too.
    fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    std::fflush(nullptr); // nothing buffered is written twice
    const pid_t pid = fork();
    if (pid < 0) {
        for (int f : {fds[0], fds[1], ack[0], ack[1]})
            close(f);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        close(ack[1]);
        if (keep >= 0)
            close(keep);
        body(fds[1], ack[0]);
        _exit(0);
    }
    close(fds[1]);
    close(ack[0]);
    *ends = {pid, fds[0], ack[1]};
    return true;
}

// The answer of a forked reader of path, as readInChild takes it.
bool collectAnswer(const std::string& path, const ChildEnds& ends, VolumeFile* out, std::string* why);

// A reader forked ahead of its read, waiting for the path on `request`.
struct Standby
{
    ChildEnds ends;    // as any reader's
    int request = -1;  // the parent's end of the request socket
};
Standby g_standby;

// Reads n bytes from fd (a socket), false when it ends first.
bool receiveAll(int fd, void* bytes, size_t n)
{
    char* p = static_cast<char*>(bytes);
    return moveAll(n, [&](size_t done) { return ::read(fd, p + done, n - done); });
}

const uint32_t kMaxRequestPath = 64u << 10;

} // namespace

bool readInChild(const std::string& path, const ReadInto& read, VolumeFile* out, std::string* why)
{
    out->release();
    ChildEnds ends;
    if (!forkReader([&read](int answer, int ack) { runChild(answer, ack, read); }, -1, &ends))
        return read(out, why);
    return collectAnswer(path, ends, out, why);
}

void prepareReaderChild(const ReadRequest& read)
{
    if (g_standby.ends.pid > 0)
        return;
    int request[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, request) != 0)
        return;
    const int childEnd = request[0];
    const auto body = [childEnd, &read](int answer, int ack) {
        // The path and time point, or the end of the parent: then nothing.
        uint32_t n = 0;
        uint64_t timePoint = 0;
        std::string path;
        if (!receiveAll(childEnd, &n, sizeof n) || n == 0 || n > kMaxRequestPath)
            _exit(0);
        path.resize(n);
        if (!receiveAll(childEnd, &path[0], n) || !receiveAll(childEnd, &timePoint, sizeof timePoint))
            _exit(0);
        // Taken: from here on this child answers for the read.
        const char taken = 'T';
        if (send(childEnd, &taken, 1, MSG_NOSIGNAL) != 1)
            _exit(0);
        close(childEnd);
        runChild(answer, ack, [&](VolumeFile* v, std::string* w) {
            return read(path, static_cast<size_t>(timePoint), v, w);
        });
    };
    ChildEnds ends;
    if (!forkReader(body, request[1], &ends)) {
        close(request[0]);
        close(request[1]);
        return;
    }
    close(request[0]);
    g_standby = {ends, request[1]};
}

void dropReaderChild()
{
    if (g_standby.ends.pid <= 0)
        return;
    // Its request socket closed, it ends without a word.
    for (int f : {g_standby.request, g_standby.ends.answer, g_standby.ends.ack})
        close(f);
    while (waitpid(g_standby.ends.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    g_standby = Standby();
}

int readerChildWaiting()
{
    return g_standby.ends.pid > 0 ? static_cast<int>(g_standby.ends.pid) : 0;
}

bool readInStandby(const std::string& path, size_t timePoint, const ReadRequest& read, VolumeFile* out,
                   std::string* why)
{
    out->release();
    const ReadInto once = [&](VolumeFile* v, std::string* w) { return read(path, timePoint, v, w); };
    if (path.empty() || path.size() > kMaxRequestPath)
        return readInChild(path, once, out, why);
    prepareReaderChild(read);
    const Standby s = g_standby;
    g_standby = Standby();
    if (s.ends.pid <= 0)
        return readInChild(path, once, out, why);
    const uint32_t n = static_cast<uint32_t>(path.size());
    const uint64_t t = timePoint;
    std::string request(reinterpret_cast<const char*>(&n), sizeof n);
    request += path;
    request.append(reinterpret_cast<const char*>(&t), sizeof t);
    bool taken = send(s.request, request.data(), request.size(), MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(request.size());
    if (taken) {
        // The child says it took the request; one that ended while it
        // waited says nothing.
        pollfd pfd = {s.request, POLLIN, 0};
        char reply = 0;
        taken = poll(&pfd, 1, 5000) == 1 && receiveAll(s.request, &reply, 1) && reply == 'T';
    }
    close(s.request);
    if (!taken) {
        // A reader that ended while it waited: a fresh one reads.
        close(s.ends.answer);
        close(s.ends.ack);
        kill(s.ends.pid, SIGKILL);
        while (waitpid(s.ends.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return readInChild(path, once, out, why);
    }
    return collectAnswer(path, s.ends, out, why);
}

namespace {

bool collectAnswer(const std::string& path, const ChildEnds& ends, VolumeFile* out, std::string* why)
{
    const pid_t pid = ends.pid;
    int fds[2] = {ends.answer, -1};
    int ack[2] = {-1, ends.ack};
    const double limit = g_timeLimit + static_cast<double>(inputBytes(path)) / 50e6;
    PipeReader pipe{fds[0], std::chrono::steady_clock::now() +
                                std::chrono::milliseconds(static_cast<long long>(limit * 1000.0))};
    std::string text;
    // Copied: the child hears it when the socket is closed, after this
    // returns (its end then runs beside whatever comes next here).
    const FetchVoxels fetch = [pid, &ack](void* to, uint64_t address, size_t n) {
        if (copyFromChild(pid, to, address, n))
            return true;
        const char reply = 'S';
        (void)!send(ack[1], &reply, 1, MSG_NOSIGNAL);
        return false;
    };
    const uint64_t available = availableMemory();
    Room room(ack[1], pid, path, available ? available : UINT64_MAX);
    // The first byte on the socket: whether anything here answers what the
    // child tells of its voxels (a child waits for the answer to some).
    const char listens = room.started() ? 'R' : 'X';
    (void)!send(ack[1], &listens, 1, MSG_NOSIGNAL);
    const ReaderAnswer answer = readReaderAnswer(
        [&pipe](void* bytes, size_t n) { return pipe(bytes, n); }, available, out, &text, fetch,
        [&room](size_t n, uint64_t address, size_t* ready) { return room.take(n, address, ready); });
    room.stop();
    close(fds[0]);
    if (answer != ReaderAnswer::Volume)
        close(ack[1]);
    if (answer == ReaderAnswer::Malformed)
        kill(pid, SIGKILL); // whatever it is doing, it has nothing more to say
    int status = 0;
    if (answer == ReaderAnswer::Volume) {
        // The child ends once the socket is closed; that and the return of
        // its memory run beside whatever comes next here.
        const int socketEnd = ack[1];
        try {
            std::thread([pid, socketEnd] {
                close(socketEnd);
                int ended = 0;
                while (waitpid(pid, &ended, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (...) {
            close(socketEnd);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        return true;
    }
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (answer == ReaderAnswer::Refusal) {
        *why = text;
        return false;
    }
    // A child killed above for a malformed answer reports that, not the kill.
    if (!pipe.timedOut && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && text.compare(0, 9, "no answer") != 0)
        status = 0;
    *why = path + ": the reader stopped (" + stopReason(status, pipe.timedOut, limit, text) + ")";
    return false;
}

} // namespace
