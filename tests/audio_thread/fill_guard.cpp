#include "tests/audio_thread/fill_guard.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

namespace korvane::guard {

namespace {

constinit thread_local bool insideFill = false;
constinit thread_local std::int64_t faultsBefore = 0;

std::atomic<std::int64_t> fills{0};
std::atomic<std::int64_t> counts[slipKinds];

// The first slip of a kind: what did it, in which fill, and the output
// thread's call stack (none for page faults, which are seen only after the
// fill).
struct FirstSlip {
    static constexpr int maxFrames = 24;
    std::atomic<const char*> what{nullptr};
    std::int64_t fill = 0;
    std::int64_t amount = 0;
    void* frames[maxFrames] = {};
    int depth = 0;
    std::atomic<bool> complete{false};
};
FirstSlip firsts[slipKinds];

// The first fills that faulted, with their counts: where in the run the
// faults came (at the start, at a change, all along). Output thread only
// writes them.
struct FaultingFill {
    std::int64_t fill = 0;
    std::int64_t faults = 0;
};
constexpr int listedFaultingFills = 16;
FaultingFill faultingFills[listedFaultingFills];
std::atomic<int> faultingFillsListed{0};

void record(Slip kind, const char* what, std::int64_t amount, bool withStack) {
    counts[static_cast<int>(kind)].fetch_add(amount, std::memory_order_relaxed);
    FirstSlip& first = firsts[static_cast<int>(kind)];
    const char* none = nullptr;
    if (!first.what.compare_exchange_strong(none, what, std::memory_order_relaxed)) return;
    first.fill = fills.load(std::memory_order_relaxed);
    first.amount = amount;
    first.depth = withStack ? ::backtrace(first.frames, FirstSlip::maxFrames) : 0;
    first.complete.store(true, std::memory_order_release);
}

// Called by every counting definition below. Whatever recording does itself
// (the stack walk) is not the fill's.
void noteSlip(Slip kind, const char* what) {
    if (!insideFill) return;
    insideFill = false;
    record(kind, what, 1, true);
    insideFill = true;
}

std::int64_t threadFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// The first stack walk loads the unwinder, which allocates: done once here,
// at start-up, instead of inside the first slip.
const bool unwinderLoaded = [] {
    void* frame = nullptr;
    return ::backtrace(&frame, 1) >= 0;
}();

// --- The allocator: glibc's, found with dlsym, which may itself allocate
// before it is found; those few bytes come from a static arena and are never
// given back. ---

alignas(std::max_align_t) unsigned char arena[4096];
std::size_t arenaUsed = 0;

void* fromArena(std::size_t bytes) {
    constexpr std::size_t unit = alignof(std::max_align_t);
    const std::size_t rounded = (bytes + unit - 1) / unit * unit;
    if (rounded > sizeof arena - arenaUsed) return nullptr;
    void* memory = arena + arenaUsed;
    arenaUsed += rounded;
    return memory;
}

bool inArena(const void* memory) {
    const auto* byte = static_cast<const unsigned char*>(memory);
    return byte >= arena && byte < arena + sizeof arena;
}

struct Allocator {
    void* (*malloc)(std::size_t) = nullptr;
    void* (*calloc)(std::size_t, std::size_t) = nullptr;
    void* (*realloc)(void*, std::size_t) = nullptr;
    void (*free)(void*) = nullptr;
    void* (*memalign)(std::size_t, std::size_t) = nullptr;
    int (*posix_memalign)(void**, std::size_t, std::size_t) = nullptr;
    void* (*aligned_alloc)(std::size_t, std::size_t) = nullptr;
    void* (*valloc)(std::size_t) = nullptr;
    void* (*pvalloc)(std::size_t) = nullptr;
};

// Found by the process's first allocation, long before a second thread runs.
Allocator glibc;
bool finding = false;

template <typename Function>
void find(Function& function, const char* name) {
    function = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
    if (function == nullptr) std::abort();
}

// False while dlsym runs on behalf of the lookup: the arena serves then.
bool allocatorFound() {
    if (glibc.free != nullptr) return true;
    if (finding) return false;
    finding = true;
    Allocator found;
    find(found.malloc, "malloc");
    find(found.calloc, "calloc");
    find(found.realloc, "realloc");
    find(found.free, "free");
    find(found.memalign, "memalign");
    find(found.posix_memalign, "posix_memalign");
    find(found.aligned_alloc, "aligned_alloc");
    find(found.valloc, "valloc");
    find(found.pvalloc, "pvalloc");
    glibc = found;
    finding = false;
    return true;
}

void* newMemory(std::size_t size, std::size_t alignment, const char* what) {
    noteSlip(Slip::Allocation, what);
    if (!allocatorFound()) return fromArena(size);
    if (size == 0) size = 1;
    return alignment <= alignof(std::max_align_t) ? glibc.malloc(size) : glibc.memalign(alignment, size);
}

void* newOrThrow(std::size_t size, std::size_t alignment, const char* what) {
    void* memory = newMemory(size, alignment, what);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void release(void* memory, const char* what) {
    noteSlip(Slip::Free, what);
    if (memory == nullptr || inArena(memory) || !allocatorFound()) return;
    glibc.free(memory);
}

// The next definition of a function this program defines too.
template <typename Function>
Function next(std::atomic<Function>& slot, const char* name) {
    Function function = slot.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
        if (function == nullptr) std::abort();
        slot.store(function, std::memory_order_release);
    }
    return function;
}

std::string hex(std::uintptr_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%jx", static_cast<std::uintmax_t>(value));
    return text;
}

// "function+offset (module)" when the address lies inside an exported
// function, else "module+offset"; a module is named with its folder
// (bin/libkorvane-engine.so.0, guard/plug-sdl.so).
std::string describeFrame(void* frame) {
    // A return address: the call is the byte before it.
    const auto address = reinterpret_cast<std::uintptr_t>(frame) - 1;
    Dl_info info{};
    void* entry = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(address), &info, &entry, RTLD_DL_SYMENT) == 0) return hex(address);
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    const std::string path = info.dli_fname != nullptr ? info.dli_fname : "?";
    const std::size_t slash = path.rfind('/');
    const std::size_t folder =
        slash == std::string::npos || slash == 0 ? std::string::npos : path.rfind('/', slash - 1);
    const std::string module = path.substr(folder == std::string::npos ? 0 : folder + 1);
    const auto start = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    if (info.dli_sname == nullptr || symbol == nullptr || address >= start + symbol->st_size)
        return module + "+" + hex(address - reinterpret_cast<std::uintptr_t>(info.dli_fbase));
    int status = 0;
    char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    const std::string name = status == 0 && demangled != nullptr ? demangled : info.dli_sname;
    std::free(demangled);
    return name + "+" + hex(address - start) + " (" + module + ")";
}

