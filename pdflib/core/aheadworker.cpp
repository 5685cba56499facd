#include "core/aheadworker.h"

#include <utility>

namespace ovin {

aheadworker::~aheadworker() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void aheadworker::post(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        job_ = std::move(job);
        thrown_ = nullptr;
        stage_ = stage::posted;
    }
    changed_.notify_all();
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void aheadworker::finish() {
    std::unique_lock lock(mutex_);
    if (stage_ == stage::posted) {
        // Not begun: taken back and run here.
        std::function<void()> job = std::move(job_);
        stage_ = stage::idle;
        lock.unlock();
        job();
        return;
    }
    changed_.wait(lock, [this] { return stage_ != stage::running; });
    stage_ = stage::idle;
    if (std::exception_ptr thrown = std::exchange(thrown_, nullptr)) {
        std::rethrow_exception(thrown);
    }
}

void aheadworker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || stage_ == stage::posted; });
        if (quit_) {
            return;
        }
        std::function<void()> job = std::move(job_);
        stage_ = stage::running;
        lock.unlock();
        try {
            job();
        } catch (...) {
            lock.lock();
            thrown_ = std::current_exception();
            stage_ = stage::done;
            changed_.notify_all();
            continue;
        }
        lock.lock();
        stage_ = stage::done;
        changed_.notify_all();
    }
}

} // namespace ovin
