#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Threads of their own for the work that hashes passwords (sign-in, sign-up: a good
// part of a second and 64 MiB each), so that pages, the API and /healthz never queue
// behind it. The queue is bounded: work beyond it is refused at once (the caller answers
// 503 with Retry-After).
class HashWorkers
{
public:
    HashWorkers(std::size_t threads, std::size_t maxQueued);
    ~HashWorkers(); // finishes what is queued

    // False when the queue is full.
    bool submit(std::function<void()> work);

private:
    void run();

    std::size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