constexpr const char* kindNames[slipKinds] = {"allocations", "frees", "lock acquisitions", "blocking calls",
                                              "page faults"};

}  // namespace

void enterFill() {
    fills.fetch_add(1, std::memory_order_relaxed);
    faultsBefore = threadFaults();
    insideFill = true;
}

void leaveFill() {
    insideFill = false;
    const std::int64_t faults = threadFaults() - faultsBefore;
    if (faults <= 0) return;
    record(Slip::PageFault, "page faults", faults, false);
    const int listed = faultingFillsListed.load(std::memory_order_relaxed);
    if (listed == listedFaultingFills) return;
    faultingFills[listed] = {fills.load(std::memory_order_relaxed), faults};
    faultingFillsListed.store(listed + 1, std::memory_order_release);
}

std::int64_t fillCount() { return fills.load(std::memory_order_relaxed); }

std::int64_t slips(Slip kind) { return counts[static_cast<int>(kind)].load(std::memory_order_relaxed); }

void resetCounts() {
    fills.store(0, std::memory_order_relaxed);
    for (int kind = 0; kind < slipKinds; ++kind) {
        counts[kind].store(0, std::memory_order_relaxed);
        firsts[kind].complete.store(false, std::memory_order_relaxed);
        firsts[kind].what.store(nullptr, std::memory_order_release);
    }
    faultingFillsListed.store(0, std::memory_order_release);
}

