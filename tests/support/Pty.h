// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pseudo-terminal pair standing in for a serial line in tests. The test plays the
// device on the master side; the client under test opens SlavePath().
#include <chrono>
#include <cstdint>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <termios.h>

namespace vyx::test {

using Bytes = std::vector<uint8_t>;

// One piece of a scripted reply: wait Delay, then send Data.
struct TChunk {
    std::chrono::milliseconds Delay{0};
    Bytes Data;
};

class TPty {
public:
    // Opens the pair. The pair keeps a descriptor of its own on the slave side, so
    // the master never sees EIO while no client has it open; that side starts in
    // raw mode at 9600 baud, so a client's first configuration changes the speed
    // and never the parity alone. Throws std::runtime_error when it cannot.
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int MasterFd() const { return Master_; }
    const std::string& SlavePath() const { return SlavePath_; }

    // The pair's own descriptor on the slave side, for inspecting what the client
    // configured (the line is shared by every descriptor of the terminal).
    int SlaveFd() const { return Slave_; }
    termios SlaveAttributes() const;

    // Device side: sends bytes at once (all of them, or throws).
    void Send(const Bytes& data) const;
    // Sends the chunks in a thread of its own, each after its delay; the script
    // starts at once. WaitScript (or the destructor) joins it; false when the
    // script could not send everything.
    void SendScript(std::vector<TChunk> script);
    bool WaitScript();

    // What the client sent: reads until `count` bytes came or `timeout` passed
    // without reaching it.
    Bytes ReadClient(std::size_t count, std::chrono::milliseconds timeout) const;
    // Reads whatever the client sent until the line has been quiet for `quiet`.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const;
    // Throws away what the client sent so far.
    void Discard() const;

    // The device goes away: the master side is closed, which hangs up the
    // terminal for every client that has it open (as an unplugged adapter does).
    void HangUp();

private:
    // Reads until `count` bytes came, `limit` passed, or (when `quiet` is not
    // zero) the line has been quiet for `quiet`.
    Bytes ReadFromClient(std::size_t count, std::chrono::milliseconds limit, std::chrono::milliseconds quiet) const;

    int Master_ = -1;
    int Slave_ = -1;
    std::string SlavePath_;
    std::thread Script_;
    std::atomic<bool> ScriptFailed_{false};
};

}  // namespace vyx::test
