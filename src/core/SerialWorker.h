#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One background thread that runs the jobs given to it one after another, in
// the order given: for work that must not hold the message thread up (a
// file synced to disk) but must stay in order with what follows it. The
// destructor runs the jobs still waiting, then stops the thread.
class SerialWorker
{
public:
    SerialWorker();
    ~SerialWorker();

    void post (std::function<void()> job);
    // Returns once every job posted before the call has run.
    void waitUntilIdle();
    // Whether every job posted so far has run; does not wait.
    bool isIdle();

private:
    void run();

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool running = false; // a job taken from the queue has not finished
    bool stopping = false;
    std::thread thread;

    SerialWorker (const SerialWorker&) = delete;
    SerialWorker& operator= (const SerialWorker&) = delete;
};