std::string report() {
    std::string text = "fills observed: " + std::to_string(fillCount()) + "\n";
    for (int kind = 0; kind < slipKinds; ++kind) {
        text += std::string(kindNames[kind]) + ": " + std::to_string(counts[kind].load()) + "\n";
        const FirstSlip& first = firsts[kind];
        if (!first.complete.load(std::memory_order_acquire)) continue;
        text += "  first: " + std::string(first.what.load()) + " (" + std::to_string(first.amount) +
                ") in fill " + std::to_string(first.fill) + "\n";
        for (int i = 0; i < first.depth; ++i)
            text += "    #" + std::to_string(i) + " " + describeFrame(first.frames[i]) + "\n";
    }
    const int listed = faultingFillsListed.load(std::memory_order_acquire);
    if (listed > 0) text += "faulting fills (fill: faults):";
    for (int i = 0; i < listed; ++i)
        text += " " + std::to_string(faultingFills[i].fill) + ": " + std::to_string(faultingFills[i].faults);
    if (listed > 0) text += listed == listedFaultingFills ? " ...\n" : "\n";
    return text;
}

}  // namespace korvane::guard

using korvane::guard::Slip;
using korvane::guard::newMemory;
using korvane::guard::newOrThrow;
using korvane::guard::noteSlip;
using korvane::guard::release;

// --- The C allocator ---

extern "C" {

void* malloc(std::size_t size) noexcept { return newMemory(size, 0, "malloc"); }

void* calloc(std::size_t count, std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "calloc");
    if (!korvane::guard::allocatorFound()) return korvane::guard::fromArena(count * size);
    return korvane::guard::glibc.calloc(count, size);
}

void* realloc(void* memory, std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "realloc");
    if (!korvane::guard::allocatorFound()) std::abort();
    return korvane::guard::glibc.realloc(memory, size);
}

void free(void* memory) noexcept { release(memory, "free"); }

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "memalign");
    return korvane::guard::allocatorFound() ? korvane::guard::glibc.memalign(alignment, size) : nullptr;
}

int posix_memalign(void** memory, std::size_t alignment, std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "posix_memalign");
    return korvane::guard::allocatorFound() ? korvane::guard::glibc.posix_memalign(memory, alignment, size) : ENOMEM;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "aligned_alloc");
    return korvane::guard::allocatorFound() ? korvane::guard::glibc.aligned_alloc(alignment, size) : nullptr;
}

void* valloc(std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "valloc");
    return korvane::guard::allocatorFound() ? korvane::guard::glibc.valloc(size) : nullptr;
}

void* pvalloc(std::size_t size) noexcept {
    noteSlip(Slip::Allocation, "pvalloc");
    return korvane::guard::allocatorFound() ? korvane::guard::glibc.pvalloc(size) : nullptr;
}

}  // extern "C"

// --- operator new and delete, every replaceable form ---

void* operator new(std::size_t size) { return newOrThrow(size, 0, "operator new"); }
void* operator new[](std::size_t size) { return newOrThrow(size, 0, "operator new[]"); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return newMemory(size, 0, "operator new"); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return newMemory(size, 0, "operator new[]");
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return newOrThrow(size, static_cast<std::size_t>(alignment), "operator new");
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return newOrThrow(size, static_cast<std::size_t>(alignment), "operator new[]");
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return newMemory(size, static_cast<std::size_t>(alignment), "operator new");
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return newMemory(size, static_cast<std::size_t>(alignment), "operator new[]");
}

