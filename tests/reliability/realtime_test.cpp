// The audio path's promise: no heap allocation or release, no lock, no exception and no system
// or output call, from the first block on, through sample-rate and block-size changes, with
// every fader moving and the IN switch toggling, and for the parameter calls a host may make on
// its audio thread. This program replaces the global allocation functions, the locking
// functions of the C library and its most common system and output calls with counting ones;
// they count only on the thread under watch, the host's audio thread.
#include "counting_host.h"

#include "host/vstmain.h"

#include <gtest/gtest.h>

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

// Initial-exec TLS: reading it never allocates, so the allocator itself may ask.
__attribute__((tls_model("initial-exec"))) thread_local bool watched = false;
std::atomic<long> allocations{0};
std::atomic<long> releases{0};
std::atomic<long> locks{0};
std::atomic<long> throws{0};
std::atomic<long> systemCalls{0};

void Count(std::atomic<long>& counter) {
    if (watched) {
        counter.fetch_add(1, std::memory_order_relaxed);
    }
}

// With malloc replaced below, a C++ allocation is counted there; under the sanitizers, whose
// malloc stays in charge, it is counted in operator new.
constexpr bool kCountInNew = VLM_SANITIZED != 0;

void* Allocate(std::size_t n) {
    if (kCountInNew) {
        Count(allocations);
    }
    return std::malloc(n != 0 ? n : 1);
}

void* AllocateAligned(std::size_t n, std::align_val_t align) {
    if (kCountInNew) {
        Count(allocations);
    }
    const auto a = static_cast<std::size_t>(align);
    return std::aligned_alloc(a, (n + a - 1) / a * a);
}

void Release(void* p) {
    if (kCountInNew && p != nullptr) {
        Count(releases);
    }
    std::free(p);
}

// The next definition of a C library function after this program's own: the real one.
template <typename Fn> Fn Next(Fn& cache, const char* name) {
    if (cache == nullptr) {
        cache = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
    }
    return cache;
}

} // namespace

// The C++ allocation functions, every form.
void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new(std::size_t n, std::align_val_t align) {
    if (void* p = AllocateAligned(n, align)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t align) {
    return operator new(n, align);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    Release(p);
}

#if !VLM_SANITIZED
// The C allocator, passed on to the C library's own entry points. The sanitizers bring their
// own malloc, which must stay in charge of every block in their builds.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    Count(allocations);
    return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) {
    Count(allocations);
    return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) {
    Count(allocations);
    return __libc_realloc(p, n);
}
void* aligned_alloc(std::size_t align, std::size_t n) {
    Count(allocations);
    return __libc_memalign(align, n);
}
void* memalign(std::size_t align, std::size_t n) {
    Count(allocations);
    return __libc_memalign(align, n);
}
int posix_memalign(void** out, std::size_t align, std::size_t n) {
    Count(allocations);
    void* p = __libc_memalign(align, n);
    if (p == nullptr) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}
void free(void* p) {
    if (p != nullptr) {
        Count(releases);
    }
    __libc_free(p);
}
}
#endif

