// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A child process of a test: runs a program with arguments and extra environment,
// reads the first line it prints, stops it with a signal and collects its
// standard error.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace vyx::test {

class TProcess {
public:
    TProcess(const std::string& program, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& env = {});
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    // The first line of standard output, without its newline; empty when none
    // came within the time or the process ended first.
    std::string FirstLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Line `index` (0 is the first) of standard output, as FirstLine.
    std::string Line(size_t index, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Everything the process prints on standard output until it closes it
    // (after what FirstLine already read).
    std::string RestOfOutput();

    // Sends the signal and waits for the end; returns the exit status (or 128 +
    // the signal that killed it). Standard error is then in Stderr().
    int Stop(int signal);
    // Waits for the end without a signal.
    int Wait();
    bool Running() const;
    const std::string& Stderr() const { return stderr_; }
    // Processor time (user and system) the process used, once it has ended.
    std::chrono::microseconds CpuTime() const { return cpu_; }

private:
    void Collect();

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = -1;
    std::string stderr_;
    std::string pending_;
    std::chrono::microseconds cpu_{0};
};

// Runs a program to its end; its exit status, standard output and error.
struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};
TRun RunToEnd(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {});

}  // namespace vyx::test
