// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated device's R0 without a terminal: its noise, its range and its
// settling, at times the test gives.
#include "tools/vyx/SimDevice.h"

#include <gtest/gtest.h>

#include <memory>

#include "modbus/Builders.h"
#include "registers/RegData.h"

using namespace vyx;

namespace {

// R0 as the input register 30001 of the type, holding `value`; what it serves.
struct TR0Device {
    TR0Device(const char16_t* type, const char16_t* value, double noise, double settle) {
        TNode* r0 = tree.AddChild(nullptr);
        r0->Record.Name = u"R0";
        r0->Record.Address = u"30001";
        r0->Record.DataType = type;
        r0->Record.Length = u"1";
        r0->Record.Access = u"RO";
        r0->Record.Value = value;
        device = std::make_unique<TSimDevice>(tree, noise, 7, settle);
    }
    double Served(double t) {
        device->VaryR0(t);
        const uint16_t word = device->Mapping()->tab_input_registers[MapReadRegister(30001).Address];
        return tree.First()->Record.DataType == u"INT" ? static_cast<int16_t>(word) : word;
    }
    TRegisterTree tree;
    std::unique_ptr<TSimDevice> device;
};

}  // namespace

TEST(SimDevice, SettlingR0ApproachesItsValueFromZero) {
    constexpr double T = 2.5;
    struct Case {
        const char16_t* type;
        double noise;
        double t;  // seconds since the start
        double low, high;
    } cases[] = {
        {u"INT", 0, 0, 0, 0},
        {u"INT", 0, -1, 0, 0},          // a clock read before the start: still the start
        {u"INT", 0, T, 630, 634},       // 1 - 1/e of the way after one time constant
        {u"INT", 0, 5 * T, 990, 995},   // less than 1 % left after five
        {u"INT", 0, 100 * T, 1000, 1000},
        {u"INT", 3, 0, -3, 3},
        {u"INT", 3, 5 * T, 987, 998},
        {u"WORD", 3, 0, 0, 3},          // an unsigned R0 stays in its range
    };
    for (const Case& c : cases) {
        TR0Device d(c.type, u"1000", c.noise, T);
        for (int i = 0; i < 5; ++i) {
            const double v = d.Served(c.t);
            EXPECT_GE(v, c.low) << "t " << c.t << " noise " << c.noise;
            EXPECT_LE(v, c.high) << "t " << c.t << " noise " << c.noise;
        }
    }
    // Without settling, R0 is at its value from the start.
    EXPECT_EQ(TR0Device(u"INT", u"1000", 0, 0).Served(0), 1000);
}
