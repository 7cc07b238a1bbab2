#include "SerialWorker.h"

SerialWorker::SerialWorker() : thread ([this] { run(); }) {}

SerialWorker::~SerialWorker()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void SerialWorker::post (std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        jobs.push_back (std::move (job));
    }
    changed.notify_all();
}

void SerialWorker::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock (mutex);
    changed.wait (lock, [this] { return jobs.empty() && ! running; });
}

bool SerialWorker::isIdle()
{
    const std::lock_guard<std::mutex> lock (mutex);
    return jobs.empty() && ! running;
}

void SerialWorker::run()
{
    std::unique_lock<std::mutex> lock (mutex);
    for (;;)
    {
        changed.wait (lock, [this] { return stopping || ! jobs.empty(); });
        if (jobs.empty())
            return; // stopping, and nothing left to do
        auto job = std::move (jobs.front());
        jobs.pop_front();
        running = true;
        lock.unlock();
        job();
        lock.lock();
        running = false;
        changed.notify_all();
    }
}