void operator delete(void* memory) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, std::size_t) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, std::align_val_t) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, std::align_val_t) noexcept { release(memory, "operator delete[]"); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { release(memory, "operator delete"); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    release(memory, "operator delete[]");
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    release(memory, "operator delete");
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    release(memory, "operator delete[]");
}

// --- Locks, waits and I/O: counted, then forwarded. The trailing argument
// is glibc's declaration's noexcept, where it has one. ---

#define KORVANE_GUARD_FORWARD(kind, result, name, params, args, ...)              \
    extern "C" result name params __VA_ARGS__ {                                  \
        noteSlip(Slip::kind, #name);                                             \
        static std::atomic<result(*) params> definition{nullptr};                \
        return korvane::guard::next(definition, #name) args;                     \
    }

KORVANE_GUARD_FORWARD(Lock, int, pthread_mutex_lock, (pthread_mutex_t* m), (m), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_mutex_trylock, (pthread_mutex_t* m), (m), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_mutex_timedlock, (pthread_mutex_t* m, const timespec* t), (m, t), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_mutex_clocklock, (pthread_mutex_t* m, clockid_t c, const timespec* t),
                      (m, c, t), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_rwlock_rdlock, (pthread_rwlock_t* l), (l), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_rwlock_wrlock, (pthread_rwlock_t* l), (l), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_rwlock_tryrdlock, (pthread_rwlock_t* l), (l), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_rwlock_trywrlock, (pthread_rwlock_t* l), (l), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_spin_lock, (pthread_spinlock_t* l), (l), noexcept)
KORVANE_GUARD_FORWARD(Lock, int, pthread_spin_trylock, (pthread_spinlock_t* l), (l), noexcept)

KORVANE_GUARD_FORWARD(Blocking, int, pthread_cond_wait, (pthread_cond_t* c, pthread_mutex_t* m), (c, m))
KORVANE_GUARD_FORWARD(Blocking, int, pthread_cond_timedwait, (pthread_cond_t* c, pthread_mutex_t* m, const timespec* t),
                      (c, m, t))
KORVANE_GUARD_FORWARD(Blocking, int, pthread_cond_clockwait,
                      (pthread_cond_t* c, pthread_mutex_t* m, clockid_t k, const timespec* t), (c, m, k, t))
KORVANE_GUARD_FORWARD(Blocking, int, pthread_join, (pthread_t t, void** r), (t, r))
KORVANE_GUARD_FORWARD(Blocking, int, sem_wait, (sem_t* s), (s))
KORVANE_GUARD_FORWARD(Blocking, int, sem_timedwait, (sem_t* s, const timespec* t), (s, t))
KORVANE_GUARD_FORWARD(Blocking, int, nanosleep, (const timespec* t, timespec* r), (t, r))
KORVANE_GUARD_FORWARD(Blocking, int, clock_nanosleep, (clockid_t c, int f, const timespec* t, timespec* r),
                      (c, f, t, r))
KORVANE_GUARD_FORWARD(Blocking, int, usleep, (useconds_t u), (u))
KORVANE_GUARD_FORWARD(Blocking, unsigned, sleep, (unsigned s), (s))
KORVANE_GUARD_FORWARD(Blocking, int, poll, (pollfd* f, nfds_t n, int t), (f, n, t))
KORVANE_GUARD_FORWARD(Blocking, int, ppoll, (pollfd* f, nfds_t n, const timespec* t, const sigset_t* s), (f, n, t, s))
KORVANE_GUARD_FORWARD(Blocking, int, select, (int n, fd_set* r, fd_set* w, fd_set* e, timeval* t), (n, r, w, e, t))
KORVANE_GUARD_FORWARD(Blocking, int, pselect,
                      (int n, fd_set* r, fd_set* w, fd_set* e, const timespec* t, const sigset_t* s),
                      (n, r, w, e, t, s))
KORVANE_GUARD_FORWARD(Blocking, int, epoll_wait, (int e, epoll_event* v, int n, int t), (e, v, n, t))

KORVANE_GUARD_FORWARD(Blocking, int, creat, (const char* p, mode_t m), (p, m))
KORVANE_GUARD_FORWARD(Blocking, int, close, (int f), (f))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, read, (int f, void* b, size_t n), (f, b, n))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, write, (int f, const void* b, size_t n), (f, b, n))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, pread, (int f, void* b, size_t n, off_t o), (f, b, n, o))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, pwrite, (int f, const void* b, size_t n, off_t o), (f, b, n, o))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, pread64, (int f, void* b, size_t n, off64_t o), (f, b, n, o))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, pwrite64, (int f, const void* b, size_t n, off64_t o), (f, b, n, o))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, readv, (int f, const iovec* v, int n), (f, v, n))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, writev, (int f, const iovec* v, int n), (f, v, n))
KORVANE_GUARD_FORWARD(Blocking, int, fsync, (int f), (f))
KORVANE_GUARD_FORWARD(Blocking, FILE*, fopen, (const char* p, const char* m), (p, m))
KORVANE_GUARD_FORWARD(Blocking, FILE*, fopen64, (const char* p, const char* m), (p, m))
KORVANE_GUARD_FORWARD(Blocking, int, fclose, (FILE * s), (s))
KORVANE_GUARD_FORWARD(Blocking, size_t, fread, (void* b, size_t z, size_t n, FILE* s), (b, z, n, s))
KORVANE_GUARD_FORWARD(Blocking, size_t, fwrite, (const void* b, size_t z, size_t n, FILE* s), (b, z, n, s))
KORVANE_GUARD_FORWARD(Blocking, int, fflush, (FILE * s), (s))
KORVANE_GUARD_FORWARD(Blocking, int, fputs, (const char* t, FILE* s), (t, s))
KORVANE_GUARD_FORWARD(Blocking, int, fputc, (int c, FILE* s), (c, s))
KORVANE_GUARD_FORWARD(Blocking, int, puts, (const char* t), (t))
KORVANE_GUARD_FORWARD(Blocking, int, vfprintf, (FILE * s, const char* f, va_list a), (s, f, a))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, send, (int f, const void* b, size_t n, int g), (f, b, n, g))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, sendto,
                      (int f, const void* b, size_t n, int g, const sockaddr* a, socklen_t l), (f, b, n, g, a, l))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, sendmsg, (int f, const msghdr* m, int g), (f, m, g))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, recv, (int f, void* b, size_t n, int g), (f, b, n, g))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, recvfrom, (int f, void* b, size_t n, int g, sockaddr* a, socklen_t* l),
                      (f, b, n, g, a, l))
