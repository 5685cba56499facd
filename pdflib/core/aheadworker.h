// A second thread for a save that prepares the next page while one is
// written. A posted job runs on the worker, or on the caller when the
// worker has not begun it by the time the caller needs it: a page is never
// left waiting for a thread that the system has not scheduled yet (the
// other core busy), and a cheap page costs no hand-over at all.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace ovin {

class aheadworker {
public:
    aheadworker() = default;
    ~aheadworker();
    aheadworker(const aheadworker&) = delete;
    aheadworker& operator=(const aheadworker&) = delete;

    // Hands over one job; the previous one must be finished.
    void post(std::function<void()> job);
    // The posted job done: run here when the worker has not begun it, else
    // waited for. An exception the job threw comes out here.
    void finish();

private:
    enum class stage { idle, posted, running, done };
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    std::exception_ptr thrown_;
    stage stage_ = stage::idle;
    bool quit_ = false;
    std::thread thread_; // started by the first job
};

} // namespace ovin
