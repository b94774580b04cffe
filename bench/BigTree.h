// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register tree the benchmarks measure: 100 000 nodes, 1 000 top-level
// groups of 99 registers each, records like those of a real device map.
#include <string>

#include "registers/RegisterTree.h"
#include "base/Text.h"

namespace vyx::bench {

constexpr int kGroups = 1000;
constexpr int kPerGroup = 99;  // with its group: 100 nodes

inline void Generate(vyx::TRegisterTree& tree) {
    static const char* const kTypes[] = {"WORD", "INT", "REAL", "TEXT", "HEX", "PREC", "FLOAT", "FINE"};
    static const char* const kValues[] = {"123", "-45", "12,50", "Zbiornik 1", "$0A", "0,12345678",
                                          "400,00", "1,0000"};
    static const char* const kLengths[] = {"1", "1", "2", "8", "1", "2", "2", "2"};
    tree.Clear();
    int address = 40001;
    for (int g = 0; g < kGroups; ++g) {
        vyx::TNode* group = tree.AddChild(nullptr);
        group->Record.Name = vyx::U16("Grupa rejestrów " + std::to_string(g));
        group->Record.Note = vyx::U16("Opis grupy");
        group->States = vyx::kStateInitialized | vyx::kStateVisible | vyx::kStateHasChildren;
        for (int r = 0; r < kPerGroup; ++r) {
            const int t = r % 8;
            vyx::TNode* n = tree.AddChild(group);
            n->Record = {vyx::U16("Rejestr pomiarowy " + std::to_string(g) + "." + std::to_string(r)),
                         vyx::U16("Wartość zmierzona, jednostka °C"),
                         vyx::U16(std::to_string(address)),
                         vyx::U16(kTypes[t]),
                         vyx::U16(kLengths[t]),
                         vyx::U16(r % 3 == 0 ? "RO" : "RW"),
                         vyx::U16(kValues[t])};
            n->States = vyx::kStateInitialized | vyx::kStateVisible;
            address = address >= 65000 ? 40001 : address + 2;
        }
    }
}

}  // namespace vyx::bench
