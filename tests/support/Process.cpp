// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vyx::test {
namespace {

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        s.append(buf, static_cast<size_t>(n));
    }
    return s;
}

int StatusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

}  // namespace

TProcess::TProcess(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

TProcess::~TProcess() {
    if (status_ < 0 && pid_ > 0) Stop(SIGKILL);
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

std::string TProcess::FirstLine(std::chrono::milliseconds timeout) { return Line(0, timeout); }

std::string TProcess::Line(size_t index, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    const auto start = [&] {
        size_t at = 0;
        for (size_t i = 0; i < index; ++i) {
            const size_t newline = pending_.find('\n', at);
            if (newline == std::string::npos) return std::string::npos;
            at = newline + 1;
        }
        return at;
    };
    while (start() == std::string::npos || pending_.find('\n', start()) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "";
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
        char buf[256];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) return "";
        pending_.append(buf, static_cast<size_t>(n));
    }
    const size_t at = start();
    return pending_.substr(at, pending_.find('\n', at) - at);
}

bool TProcess::Running() const {
    if (status_ >= 0) return false;
    int raw;
    return waitpid(pid_, &raw, WNOHANG) == 0;
}

void TProcess::Collect() { stderr_ = ReadAll(err_); }

int TProcess::Stop(int signal) {
    if (status_ >= 0) return status_;
    kill(pid_, signal);
    return Wait();
}

int TProcess::Wait() {
    if (status_ >= 0) return status_;
    Collect();
    int raw = 0;
    rusage usage{};
    wait4(pid_, &raw, 0, &usage);
    status_ = StatusOf(raw);
    const auto micros = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    cpu_ = micros(usage.ru_utime) + micros(usage.ru_stime);
    return status_;
}

std::string TProcess::RestOfOutput() {
    std::string out = std::move(pending_);
    pending_.clear();
    return out + ReadAll(out_);
}

TRun RunToEnd(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env) {
    TProcess p(program, args, env);
    const std::string out = p.RestOfOutput();
    const int status = p.Wait();
    return {status, out, p.Stderr()};
}

}  // namespace vyx::test
