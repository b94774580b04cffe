// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/Json.h"

#include <cstdint>
#include <vector>

#include "registers/RegisterFile.h"
#include "base/Text.h"

namespace vyx::tool {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

ordered_json NodeToJson(const TNode& node) {
    const TRegData& r = node.Record;
    ordered_json j;
    j["Name"] = ToUtf8(r.Name);
    j["Note"] = ToUtf8(r.Note);
    j["Address"] = ToUtf8(r.Address);
    j["DataType"] = ToUtf8(r.DataType);
    j["Length"] = ToUtf8(r.Length);
    j["Access"] = ToUtf8(r.Access);
    j["Value"] = ToUtf8(r.Value);
    j["CheckState"] = node.CheckState;
    j["CheckType"] = node.CheckType;
    j["States"] = node.States;
    j["NodeHeight"] = node.NodeHeight;
    j["Align"] = node.Align;
    ordered_json children = ordered_json::array();
    for (size_t i = 0; i < node.ChildCount(); ++i) children.push_back(NodeToJson(*node.Child(i)));
    j["children"] = std::move(children);
    return j;
}

// Reads one document into the tree, keeping the path to the node being read
// for the error texts.
class TreeBuilder {
public:
    explicit TreeBuilder(TRegisterTree& tree) : tree_(tree) {}

    void Build(const json& doc) {
        if (!doc.is_object()) throw JsonError("top level: expected an object with \"nodes\"");
        for (const auto& [key, value] : doc.items()) {
            if (key == "version") {
                if (!value.is_number_integer())
                    throw JsonError("version: expected an integer");
            } else if (key != "nodes") {
                throw JsonError("top level: unknown key \"" + key + "\"");
            }
        }
        const auto nodes = doc.find("nodes");
        if (nodes == doc.end()) throw JsonError("top level: missing key \"nodes\"");
        if (!nodes->is_array()) throw JsonError("nodes: expected an array");
        Nodes(*nodes, nullptr);
    }

private:
    void Nodes(const json& list, TNode* parent) {
        for (size_t i = 0; i < list.size(); ++i) {
            path_.push_back(i);
            Node(list[i], tree_.AddChild(parent));
            path_.pop_back();
        }
    }

    void Node(const json& j, TNode* node) {
        if (!j.is_object()) Fail("", "expected an object");
        static const char* const kKeys[] = {"Name",   "Note",       "Address",    "DataType",
                                            "Length", "Access",     "Value",      "CheckState",
                                            "CheckType", "States",  "NodeHeight", "Align",
                                            "children"};
        for (const auto& item : j.items()) {
            bool known = false;
            for (const char* k : kKeys) known = known || item.key() == k;
            if (!known) Fail("", "unknown key \"" + item.key() + "\"");
        }
        if (!j.contains("Name")) Fail("", "missing key \"Name\"");

        TRegData& r = node->Record;
        Text(j, "Name", r.Name);
        Text(j, "Note", r.Note);
        Text(j, "Address", r.Address);
        Text(j, "DataType", r.DataType);
        Text(j, "Length", r.Length);
        Text(j, "Access", r.Access);
        Text(j, "Value", r.Value);
        node->CheckState = static_cast<uint8_t>(Integer(j, "CheckState", 0, 255, 0));
        node->CheckType = static_cast<uint8_t>(Integer(j, "CheckType", 0, 255, 0));
        node->NodeHeight =
            static_cast<uint16_t>(Integer(j, "NodeHeight", 0, 65535, kDefaultNodeHeight));
        node->Align = static_cast<uint8_t>(Integer(j, "Align", 0, 255, kDefaultAlign));

        const json* children = nullptr;
        if (const auto c = j.find("children"); c != j.end()) {
            if (!c->is_array()) Fail("children", "expected an array");
            children = &*c;
        }
        const bool hasChildren = children != nullptr && !children->empty();
        const uint16_t states = kStateVisible | (hasChildren ? kStateHasChildren : 0);
        node->States = static_cast<uint16_t>(Integer(j, "States", 0, 65535, states));

        if (hasChildren) {
            if (path_.size() >= kMaxNesting)
                Fail("children", "nested deeper than " + std::to_string(kMaxNesting) + " levels");
            Nodes(*children, node);
        }
    }

    void Text(const json& j, const char* key, std::u16string& field) {
        const auto v = j.find(key);
        if (v == j.end()) return;
        if (!v->is_string()) Fail(key, "expected a string");
        field = FromUtf8(v->get_ref<const std::string&>());
    }

    int64_t Integer(const json& j, const char* key, int64_t min, int64_t max, int64_t absent) {
        const auto v = j.find(key);
        if (v == j.end()) return absent;
        if (!v->is_number_integer()) Fail(key, "expected an integer");
        const bool inRange = v->is_number_unsigned()
                                 ? v->get<uint64_t>() <= static_cast<uint64_t>(max)
                                 : v->get<int64_t>() >= min && v->get<int64_t>() <= max;
        if (!inRange)
            Fail(key, "expected an integer from " + std::to_string(min) + " to " +
                          std::to_string(max));
        return v->get<int64_t>();
    }

    // A deep place is named by its first and last steps and its depth, so that
    // the message stays readable at any nesting.
    [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
        constexpr size_t kShownSteps = 3;
        const bool deep = path_.size() > 2 * kShownSteps;
        std::string place;
        for (size_t i = 0; i < path_.size(); ++i) {
            if (deep && i == kShownSteps) {
                place += "...";
                i = path_.size() - kShownSteps;
            }
            place += (i == 0 ? "nodes[" : ".children[") + std::to_string(path_[i]) + "]";
        }
        if (!key.empty()) place += "." + key;
        if (deep) place += " (in a node at depth " + std::to_string(path_.size()) + ")";
        throw JsonError(place + ": " + what);
    }

    TRegisterTree& tree_;
    std::vector<size_t> path_;
};

}  // namespace

nlohmann::ordered_json TreeToJson(const TRegisterTree& tree, int version) {
    ordered_json doc;
    doc["version"] = version;
    ordered_json nodes = ordered_json::array();
    for (size_t i = 0; i < tree.TopLevelCount(); ++i) nodes.push_back(NodeToJson(*tree.TopLevel(i)));
    doc["nodes"] = std::move(nodes);
    return doc;
}

void JsonToTree(const nlohmann::json& doc, TRegisterTree& tree) {
    tree.Clear();
    TreeBuilder(tree).Build(doc);
}

}  // namespace vyx::tool
