// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ScriptedLine.h"

#include "modbus/Frame.h"

namespace vyx::test {

TScriptedLine::TScriptedLine(TPlay play) : play_(std::move(play)), thread_([this] { Serve(); }) {}

TScriptedLine::~TScriptedLine() {
    stop_ = true;
    thread_.join();
}

std::vector<Bytes> TScriptedLine::Requests() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void TScriptedLine::Serve() {
    using std::chrono::milliseconds;
    while (!stop_) {
        // A request is whole once the line has been quiet a while; a short limit
        // keeps the loop looking at the stop flag.
        const Bytes request = pty_.ReadUntilQuiet(milliseconds(5), milliseconds(50));
        if (request.empty()) continue;
        size_t index = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            index = requests_.size();
            requests_.push_back(request);
        }
        for (const TChunk& chunk : play_(request, index)) {
            std::this_thread::sleep_for(chunk.Delay);
            if (!chunk.Data.empty()) pty_.Send(chunk.Data);
        }
    }
}

Bytes ReadReply(const Bytes& request, const std::vector<uint16_t>& words) {
    Bytes reply{request.at(0), request.at(1), static_cast<uint8_t>(2 * words.size())};
    for (const uint16_t w : words) {
        reply.push_back(static_cast<uint8_t>(w >> 8));
        reply.push_back(static_cast<uint8_t>(w));
    }
    return WithCrc(reply);
}

}  // namespace vyx::test
