// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the register file reader. Besides crashes, leaks
// and hangs, it checks that whatever the reader built (all of a file, or the
// nodes read before a failure) is written and read back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "base/Error.h"
#include "registers/RegisterFile.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "RegisterFile_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vyx::TRegisterTree tree;
    bool loaded = true;
    try {
        vyx::LoadRegisterBytes(tree, std::span<const uint8_t>(data, size));
    } catch (const vyx::Error&) {
        // A damaged file: the nodes read so far stay (selected flags and all)
        // and must be sound.
        loaded = false;
    }

    const std::vector<uint8_t> saved = vyx::SaveRegisterBytes(tree);
    vyx::TRegisterTree back;
    try {
        if (vyx::LoadRegisterBytes(back, saved) != 2) Fail("written file is not version 2");
    } catch (const vyx::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Fail("written file does not load");
    }
    if (back.Count() != tree.Count()) Fail("node count changed");
    for (const vyx::TNode *a = tree.First(), *b = back.First(); a != nullptr;
         a = tree.NextNode(a), b = back.NextNode(b)) {
        if (b == nullptr || a->ChildCount() != b->ChildCount() || a->Level() != b->Level())
            Fail("tree shape changed");
        if (!(a->Record == b->Record)) Fail("record changed");
        const uint16_t states = vyx::SavedStates(a->States) & ~vyx::kStateSelected;
        if (b->States != states || a->NodeHeight != b->NodeHeight || a->Align != b->Align ||
            a->CheckState != b->CheckState || a->CheckType != b->CheckType)
            Fail("node attributes changed");
    }
    // A whole load clears the selected flags, so only then is the second save
    // the same bytes as the first.
    if (loaded && vyx::SaveRegisterBytes(back) != saved) Fail("second save differs");
    return 0;
}
