// e2e-freeze-probe: on each processor, a thread bound to it sleeps 2 ms at a
// time at the highest real-time priority it is allowed, and prints "<ms since
// the epoch at the wake-up> <ms since the previous one> <processor>" for each
// wake-up more than 15 ms late. At that priority only the host can hold it
// so long: a virtual processor that did not run, and with it whatever thread
// of ours it held. The message-thread checks leave such pauses out.
// Runs until killed.
#include <pthread.h>
#include <sched.h>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
double nowMs (clockid_t clock)
{
    timespec t {};
    clock_gettime (clock, &t);
    return (double) t.tv_sec * 1000.0 + (double) t.tv_nsec / 1.0e6;
}

std::mutex printing;

void watch (int processor)
{
    cpu_set_t set;
    CPU_ZERO (&set);
    CPU_SET (processor, &set);
    pthread_setaffinity_np (pthread_self(), sizeof (set), &set);
    sched_param param {};
    param.sched_priority = sched_get_priority_max (SCHED_FIFO);
    if (pthread_setschedparam (pthread_self(), SCHED_FIFO, &param) != 0)
        std::fprintf (stderr, "e2e-freeze-probe: no real-time priority; the guest's own scheduling counts too\n");

    const timespec nap { 0, 2'000'000 };
    auto last = nowMs (CLOCK_MONOTONIC);
    for (;;)
    {
        nanosleep (&nap, nullptr);
        const auto now = nowMs (CLOCK_MONOTONIC);
        if (now - last > 15.0)
        {
            const std::lock_guard<std::mutex> guard (printing);
            std::printf ("%.0f %.1f %d\n", nowMs (CLOCK_REALTIME), now - last, processor);
            std::fflush (stdout);
        }
        last = now;
    }
}
} // namespace

int main()
{
    std::vector<std::thread> watchers;
    for (int processor = 0; processor < (int) std::thread::hardware_concurrency(); ++processor)
        watchers.emplace_back (watch, processor);
    for (auto& watcher : watchers)
        watcher.join();
}
