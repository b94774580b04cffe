// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device that `vyx sim` plays: every register of a register description file
// at the function and address a read of it uses, holding the file's value encoded
// by its type. Writes reach only the RW and RP registers; unknown addresses are
// refused. It tells what it is to functions 17 and 43/14 from its "Typ
// urządzenia" and "Wersja oprogramowania". It knows no transport: Sim.cpp puts
// it on a pseudo-terminal.
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <modbus/modbus.h>

#include "registers/RegisterTree.h"

namespace vyx {

class TSimDevice {
public:
    // Builds the register image from the tree. `noise` is the range R0 varies by
    // around its value on each read (0: steady); a whole-number R0 varies by whole
    // counts within its type's range. With `settleSeconds` above 0, R0 starts at 0
    // and approaches its value as a first-order system with that time constant:
    // value + (0 - value) * e^(-t / settleSeconds) at t seconds, plus the noise.
    TSimDevice(const TRegisterTree& tree, double noise, uint32_t seed, double settleSeconds = 0);
    ~TSimDevice();
    TSimDevice(const TSimDevice&) = delete;
    TSimDevice& operator=(const TSimDevice&) = delete;

    modbus_mapping_t* Mapping() const { return mapping_; }

    // True when every register of the range is served by the table of the
    // function (3 holding, 4 input) or, for writes (6, 16), is writable.
    bool Readable(int function, int address, int count) const;
    bool Writable(int address, int count) const;

    // Gives R0 a fresh reading; called before each read with the seconds since
    // the device started, the time a settling R0 has had.
    void VaryR0(double elapsedSeconds);

    // Before a read of registers at the function's address: a read that takes in
    // R0 is a measurement, counted in "Licznik pomiarów" (when the file has it),
    // which wraps after 65535. A steady device (noise 0, not settling) counts
    // nothing, so that its registers read the same every time.
    void CountReading(int function, int address, int count);

    // After a good write: when it wrote the value of "Zeruj licznik pomiarów" into
    // that entry's register, the device carries the command out (the counter goes
    // to 0) and clears the command register, as a device does.
    void RunCommand(int address, int count);

    size_t RegisterCount() const { return registers_; }

    // What the unit says it is, as Windows-1250 bytes (at most kMaxIdentityText;
    // empty when the file has no such register): the stored values of "Typ
    // urządzenia" and "Wersja oprogramowania" (e.g. "$0502"), as the tree shows
    // them, trailing spaces cut.
    static constexpr size_t kMaxIdentityText = 64;
    const std::string& TypeText() const { return type_; }
    const std::string& RevisionText() const { return revision_; }

    // The reply to a request of function 17 (report slave id: its address as
    // the id, running, then TypeText) or 43/14 (read device identification,
    // basic objects 0 vendor "vyx sim", 1 TypeText, 2 RevisionText, from the
    // object asked for), as a device that has the basic objects and stream
    // access only (conformity 01): the stream codes 1 to 3 all give every object
    // from the one asked for; exception 1 for another MEI type, 2 for an object
    // above 2, 3 for another code (4, individual access, among them) or a
    // request of the wrong length. `request` is n bytes
    // with a good CRC; the reply (CRC appended, at most 256 bytes) goes to
    // `reply`. Returns its length; 0 for a request of another function.
    int AnswerIdentity(const uint8_t* request, int n, uint8_t* reply) const;

private:
    struct TVarying {
        bool Present = false;
        bool Input = false;
        int Address = 0;
        int Type = 0;
        int Length = 0;
        double Base = 0;
    };

    modbus_mapping_t* mapping_ = nullptr;
    std::vector<bool> holdingServed_, inputServed_, writable_;
    TVarying r0_;
    int counter_ = -1;         // holding/input address of the measurement counter
    bool counterInput_ = false;
    int command_ = -1;         // holding address of the command register
    uint16_t zeroCounter_ = 0; // the command value that zeroes the counter
    double noise_;
    double settle_;  // the time constant of R0's approach to its value, in seconds; 0: none
    std::mt19937 random_;
    size_t registers_ = 0;
    std::string type_, revision_;
};

}  // namespace vyx
