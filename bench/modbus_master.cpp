// SPDX-License-Identifier: GPL-3.0-or-later
// A yardstick for the transaction: the same register read done by libmodbus's
// own master, back to back, on the same simulator.
//   modbus_master PORT COUNT [WIRE-ADDRESS [REGISTERS]]
// Prints the times per transaction as `vyx read --count` does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <modbus/modbus.h>

namespace {

// Nearest rank, as `vyx read --count` reports it.
double Percentile(const std::vector<double>& sorted, unsigned percent) {
    if (sorted.empty()) return 0;
    const size_t rank = std::max<size_t>(1, (percent * sorted.size() + 99) / 100);
    return sorted[std::min(rank, sorted.size()) - 1];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: modbus_master PORT COUNT [WIRE-ADDRESS [REGISTERS]]\n");
        return 1;
    }
    const int count = std::atoi(argv[2]);
    const int address = argc > 3 ? std::atoi(argv[3]) : 58;  // register 40059
    const int registers = argc > 4 ? std::atoi(argv[4]) : 1;
    if (count < 1 || registers < 1 || registers > MODBUS_MAX_READ_REGISTERS) {
        std::fprintf(stderr, "modbus_master: bad count or number of registers\n");
        return 1;
    }
    // No parity: a pseudo-terminal has none, and Linux refuses a change of parity alone.
    modbus_t* ctx = modbus_new_rtu(argv[1], 19200, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 247) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "modbus_master: cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    int good = 0;
    std::vector<double> times;
    times.reserve(static_cast<size_t>(count));
    std::vector<uint16_t> values(static_cast<size_t>(registers));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (modbus_read_registers(ctx, address, registers, values.data()) == registers) ++good;
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::sort(times.begin(), times.end());
    std::printf("requests: %d, good: %d; per transaction: mean %.2f ms, median %.2f ms, 95th percentile %.2f ms, "
                "longest %.2f ms\n",
                count, good, total / count, Percentile(times, 50), Percentile(times, 95), times.back());
    modbus_close(ctx);
    modbus_free(ctx);
    return good == count ? 0 : 1;
}
