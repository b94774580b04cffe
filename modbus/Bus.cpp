// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Bus.h"

#include <future>
#include <memory>

namespace vyx {

TBusWorker::TBusWorker(TPort& port, std::function<void(TTask)> deliver)
    : port_(port), deliver_(std::move(deliver)), thread_([this] { Loop(); }) {}

TBusWorker::~TBusWorker() { Stop(); }

void TBusWorker::Post(TJob job) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void TBusWorker::Call(const TJob& job) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    Post([&job, done](TPort& port, TWire& wire) {
        try {
            job(port, wire);
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    try {
        ran.get();
    } catch (const std::future_error&) {
        // A stopped bus dropped the job: it never ran.
    }
}

size_t TBusWorker::Pending() const {
    const std::lock_guard lock(mutex_);
    return jobs_.size() + (running_ ? 1 : 0);
}

void TBusWorker::Stop() {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ && !thread_.joinable()) return;
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void TBusWorker::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_ && jobs_.empty()) break;
        TJob job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        try {
            job(port_, wire_);
        } catch (...) {
            // A job hands its failures back itself; nothing may end the bus's thread.
        }
        lock.lock();
        running_ = false;
    }
    lock.unlock();
    port_.ClosePort();
}

}  // namespace vyx
