// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus: the one owner of the open port and of the line's state between
// exchanges (TWire). Everything that touches the port (connecting, every
// exchange, draining, closing) is a job run on the bus, one at a time, in the
// order posted.
//
// TInlineBus runs each job at once in the caller's thread: `vyx` and the tests
// that drive the core step by step use it, and their calls return with their
// results. TBusWorker runs the jobs in a thread of its own, so the window never
// waits for a reply: a job hands its results back through the owner's Deliver,
// which the window's adapter turns into queued calls on its own thread.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "modbus/Wire.h"
#include "port/Port.h"

namespace vyx {

class TBus {
public:
    using TJob = std::function<void(TPort&, TWire&)>;
    using TTask = std::function<void()>;
    virtual ~TBus() = default;

    // Runs the job on the bus after those posted before it; returns at once on
    // a worker.
    virtual void Post(TJob job) = 0;
    // Runs the job on the bus after those posted before it, and returns when it has run.
    virtual void Call(const TJob& job) = 0;
    // Hands `task` to the thread that owns the bus's results (called from a job).
    virtual void Deliver(TTask task) = 0;
    // True when results come back later, through Deliver, rather than inside Post.
    virtual bool Asynchronous() const = 0;
    // Jobs posted and not yet run, the one running included.
    virtual size_t Pending() const = 0;
    // Drops the jobs not yet begun, lets the running one end (a read ends within
    // its time-outs), and closes the port on the bus; later posts are dropped.
    virtual void Stop() = 0;
};

class TInlineBus final : public TBus {
public:
    explicit TInlineBus(TPort& port) : port_(port) {}
    void Post(TJob job) override { Call(job); }
    void Call(const TJob& job) override {
        if (!stopped_) job(port_, wire_);
    }
    void Deliver(TTask task) override { task(); }
    bool Asynchronous() const override { return false; }
    size_t Pending() const override { return 0; }
    void Stop() override {
        stopped_ = true;
        port_.ClosePort();
    }

private:
    TPort& port_;
    TWire wire_;
    bool stopped_ = false;
};

class TBusWorker final : public TBus {
public:
    // `deliver` runs a task in the owner's thread, later (it must not wait for it).
    TBusWorker(TPort& port, std::function<void(TTask)> deliver);
    // Stop()s.
    ~TBusWorker() override;

    void Post(TJob job) override;
    void Call(const TJob& job) override;
    void Deliver(TTask task) override { deliver_(std::move(task)); }
    bool Asynchronous() const override { return true; }

    size_t Pending() const override;
    // Also ends the thread; the port is closed on the bus, as the last thing it does.
    void Stop() override;

private:
    void Loop();

    TPort& port_;
    TWire wire_;
    std::function<void(TTask)> deliver_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TJob> jobs_;
    bool running_ = false;  // a job runs now
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vyx