// The locks a thread can take through the C library, the throwing of an exception, and the
// system and output calls that slip into audio code most often (logging, sleeping, mapping
// memory); each counted, then passed on.
namespace {
int (*nextMutexLock)(pthread_mutex_t*) = nullptr;
int (*nextMutexTryLock)(pthread_mutex_t*) = nullptr;
int (*nextMutexTimedLock)(pthread_mutex_t*, const struct timespec*) = nullptr;
int (*nextReadLock)(pthread_rwlock_t*) = nullptr;
int (*nextWriteLock)(pthread_rwlock_t*) = nullptr;
int (*nextSpinLock)(pthread_spinlock_t*) = nullptr;
int (*nextCondWait)(pthread_cond_t*, pthread_mutex_t*) = nullptr;
int (*nextSemWait)(sem_t*) = nullptr;
void (*nextThrow)(void*, std::type_info*, void (*)(void*)) = nullptr;
ssize_t (*nextWrite)(int, const void*, std::size_t) = nullptr;
ssize_t (*nextRead)(int, void*, std::size_t) = nullptr;
int (*nextNanosleep)(const struct timespec*, struct timespec*) = nullptr;
int (*nextClockNanosleep)(clockid_t, int, const struct timespec*, struct timespec*) = nullptr;
int (*nextYield)() = nullptr;
void* (*nextMmap)(void*, std::size_t, int, int, int, off_t) = nullptr;
int (*nextMunmap)(void*, std::size_t) = nullptr;
FILE* (*nextFopen)(const char*, const char*) = nullptr;
std::size_t (*nextFwrite)(const void*, std::size_t, std::size_t, FILE*) = nullptr;
int (*nextFputs)(const char*, FILE*) = nullptr;
int (*nextPuts)(const char*) = nullptr;
int (*nextVfprintf)(FILE*, const char*, va_list) = nullptr;
} // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) {
    Count(locks);
    return Next(nextMutexLock, "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    Count(locks);
    return Next(nextMutexTryLock, "pthread_mutex_trylock")(m);
}
int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t) {
    Count(locks);
    return Next(nextMutexTimedLock, "pthread_mutex_timedlock")(m, t);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    Count(locks);
    return Next(nextReadLock, "pthread_rwlock_rdlock")(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    Count(locks);
    return Next(nextWriteLock, "pthread_rwlock_wrlock")(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    Count(locks);
    return Next(nextSpinLock, "pthread_spin_lock")(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    Count(locks);
    return Next(nextCondWait, "pthread_cond_wait")(c, m);
}
int sem_wait(sem_t* s) {
    Count(locks);
    return Next(nextSemWait, "sem_wait")(s);
}
ssize_t write(int fd, const void* data, std::size_t n) {
    Count(systemCalls);
    return Next(nextWrite, "write")(fd, data, n);
}
ssize_t read(int fd, void* data, std::size_t n) {
    Count(systemCalls);
    return Next(nextRead, "read")(fd, data, n);
}
int nanosleep(const struct timespec* t, struct timespec* left) {
    Count(systemCalls);
    return Next(nextNanosleep, "nanosleep")(t, left);
}
int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left) {
    Count(systemCalls);
    return Next(nextClockNanosleep, "clock_nanosleep")(clock, flags, t, left);
}
int sched_yield() {
    Count(systemCalls);
    return Next(nextYield, "sched_yield")();
}
void* mmap(void* at, std::size_t n, int protection, int flags, int fd, off_t offset) {
    Count(systemCalls);
    return Next(nextMmap, "mmap")(at, n, protection, flags, fd, offset);
}
int munmap(void* at, std::size_t n) {
    Count(systemCalls);
    return Next(nextMunmap, "munmap")(at, n);
}
FILE* fopen(const char* path, const char* mode) {
    Count(systemCalls);
    return Next(nextFopen, "fopen")(path, mode);
}
std::size_t fwrite(const void* data, std::size_t size, std::size_t count, FILE* file) {
    Count(systemCalls);
    return Next(nextFwrite, "fwrite")(data, size, count, file);
}
int fputs(const char* text, FILE* file) {
    Count(systemCalls);
    return Next(nextFputs, "fputs")(text, file);
}
int puts(const char* text) {
    Count(systemCalls);
    return Next(nextPuts, "puts")(text);
}
int vfprintf(FILE* file, const char* format, va_list args) {
    Count(systemCalls);
    return Next(nextVfprintf, "vfprintf")(file, format, args);
}
int fprintf(FILE* file, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = vfprintf(file, format, args);
    va_end(args);
    return written;
}
int printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = vfprintf(stdout, format, args);
    va_end(args);
    return written;
}
}

// The C++ runtime declares its throw function in its own namespace.
namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destroy)(void*)) {
    Count(throws);
    Next(nextThrow, "__cxa_throw")(object, type, destroy);
    std::abort(); // the real one does not return
}
} // namespace __cxxabiv1

