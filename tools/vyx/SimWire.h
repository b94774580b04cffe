// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's side of the wire, shared by its terminal and its network
// connections: pacing a reply at the line's speed, telling a request's length
// and reading one request frame.
#include <csignal>
#include <cstdint>
#include <ctime>

#include <modbus/modbus.h>

namespace vyx::sim {

// Set by a signal: every loop of the simulator ends soon after.
extern volatile std::sig_atomic_t gStop;

void SleepUntil(const timespec& t);
timespec After(timespec t, double seconds);

// Writes the reply, byte by byte at the line's pace when a baud rate is given.
void Send(int fd, const uint8_t* bytes, int n, long baud);
// The length of a request frame from its first bytes: 0 while too few bytes have
// arrived to tell, -1 for a function whose length is not known.
int RequestLength(const uint8_t* b, int n);

// Bytes that came behind a complete frame: the start of the next one. A
// simulator that a busy machine holds up may find two requests queued.
struct TCarry {
    uint8_t bytes[MODBUS_RTU_MAX_ADU_LENGTH];
    int n = 0;
};

// Reads one request frame: complete by its length, or ended by a pause of 5 ms.
// Returns its length, 0 when nothing came before the stop flag; on a connection
// (`stream`), -1 once the client has closed it.
int ReceiveFrame(int fd, uint8_t* buf, int size, TCarry& carry, bool stream = false);

}  // namespace vyx::sim
