// A yardstick for the transaction: the same one-register read done by libmodbus's
// own master, back to back, on the same simulator.
//   modbus_master PORT COUNT [ADDRESS]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <modbus/modbus.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: modbus_master PORT COUNT [WIRE-ADDRESS]\n");
        return 1;
    }
    const int count = std::atoi(argv[2]);
    const int address = argc > 3 ? std::atoi(argv[3]) : 58;  // register 40059
    // No parity: a pseudo-terminal has none, and Linux refuses a change of parity alone.
    modbus_t* ctx = modbus_new_rtu(argv[1], 19200, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 247) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "modbus_master: cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    int good = 0;
    double longest = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        uint16_t value;
        if (modbus_read_registers(ctx, address, 1, &value) == 1) ++good;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (ms > longest) longest = ms;
    }
    const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("requests: %d, good: %d; per transaction: mean %.2f ms, longest %.2f ms\n", count, good,
                total / count, longest);
    modbus_close(ctx);
    modbus_free(ctx);
    return good == count ? 0 : 1;
}
