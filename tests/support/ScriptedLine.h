// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A line that misbehaves as real ones do, on a pseudo-terminal: the device side
// takes each request the client sends (its bytes until the line is quiet) and
// plays back what the test makes of it, byte events each after its delay: an
// echo of the request, a stray byte, another unit's reply, a reply after the
// client's wait, a reply trickling in byte by byte.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Pty.h"
#include "tests/support/Wire.h"

namespace vyx::test {

class TScriptedLine {
public:
    // What to send back for request `index` (counted from 0).
    using TPlay = std::function<std::vector<TChunk>(const Bytes& request, size_t index)>;

    explicit TScriptedLine(TPlay play);
    ~TScriptedLine();
    TScriptedLine(const TScriptedLine&) = delete;
    TScriptedLine& operator=(const TScriptedLine&) = delete;

    const std::string& Path() const { return pty_.SlavePath(); }
    std::vector<Bytes> Requests() const;

private:
    void Serve();

    TPty pty_;
    TPlay play_;
    mutable std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The good reply to a read request (function 3 or 4): its words, CRC appended.
Bytes ReadReply(const Bytes& request, const std::vector<uint16_t>& words);

}  // namespace vyx::test
