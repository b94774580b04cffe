// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON form of a register tree, as `vyx dump` prints it and `vyx build` reads it:
//   {"version": V, "nodes": [ {"Name": ..., ..., "children": [ ... ]}, ... ]}
// Texts are UTF-8; the integers are the node's attributes as they stand.
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "registers/RegisterTree.h"

namespace vyx::tool {

// Every key of a node, in the order a dump prints them.
nlohmann::ordered_json TreeToJson(const TRegisterTree& tree, int version);

// A document that does not describe a register tree. The text starts with the
// place of the fault, e.g. "nodes[1].children[0].Length: expected a string".
class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Clears `tree` and fills it from `doc`. Only Name is required; a missing text
// is empty, CheckState and CheckType 0, Align 50, NodeHeight the default row
// height, States the visible state plus the has-children state when the node
// has children. Unknown keys are refused, so that a misspelt key is not lost.
void JsonToTree(const nlohmann::json& doc, TRegisterTree& tree);

}  // namespace vyx::tool
