#include "tests/support/AudioThreadProbe.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLVEX_PROBE 0
#else
#define TOLVEX_PROBE 1
#endif

namespace tolvex::testing::probe {

namespace {

std::atomic<long> g_callbacks{0}, g_allocations{0}, g_locks{0}, g_wakes{0};
thread_local bool t_inRenderer = false;
thread_local int t_scopes = 0;
thread_local std::size_t t_failing = 0;
thread_local HeldLocks t_held;

bool onAudioThread()
{
    return t_inRenderer || t_scopes > 0;
}

class ProbedOutput : public host::AudioOutput, private host::AudioOutput::Renderer {
public:
    explicit ProbedOutput(std::unique_ptr<host::AudioOutput> inner) : m_inner(std::move(inner)) {}
    double open(double rate, int channels, host::AudioOutput::Renderer& renderer) override
    {
        m_renderer = &renderer;
        return m_inner->open(rate, channels, *this);
    }
    void start() override { m_inner->start(); }
    void stop() override { m_inner->stop(); }
    void close() override { m_inner->close(); }
    double latency() const override { return m_inner->latency(); }
    bool audible() const override { return m_inner->audible(); }

private:
    void renderOutput(float* const* channels, int count, qint64 frames) noexcept override
    {
        ++g_callbacks;
        t_inRenderer = true;
        m_renderer->renderOutput(channels, count, frames);
        t_inRenderer = false;
    }
    void underrun() noexcept override { m_renderer->underrun(); }

    std::unique_ptr<host::AudioOutput> m_inner;
    host::AudioOutput::Renderer* m_renderer = nullptr;
};

} // namespace

bool available()
{
    return TOLVEX_PROBE;
}
Counts counts()
{
    return {g_callbacks.load(), g_allocations.load(), g_locks.load(), g_wakes.load()};
}
AudioThreadScope::AudioThreadScope()
{
    ++t_scopes;
}
AudioThreadScope::~AudioThreadScope()
{
    --t_scopes;
}
HeldLocks heldLocks()
{
    return t_held;
}
std::unique_ptr<host::AudioOutput> probedOutput(std::unique_ptr<host::AudioOutput> inner)
{
    return std::make_unique<ProbedOutput>(std::move(inner));
}
FailingAllocations::FailingAllocations(std::size_t bytes)
{
    t_failing = bytes;
}
FailingAllocations::~FailingAllocations()
{
    t_failing = 0;
}

/// Counts an allocation; true when it must fail.
bool noteAllocation(std::size_t bytes)
{
    if (onAudioThread())
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return t_failing != 0 && bytes == t_failing;
}

void noteLock()
{
    if (onAudioThread())
        g_locks.fetch_add(1, std::memory_order_relaxed);
}

void noteWake()
{
    if (onAudioThread())
        g_wakes.fetch_add(1, std::memory_order_relaxed);
}

void noteTaken(const void* mutex)
{
    if (t_held.count < HeldLocks::capacity)
        t_held.locks[t_held.count] = mutex;
    ++t_held.count;
}

void noteReleased(const void* mutex)
{
    // The newest entry for the mutex goes. One taken before the probe saw
    // it is in no entry; one beyond the capacity is only counted.
    const int kept = std::min(t_held.count, HeldLocks::capacity);
    for (int at = kept - 1; at >= 0; --at) {
        if (t_held.locks[at] == mutex) {
            std::copy(t_held.locks + at + 1, t_held.locks + kept, t_held.locks + at);
            --t_held.count;
            return;
        }
    }
    if (t_held.count > kept)
        --t_held.count;
}

} // namespace tolvex::testing::probe

#if TOLVEX_PROBE
using tolvex::testing::probe::noteAllocation;
using tolvex::testing::probe::noteLock;
using tolvex::testing::probe::noteReleased;
using tolvex::testing::probe::noteTaken;
using tolvex::testing::probe::noteWake;

// operator new and the C++ containers come through malloc; the aligned
// allocations are left alone, as the engines make none of them.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t bytes)
{
    return noteAllocation(bytes) ? nullptr : __libc_malloc(bytes);
}
void* calloc(size_t count, size_t bytes)
{
    return noteAllocation(count * bytes) ? nullptr : __libc_calloc(count, bytes);
}
void* realloc(void* old, size_t bytes)
{
    return noteAllocation(bytes) ? nullptr : __libc_realloc(old, bytes);
}
void free(void* memory)
{
    if (memory)
        noteAllocation(0);
    __libc_free(memory);
}

// Each lock or wait is counted, then passed on to the C library's own,
// looked up once (the condition wait in the version of today's ABI).
#define TOLVEX_FORWARD(name, lookup, parameters, arguments)                                        \
    int name parameters                                                                            \
    {                                                                                              \
        using Real = int(*) parameters;                                                            \
        static const Real real = reinterpret_cast<Real>(lookup);                                   \
        tolvex::testing::probe::noteLock();                                                        \
        return real arguments;                                                                     \
    }

#define TOLVEX_NEXT(name) dlsym(RTLD_NEXT, #name)

// The mutex calls also keep the calling thread's held mutexes.
int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    static const auto real =
        reinterpret_cast<int (*)(pthread_mutex_t*)>(TOLVEX_NEXT(pthread_mutex_lock));
    noteLock();
    const int result = real(mutex);
    if (result == 0)
        noteTaken(mutex);
    return result;
}
int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    static const auto real =
        reinterpret_cast<int (*)(pthread_mutex_t*)>(TOLVEX_NEXT(pthread_mutex_trylock));
    const int result = real(mutex);
    if (result == 0)
        noteTaken(mutex);
    return result;
}
int pthread_mutex_unlock(pthread_mutex_t* mutex)
{
    static const auto real =
        reinterpret_cast<int (*)(pthread_mutex_t*)>(TOLVEX_NEXT(pthread_mutex_unlock));
    noteReleased(mutex);
    return real(mutex);
}
TOLVEX_FORWARD(pthread_rwlock_rdlock, TOLVEX_NEXT(pthread_rwlock_rdlock), (pthread_rwlock_t * l),
               (l))
TOLVEX_FORWARD(pthread_rwlock_wrlock, TOLVEX_NEXT(pthread_rwlock_wrlock), (pthread_rwlock_t * l),
               (l))
TOLVEX_FORWARD(sem_wait, TOLVEX_NEXT(sem_wait), (sem_t * s), (s))
TOLVEX_FORWARD(pthread_cond_wait, dlvsym(RTLD_NEXT, "pthread_cond_wait", "GLIBC_2.3.2"),
               (pthread_cond_t * c, pthread_mutex_t* m), (c, m))

// Waking a thread: a semaphore post, or the futex wake that C++'s
// semaphores and atomic notifications make through the system call entry.
int sem_post(sem_t* semaphore)
{
    static const auto real = reinterpret_cast<int (*)(sem_t*)>(TOLVEX_NEXT(sem_post));
    noteWake();
    return real(semaphore);
}
long syscall(long number, ...) noexcept
{
    static const auto real = reinterpret_cast<long (*)(long, ...)>(TOLVEX_NEXT(syscall));
    long arguments[6];
    va_list list;
    va_start(list, number);
    for (long& argument : arguments)
        argument = va_arg(list, long);
    va_end(list);
    if (number == SYS_futex && (arguments[1] & FUTEX_CMD_MASK) == FUTEX_WAKE)
        noteWake();
    return real(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                arguments[5]);
}
}
#endif