KORVANE_GUARD_FORWARD(Blocking, ssize_t, recvmsg, (int f, msghdr* m, int g), (f, m, g))
KORVANE_GUARD_FORWARD(Blocking, int, connect, (int f, const sockaddr* a, socklen_t l), (f, a, l))
KORVANE_GUARD_FORWARD(Blocking, int, accept, (int f, sockaddr* a, socklen_t* l), (f, a, l))

// The variadic ones: the mode of open and openat is there only when the
// flags create a file.
namespace {

mode_t modeArgument(int flags, va_list arguments) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(arguments, int))
                                                                       : 0;
}

}  // namespace

#define KORVANE_GUARD_OPEN(name)                                                     \
    extern "C" int name(const char* path, int flags, ...) {                          \
        noteSlip(Slip::Blocking, #name);                                             \
        va_list arguments;                                                           \
        va_start(arguments, flags);                                                  \
        const mode_t mode = modeArgument(flags, arguments);                          \
        va_end(arguments);                                                           \
        static std::atomic<int (*)(const char*, int, ...)> definition{nullptr};      \
        return korvane::guard::next(definition, #name)(path, flags, mode);           \
    }
#define KORVANE_GUARD_OPENAT(name)                                                   \
    extern "C" int name(int folder, const char* path, int flags, ...) {              \
        noteSlip(Slip::Blocking, #name);                                             \
        va_list arguments;                                                           \
        va_start(arguments, flags);                                                  \
        const mode_t mode = modeArgument(flags, arguments);                          \
        va_end(arguments);                                                           \
        static std::atomic<int (*)(int, const char*, int, ...)> definition{nullptr}; \
        return korvane::guard::next(definition, #name)(folder, path, flags, mode);   \
    }
KORVANE_GUARD_OPEN(open)
KORVANE_GUARD_OPEN(open64)
KORVANE_GUARD_OPENAT(openat)
KORVANE_GUARD_OPENAT(openat64)

extern "C" int fprintf(FILE* stream, const char* format, ...) {
    noteSlip(Slip::Blocking, "fprintf");
    static std::atomic<int (*)(FILE*, const char*, va_list)> definition{nullptr};
    va_list arguments;
    va_start(arguments, format);
    const int written = korvane::guard::next(definition, "vfprintf")(stream, format, arguments);
    va_end(arguments);
    return written;
}

extern "C" int printf(const char* format, ...) {
    noteSlip(Slip::Blocking, "printf");
    static std::atomic<int (*)(const char*, va_list)> definition{nullptr};
    va_list arguments;
    va_start(arguments, format);
    const int written = korvane::guard::next(definition, "vprintf")(format, arguments);
    va_end(arguments);
    return written;
}