namespace VLM {
namespace {

struct Counts {
    long allocations = 0;
    long releases = 0;
    long locks = 0;
    long throws = 0;
    long systemCalls = 0;
};

Counts Now() {
    return {allocations.load(), releases.load(), locks.load(), throws.load(), systemCalls.load()};
}

// Runs `work` on a thread of its own, as a host's audio thread that has never run the effect
// before, and answers what that thread allocated, released and locked while it was watched.
template <typename Work> Counts OnAudioThread(Work work) {
    Counts before{}, after{};
    std::thread audio([&] {
        before = Now();
        work();
        after = Now();
    });
    audio.join();
    return {after.allocations - before.allocations, after.releases - before.releases,
            after.locks - before.locks, after.throws - before.throws,
            after.systemCalls - before.systemCalls};
}

// Watches one stretch of the audio thread's work.
class Watch {
public:
    Watch() { watched = true; }
    ~Watch() { watched = false; }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
};

class Stereo {
public:
    explicit Stereo(std::size_t frames) : left(frames), right(frames) {}
    void Fill(std::mt19937& random, float amplitude, std::size_t frames) {
        std::uniform_real_distribution<float> noise(-amplitude, amplitude);
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = noise(random);
            right[i] = noise(random);
        }
    }
    float** Channels() {
        channels[0] = left.data();
        channels[1] = right.data();
        return channels;
    }
    std::vector<float> left, right;

private:
    float* channels[2] = {};
};

class RealtimeSafety : public ::testing::Test {
protected:
    void SetUp() override {
        fx = VSTPluginMain(Reliability::CountingHost);
        ASSERT_NE(fx, nullptr);
    }
    void TearDown() override {
        if (fx != nullptr) {
            fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
        }
    }
    void Process(Stereo& in, Stereo& out, VstInt32 frames) {
        Watch watch;
        fx->processReplacing(fx, in.Channels(), out.Channels(), frames);
    }
    void SetParameter(VstInt32 index, float value) {
        Watch watch;
        fx->setParameter(fx, index, value);
    }
    float GetParameter(VstInt32 index) {
        Watch watch;
        return fx->getParameter(fx, index);
    }
    static void ExpectNone(const Counts& c, const char* what) {
        EXPECT_EQ(c.allocations, 0) << what << ": heap allocations on the audio thread";
        EXPECT_EQ(c.releases, 0) << what << ": heap releases on the audio thread";
        EXPECT_EQ(c.locks, 0) << what << ": locks taken on the audio thread";
        EXPECT_EQ(c.throws, 0) << what << ": exceptions thrown on the audio thread";
        EXPECT_EQ(c.systemCalls, 0) << what << ": system or output calls on the audio thread";
    }

    AEffect* fx = nullptr;
};

// Without this the other tests would pass with counters that count nothing.
TEST(RealtimeCounters, SeeAllocationLockingThrowingAndSystemCallsOnTheWatchedThreadOnly) {
    std::mutex mutex;
    const Counts seen = OnAudioThread([&] {
        Watch watch;
        // Volatile, so that the optimiser cannot leave the pairs out.
        int* volatile one = new int(1);
        delete one;
        float* volatile some = new float[4];
        delete[] some;
        std::lock_guard<std::mutex> lock(mutex);
        try {
            throw 1;
        } catch (int) {
        }
        const char* volatile nothing = "";
        std::fprintf(stderr, "%s", nothing);
        sched_yield();
    });
    // The exception object comes from malloc, which only the unsanitized build replaces.
    const long expected = kCountInNew ? 2 : 3;
    EXPECT_EQ(seen.allocations, expected) << "new int, new float[4] and the exception object";
    EXPECT_EQ(seen.releases, expected);
    EXPECT_EQ(seen.locks, 1) << "std::mutex::lock";
    EXPECT_EQ(seen.throws, 1);
    EXPECT_EQ(seen.systemCalls, 2) << "fprintf and sched_yield";
    const Counts unwatched = OnAudioThread([&] {
        int* volatile one = new int(1);
        delete one;
        std::lock_guard<std::mutex> lock(mutex);
    });
    EXPECT_EQ(unwatched.allocations, 0);
    EXPECT_EQ(unwatched.locks, 0);
#if !VLM_SANITIZED
    const Counts c = OnAudioThread([] {
        Watch watch;
        void* volatile p = std::malloc(16);
        std::free(p);
    });
    EXPECT_EQ(c.allocations, 1) << "malloc";
    EXPECT_EQ(c.releases, 1) << "free";
#endif
}

TEST_F(RealtimeSafety, FirstBlockOfANewInstance) {
    Stereo in(512), out(512);
    std::mt19937 random(1);
    in.Fill(random, 0.5f, 512);
    ExpectNone(OnAudioThread([&] { Process(in, out, 512); }), "first block");
}

TEST_F(RealtimeSafety, EveryFaderMovingEveryBlockWithTheInSwitchToggling) {
    Stereo in(512), out(512);
    const Counts c = OnAudioThread([&] {
        std::mt19937 random(2);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        for (int block = 0; block < 400; ++block) {
            for (VstInt32 band = 0; band < 10; ++band) {
                SetParameter(band, value(random)); // automation played on the audio thread
            }
            if (block % 25 == 0) {
                SetParameter(10, block % 50 == 0 ? 0.0f : 1.0f);
            }
            in.Fill(random, 0.5f, 512);
            Process(in, out, 512);
            for (VstInt32 id = 0; id < 12; ++id) {
                GetParameter(id);
            }
        }
    });
    ExpectNone(c, "faders moving");
}

TEST_F(RealtimeSafety, SampleRateAndBlockSizeChanges) {
    constexpr std::size_t kLongest = 8192;
    Stereo in(kLongest), out(kLongest);
    const float rates[] = {48000.0f,  96000.0f, 22050.0f,
                           192000.0f, 8000.0f,  44100.0f,
                           0.0f,      -1.0f,    std::numeric_limits<float>::quiet_NaN(),
                           1e-30f,    1e30f,    88200.0f};
    const Counts c = OnAudioThread([&] {
        std::mt19937 random(3);
        std::uniform_int_distribution<int> length(1, static_cast<int>(kLongest));
        for (float rate : rates) {
            // The dispatcher's calls are not the audio path; the next block is.
            fx->dispatcher(fx, effSetSampleRate, 0, 0, nullptr, rate);
            fx->dispatcher(fx, effSetBlockSize, 0, length(random), nullptr, 0.0f);
            for (int block = 0; block < 8; ++block) {
                const auto frames = static_cast<VstInt32>(block == 0 ? 1 : length(random));
                SetParameter(block % 10, block % 2 == 0 ? 0.0f : 1.0f);
                in.Fill(random, 0.5f, static_cast<std::size_t>(frames));
                Process(in, out, frames);
            }
        }
    });
    ExpectNone(c, "sample-rate and block-size changes");
}

TEST_F(RealtimeSafety, NonFiniteSubnormalAndSilentInput) {
    Stereo in(1024), out(1024);
    const Counts c = OnAudioThread([&] {
        std::mt19937 random(4);
        const float amplitudes[] = {0.0f, 1e-40f, 1e-30f, 1.0f};
        for (int block = 0; block < 64; ++block) {
            SetParameter(block % 10, static_cast<float>(block % 3) * 0.5f);
            in.Fill(random, amplitudes[block % 4], 1024);
            if (block % 8 == 5) {
                in.left[17] = std::numeric_limits<float>::quiet_NaN();
                in.right[900] = std::numeric_limits<float>::infinity();
            }
            Process(in, out, 1024);
        }
        Process(in, out, 0);
    });
    ExpectNone(c, "awkward input");
}

TEST_F(RealtimeSafety, InPlaceProcessing) {
    Stereo io(256);
    const Counts c = OnAudioThread([&] {
        std::mt19937 random(5);
        for (int block = 0; block < 32; ++block) {
            io.Fill(random, 0.5f, 256);
            SetParameter(block % 10, 1.0f - static_cast<float>(block % 2));
            Process(io, io, 256);
        }
    });
    ExpectNone(c, "in-place processing");
}

} // namespace
} // namespace VLM
