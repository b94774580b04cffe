// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/RegisterFile.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Text.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TreeCompare.h"

namespace vyx {
namespace {

using test::FileBytes;
using test::ExpectSameTree;
using test::HexBytes;

constexpr const char* kReadError = "Stream read error";
constexpr const char* kChunkTooLarge = "Stream data corrupt. Chunk size exceeds the data available.";

// The error text a load ends with, or "(loaded)".
std::string LoadError(TRegisterTree& tree, const std::vector<uint8_t>& bytes) {
    try {
        LoadRegisterBytes(tree, bytes);
    } catch (const Error& e) {
        return e.what();
    }
    return "(loaded)";
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
    TRegisterTree tree;
    return LoadError(tree, bytes);
}

TRegisterTree Loaded(const std::vector<uint8_t>& bytes) {
    TRegisterTree tree;
    LoadRegisterBytes(tree, bytes);
    return tree;
}

// --- The worked example -------------------------------------------------------

const std::vector<uint8_t> kWorkedExample = HexBytes(
    "45 20 56 00 54 00 02 00 20 00 46 20"
    "01 00 00 00"
    "01 00 00 00 4C 00 00 00"
    "02 00 00 00 11 00 00 00  00 00 00 00  12 00 00 00  81 00  32  00  00  00 00 00 00"
    "04 00 00 00 21 00 00 00  06 01 47"
    "  12 00 00 00 00  12 00 00 00 00  12 00 00 00 00"
    "  12 00 00 00 00  12 00 00 00 00  12 00 00 00 00"
    "03 00 00 00 02 00 00 00 47 00");

TEST(RegisterFileWorkedExample, WriterProducesItByteForByte) {
    TRegisterTree tree;
    TNode* g = tree.AddChild(nullptr);
    g->Record.Name = u"G";
    g->NodeHeight = 0x12;
    g->States = kStateVisible;
    EXPECT_EQ(SaveRegisterBytes(tree), kWorkedExample);
    EXPECT_EQ(g->States, kStateVisible) << "saving leaves the tree unchanged";
}

TEST(RegisterFileWorkedExample, ReaderLoadsIt) {
    TRegisterTree tree;
    EXPECT_EQ(LoadRegisterBytes(tree, kWorkedExample), 2);
    ASSERT_EQ(tree.Count(), 1u);
    const TNode* g = tree.First();
    EXPECT_EQ(g->Record, (TRegData{u"G", u"", u"", u"", u"", u"", u""}));
    EXPECT_EQ(g->NodeHeight, 0x12);
    EXPECT_EQ(g->States, 0x81);
    EXPECT_EQ(g->Align, 50);
    EXPECT_EQ(g->CheckState, 0);
    EXPECT_EQ(g->CheckType, 0);
}

// --- Header ---------------------------------------------------------------------

TEST(RegisterFileHeader, ShortFilesFail) {
    for (size_t size : {0u, 1u, 6u, 11u}) {
        SCOPED_TRACE(size);
        TRegisterTree tree;
        tree.AddChild(nullptr);
        std::vector<uint8_t> bytes = FileBytes().Magic(2).Bytes();
        bytes.resize(size);
        EXPECT_EQ(LoadError(tree, bytes), "Unable to load tree structure, not enough data available.");
        EXPECT_EQ(tree.Count(), 0u) << "the old tree is gone before the file is examined";
    }
}

TEST(RegisterFileHeader, EachCheckedMagicUnitMatters) {
    // Code units 0, 1, 2 and 5 are checked; 4 is not.
    for (size_t unit : {0u, 1u, 2u, 5u}) {
        SCOPED_TRACE(unit);
        std::vector<uint8_t> bytes = FileBytes().Magic(2).U32(0).Bytes();
        bytes[2 * unit] ^= 0x01;
        TRegisterTree tree;
        tree.AddChild(nullptr);
        EXPECT_EQ(LoadError(tree, bytes), "Unable to load tree structure, the format is wrong.");
        EXPECT_EQ(tree.Count(), 0u);
    }
    FileBytes f;
    f.Magic(2, 0x0041).U32(1).SimpleNode2(u"A");
    EXPECT_EQ(LoadError(f.Bytes()), "(loaded)");
    EXPECT_EQ(Loaded(f.Bytes()).First()->Record.Name, u"A");
}

TEST(RegisterFileHeader, VersionsAboveTwoAreUnknown) {
    for (uint16_t version : {3, 0x0100, 0xFFFF}) {
        SCOPED_TRACE(version);
        TRegisterTree tree;
        tree.AddChild(nullptr);
        EXPECT_EQ(LoadError(tree, FileBytes().Magic(version).U32(0).Bytes()),
                  "Unable to load tree structure, the version is unknown.");
        EXPECT_EQ(tree.Count(), 0u);
    }
}

TEST(RegisterFileHeader, TopLevelCount) {
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, FileBytes().Magic(2).U32(0).Bytes()), "(loaded)");
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_EQ(LoadError(FileBytes().Magic(2).Bytes()), kReadError);
    EXPECT_EQ(LoadError(FileBytes().Magic(2).U16(0).Bytes()), kReadError);

    // A count of 0 ignores the nodes that follow.
    EXPECT_EQ(Loaded(FileBytes().Magic(2).U32(0).SimpleNode2(u"A").Bytes()).Count(), 0u);

    FileBytes three;
    three.Magic(2).U32(5).SimpleNode2(u"A").SimpleNode2(u"B").SimpleNode2(u"C");
    TRegisterTree all = Loaded(three.Bytes());
    ASSERT_EQ(all.TopLevelCount(), 3u) << "a count beyond the nodes present ends at the end";
    EXPECT_EQ(all.TopLevel(2)->Record.Name, u"C");

    FileBytes extra;
    extra.Magic(2).U32(2).SimpleNode2(u"A").SimpleNode2(u"B").SimpleNode2(u"C").Hex("FF FF");
    TRegisterTree two = Loaded(extra.Bytes());
    ASSERT_EQ(two.TopLevelCount(), 2u) << "nodes and bytes after the counted ones are ignored";
    EXPECT_EQ(two.TopLevel(1)->Record.Name, u"B");
}

// --- Versions 0 and 1 -------------------------------------------------------------

TEST(RegisterFileOldVersions, NodesRunToTheEndWithTwelveByteBase) {
    for (uint16_t version : {0, 1}) {
        SCOPED_TRACE(version);
        FileBytes f;
        f.Magic(version);
        for (const char* name : {"A", "B", "C"}) {
            f.Begin(1);
            f.Begin(2).Base01(0, 20, 0x81, 40, 2, 3).End();
            f.Begin(4).Str06(name).Empty12(6).End();
            f.End();
        }
        TRegisterTree tree;
        EXPECT_EQ(LoadRegisterBytes(tree, f.Bytes()), version);
        ASSERT_EQ(tree.TopLevelCount(), 3u);
        const TNode* c = tree.TopLevel(2);
        EXPECT_EQ(c->Record.Name, u"C");
        EXPECT_EQ(c->NodeHeight, 20);
        EXPECT_EQ(c->Align, 40);
        EXPECT_EQ(c->CheckState, 2);
        EXPECT_EQ(c->CheckType, 3);
    }
}

TEST(RegisterFileOldVersions, StatesByteBecomesStatesWord) {
    struct Case {
        uint8_t byte;
        uint16_t loaded;  // after the selected flag is cleared
    };
    // Bit 7 of the byte also sets bit 8 (selected, then cleared); bit 7 is always set.
    const Case cases[] = {{0x80, 0x0080}, {0x00, 0x0080}, {0x01, 0x0081},
                          {0x61, 0x00E1}, {0xFF, 0x00FF}, {0x28, 0x00A8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        FileBytes f;
        f.Magic(1).Begin(1).Begin(2).Base01(0, 18, c.byte).End().End();
        EXPECT_EQ(Loaded(f.Bytes()).First()->States, c.loaded);
    }
}

TEST(RegisterFileOldVersions, ChildrenAndRoundTrip) {
    for (uint16_t version : {0, 1}) {
        SCOPED_TRACE(version);
        FileBytes f;
        f.Magic(version);
        f.Begin(1);
        f.Begin(2).Base01(2, 18, 0xE1, 50, 0, 1);
        for (const char* name : {"x", "y"}) {
            f.Begin(1).Begin(2).Base01(0, 22, 0x81, 7, 2, 2).End();
            f.Begin(4).Str06(name).Str0C("n").Str14("30001").Str06("BIT").Str06("1").Str06("").Str06("5").End();
            f.Caption(u"podpis");
            f.End();
        }
        f.End();
        f.Begin(4).Str06("grupa").Empty12(6).End();
        f.End();
        f.Begin(1).Begin(2).Base01(0, 18, 0x09).End().End();

        const TRegisterTree first = Loaded(f.Bytes());
        ASSERT_EQ(first.Count(), 4u);
        EXPECT_EQ(first.First()->States, 0x00E1);
        EXPECT_EQ(first.First()->Child(1)->Record.Value, u"5");
        EXPECT_EQ(first.TopLevel(1)->States, 0x0089);

        const std::vector<uint8_t> saved = SaveRegisterBytes(first);
        TRegisterTree second;
        EXPECT_EQ(LoadRegisterBytes(second, saved), 2);
        ExpectSameTree(first, second);
        EXPECT_EQ(SaveRegisterBytes(second), saved);
    }
}

// --- Chunks -------------------------------------------------------------------------

TEST(RegisterFileChunks, NodeWithoutUserChunkHasEmptyRecord) {
    FileBytes f;
    f.Magic(2).U32(2);
    f.Begin(1).Begin(2).Base2(0, 25, 0x81).End().End();
    f.Header(1, 0);  // a node chunk with nothing in it keeps the defaults
    const TRegisterTree tree = Loaded(f.Bytes());
    ASSERT_EQ(tree.Count(), 2u);
    EXPECT_EQ(tree.TopLevel(0)->Record, TRegData{});
    EXPECT_EQ(tree.TopLevel(0)->NodeHeight, 25);
    const TNode* bare = tree.TopLevel(1);
    EXPECT_EQ(bare->Record, TRegData{});
    EXPECT_EQ(bare->States, kStateVisible);
    EXPECT_EQ(bare->Align, 50);
    EXPECT_EQ(bare->NodeHeight, kDefaultNodeHeight);
}

TEST(RegisterFileChunks, ChunksInAnyOrderAndUnknownOnesSkipped) {
    FileBytes f;
    f.Magic(2).U32(1);
    f.Begin(1);
    f.Caption(u"Podpis inny niż nazwa");
    f.Header(7, 10).Hex("01 02 03 04 05 06 07 08 09 0A");
    f.Begin(4).Str14("Nazwa").Empty12(6).End();
    f.Header(-3, 0);
    f.Begin(2).Base2(0, 18, 0x81).End();
    f.End();
    const TRegisterTree tree = Loaded(f.Bytes());
    ASSERT_EQ(tree.Count(), 1u);
    EXPECT_EQ(tree.First()->Record.Name, u"Nazwa") << "the caption never changes Name";
}

TEST(RegisterFileChunks, LaterChunksOverrideEarlierOnes) {
    FileBytes f;
    f.Magic(2).U32(1);
    f.Begin(1);
    f.Begin(4).Str06("pierwszy").Empty12(6).End();
    f.Begin(2).Base2(0, 18, 0x81).End();
    f.Begin(4).Str06("drugi").Empty12(6).End();
    f.End();
    EXPECT_EQ(Loaded(f.Bytes()).First()->Record.Name, u"drugi");
}

TEST(RegisterFileChunks, UserChunkWithEightStringsSkipsTheEighth) {
    FileBytes f;
    f.Magic(2).U32(1);
    f.Begin(1);
    f.Begin(4).Str06("A").Str06("B").Str06("C").Str06("D").Str06("E").Str06("F").Str06("G")
        .Str06("ósmy").End();
    f.Begin(2).Base2(0, 18, 0x81).End();
    f.End();
    const TRegisterTree tree = Loaded(f.Bytes());
    EXPECT_EQ(tree.First()->Record, (TRegData{u"A", u"B", u"C", u"D", u"E", u"F", u"G"}));
}

TEST(RegisterFileChunks, UserChunkShorterThanItsStrings) {
    // The seventh string carries 8 bytes that form a chunk header (type 7, size
    // 0). The chunk's size ends before them, so after reading all seven strings
    // whole the reader goes back and takes them as that header.
    FileBytes f;
    f.Magic(2).U32(1);
    f.Begin(1);
    f.Begin(2).Base2(0, 18, 0x81).End();
    const std::string header("\x07\0\0\0\0\0\0\0", 8);
    f.Header(4, 6 * 3 + 2).Str06("A").Str06("B").Str06("C").Str06("D").Str06("E").Str06("F")
        .Str06(header);
    f.End();
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()), "(loaded)");
    EXPECT_EQ(tree.First()->Record.Value, FromCp1250(header));
    EXPECT_EQ(tree.First()->Record.Name, u"A");
}

TEST(RegisterFileChunks, UserChunkOfSizeZeroOrBelowMeansNothing) {
    for (int32_t size : {0, -1, -100000}) {
        SCOPED_TRACE(size);
        FileBytes f;
        f.Magic(2).U32(1);
        f.Begin(1).Header(4, size).Begin(2).Base2(0, 18, 0x81).End().End();
        const TRegisterTree tree = Loaded(f.Bytes());
        EXPECT_EQ(tree.First()->Record, TRegData{});
    }
}

TEST(RegisterFileChunks, StatesKeptSelectedClearedInvisibleLoaded) {
    FileBytes f;
    f.Magic(2).U32(2);
    f.Begin(1).Begin(2).Base2(0, 18, 0xFFFF).End().End();
    f.Begin(1).Begin(2).Base2(0, 18, 0x0001).End().End();
    const TRegisterTree tree = Loaded(f.Bytes());
    EXPECT_EQ(tree.TopLevel(0)->States, 0xFEFF) << "everything but selected kept as found";
    EXPECT_EQ(tree.TopLevel(1)->States, 0x0001) << "a node without the visible state is kept";
}

TEST(RegisterFileChunks, NestedChildrenInOrder) {
    FileBytes f;
    f.Magic(2).U32(1);
    f.Begin(1).Begin(2).Base2(2, 18, 0xE1);
    f.Begin(1).Begin(2).Base2(1, 18, 0xC1);
    f.SimpleNode2(u"a1");
    f.End().Begin(4).Str06("a").Empty12(6).End().End();
    f.SimpleNode2(u"b");
    f.End().Begin(4).Str06("root").Empty12(6).End().End();
    const TRegisterTree tree = Loaded(f.Bytes());
    std::vector<std::u16string> order;
    for (const TNode* n = tree.First(); n; n = tree.NextNode(n)) order.push_back(n->Record.Name);
    EXPECT_EQ(order, (std::vector<std::u16string>{u"root", u"a", u"a1", u"b"}));
    EXPECT_EQ(tree.First()->Child(0)->Child(0)->Parent(), tree.First()->Child(0));
}

// --- String values --------------------------------------------------------------

TEST(RegisterFileStrings, EveryFormInEveryField) {
    // "łódź" in each of the four forms.
    const std::u16string expected = U16("łódź");
    const std::string cp1250 = "\xB3\xF3\x64\x9F";
    for (int form = 0; form < 4; ++form) {
        for (int field = 0; field < 7; ++field) {
            SCOPED_TRACE("form " + std::to_string(form) + " field " + std::to_string(field));
            FileBytes f;
            f.Magic(2).U32(1).Begin(1).Begin(4);
            for (int i = 0; i < 7; ++i) {
                if (i != field) {
                    f.Str06("-");
                } else if (form == 0) {
                    f.Str06(cp1250);
                } else if (form == 1) {
                    f.Str0C(cp1250);
                } else if (form == 2) {
                    f.Str12(expected);
                } else {
                    f.Str14("łódź");
                }
            }
            f.End().End();
            const TRegisterTree tree = Loaded(f.Bytes());
            const TRegData& r = tree.First()->Record;
            const std::u16string* fields[] = {&r.Name,   &r.Note,   &r.Address, &r.DataType,
                                              &r.Length, &r.Access, &r.Value};
            for (int i = 0; i < 7; ++i) EXPECT_EQ(*fields[i], i == field ? expected : u"-");
        }
    }
}

TEST(RegisterFileStrings, InvalidUtf8BecomesReplacementCharacters) {
    FileBytes f;
    f.Magic(2).U32(1).Begin(1).Begin(4).Str14("A\xFF" "B\xC3").Empty12(6).End().End();
    EXPECT_EQ(Loaded(f.Bytes()).First()->Record.Name, u"A\uFFFDB\uFFFD");
}

TEST(RegisterFileStrings, InvalidFormByteKeepsWhatWasRead) {
    for (uint8_t form : {0x00, 0x05, 0x07, 0x13, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(form));
        FileBytes f;
        f.Magic(2).U32(2).SimpleNode2(u"pierwszy");
        f.Begin(1).Begin(2).Base2(0, 30, 0x81).End();
        f.Begin(4).Str06("N").Str06("uwaga").U8(form).U8(0).Empty12(4).End().End();
        TRegisterTree tree;
        EXPECT_EQ(LoadError(tree, f.Bytes()), "Invalid property value");
        ASSERT_EQ(tree.Count(), 2u) << "the node being read stays";
        const TNode* second = tree.TopLevel(1);
        EXPECT_EQ(second->Record.Name, u"N");
        EXPECT_EQ(second->Record.Note, u"uwaga");
        EXPECT_EQ(second->Record.Address, u"");
        EXPECT_EQ(second->NodeHeight, 30);
    }
}

TEST(RegisterFileStrings, FileEndingInsideAStringValue) {
    // Each cut ends inside the form byte, the length or the text.
    const std::vector<std::vector<uint8_t>> strings = {
        HexBytes("06"), HexBytes("06 05 41 42"), HexBytes("0C 05 00"), HexBytes("0C 05 00 00 00 41"),
        HexBytes("12 02 00 00 00 41 00 42"), HexBytes("14 FF FF FF FF 41"),
        HexBytes("12 FF FF FF 7F")};
    for (const auto& s : strings) {
        FileBytes f;
        f.Magic(2).U32(1).Header(1, 1000).Header(4, 100).Str06("jest");
        for (uint8_t b : s) f.U8(b);
        TRegisterTree tree;
        EXPECT_EQ(LoadError(tree, f.Bytes()), kReadError);
        ASSERT_EQ(tree.Count(), 1u);
        EXPECT_EQ(tree.First()->Record.Name, u"jest");
    }
}

// --- Damaged files ------------------------------------------------------------------

TEST(RegisterFileDamaged, AnchorChunkMissing) {
    FileBytes top;
    top.Magic(2).U32(2).SimpleNode2(u"A").Begin(2).Base2(0, 18, 0x81).End();
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, top.Bytes()), "Stream data corrupt. A node's anchor chunk is missing.");
    EXPECT_EQ(tree.TopLevelCount(), 2u) << "the nodes read so far, and the one being read";

    FileBytes child;
    child.Magic(2).U32(1).Begin(1).Begin(2).Base2(1, 18, 0xC1);
    child.Header(2, 17).Base2(0, 18, 0x81).Header(7, 0).End().End();
    TRegisterTree withChild;
    EXPECT_EQ(LoadError(withChild, child.Bytes()),
              "Stream data corrupt. A node's anchor chunk is missing.");
    ASSERT_EQ(withChild.Count(), 2u);
    EXPECT_EQ(withChild.First()->ChildCount(), 1u);
}

TEST(RegisterFileDamaged, ChunksNotEndingAtTheNodesEnd) {
    // The base body runs 5 bytes past the node chunk's declared size.
    FileBytes f;
    f.Magic(2).U32(1).Header(1, 8 + 12).Header(2, 17).Base2(0, 18, 0x81).Hex("00 00 00 00 00");
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()),
              "Stream data corrupt. Unexpected data after node's end position.");
    EXPECT_EQ(tree.Count(), 1u);

    // A user chunk that passes the node's end.
    FileBytes g;
    g.Magic(2).U32(1).Header(1, 8 + 10).Header(4, 33).Str06("A").Empty12(6);
    EXPECT_EQ(LoadError(g.Bytes()), "Stream data corrupt. Unexpected data after node's end position.");
}

TEST(RegisterFileDamaged, FileEndingInsideChunkHeaderOrBaseBody) {
    FileBytes full;
    full.Magic(2).U32(1).Begin(1).Begin(2).Base2(0, 18, 0x81).End().End();
    const std::vector<uint8_t> bytes = full.Bytes();
    // Cut inside the node header (16..23), the base header (24..31) and the base body (32..48).
    for (size_t cut = 17; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(LoadError(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut)), kReadError);
    }
    FileBytes old;
    old.Magic(1).Header(1, 20).Header(2, 12).Base01(0, 18, 0x81).Bytes();
    std::vector<uint8_t> oldBytes = old.Bytes();
    oldBytes.pop_back();
    EXPECT_EQ(LoadError(oldBytes), kReadError);
}

TEST(RegisterFileDamaged, NodeRunningPastTheEndOfTheFile) {
    FileBytes f;
    f.Magic(2).U32(1).Header(1, 1000).Begin(2).Base2(0, 18, 0x81).End();
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()), kReadError);
    EXPECT_EQ(tree.Count(), 1u);
}

TEST(RegisterFileDamaged, ChunksRunningPastTheEndOfTheFile) {
    constexpr const char* kUnexpected = "Stream data corrupt. Unexpected data after node's end position.";
    // A skipped chunk and a user chunk only move the position: past the node's
    // end that is the node's overrun, wherever the file ends.
    FileBytes skipped;
    skipped.Magic(2).U32(1).Begin(1).Header(9, 100).Hex("00 00").End();
    EXPECT_EQ(LoadError(skipped.Bytes()), kUnexpected);
    FileBytes user;
    user.Magic(2).U32(1).Begin(1).Header(4, 100).Str06("A").Empty12(6).End();
    EXPECT_EQ(LoadError(user.Bytes()), kUnexpected);
    // A caption is read, so it fails at the end of the file.
    FileBytes caption;
    caption.Magic(2).U32(1).Begin(1).Header(3, 100).Hex("41 00").End();
    EXPECT_EQ(LoadError(caption.Bytes()), kReadError);
    // Within a node that claims more than the file holds, the next header cannot be read.
    FileBytes inside;
    inside.Magic(2).U32(1).Header(1, 1000).Header(9, 100).Hex("00 00");
    EXPECT_EQ(LoadError(inside.Bytes()), kReadError);
    // Skipping to exactly such a node's end completes it.
    FileBytes exact;
    exact.Magic(2).U32(1).Header(1, 8 + 100).Header(9, 100).Hex("00 00");
    TRegisterTree tree;
    EXPECT_EQ(LoadRegisterBytes(tree, exact.Bytes()), 2);
    EXPECT_EQ(tree.Count(), 1u);
}

TEST(RegisterFileDamaged, FailedLoadKeepsTheSelectedFlags) {
    // The flags are cleared only after the last node; a failure never gets there.
    FileBytes f;
    f.Magic(2).U32(2).SimpleNode2(u"A", 0x181).Header(2, 0);
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()), "Stream data corrupt. A node's anchor chunk is missing.");
    ASSERT_EQ(tree.Count(), 2u);
    EXPECT_EQ(tree.First()->States & kStateSelected, kStateSelected);

    FileBytes whole;
    whole.Magic(2).U32(1).SimpleNode2(u"A", 0x181);
    EXPECT_EQ(LoadRegisterBytes(tree, whole.Bytes()), 2);
    EXPECT_EQ(tree.First()->States & kStateSelected, 0);
}

TEST(RegisterFileDamaged, NegativeChunkSizes) {
    FileBytes node;
    node.Magic(2).U32(1).Header(1, -8);
    EXPECT_EQ(LoadError(node.Bytes()), kChunkTooLarge);
    for (int32_t type : {2, 3, 7, -1}) {
        SCOPED_TRACE(type);
        FileBytes f;
        f.Magic(2).U32(1).Begin(1).Header(type, -16).Base2(0, 18, 0x81).End();
        EXPECT_EQ(LoadError(f.Bytes()), kChunkTooLarge);
    }
}

TEST(RegisterFileDamaged, ChildCountBeyondTheNodesChunk) {
    // Room for one child of 33 bytes, but two are announced; nothing is created.
    FileBytes f;
    f.Magic(2).U32(1).Begin(1).Begin(2).Base2(2, 18, 0xC1);
    f.Begin(1).Begin(2).Base2(0, 18, 0x81).End().End();
    f.End().End();
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()), kChunkTooLarge);
    EXPECT_EQ(tree.Count(), 1u);

    FileBytes huge;
    huge.Magic(1).Begin(1).Begin(2).Base01(0xFFFFFFFF, 18, 0xC1).End().End();
    TRegisterTree hugeTree;
    EXPECT_EQ(LoadError(hugeTree, huge.Bytes()), kChunkTooLarge);
    EXPECT_EQ(hugeTree.Count(), 1u);

    // Exactly the room for the announced children (28 bytes each in version 1).
    FileBytes exact;
    exact.Magic(1).Begin(1).Begin(2).Base01(2, 18, 0xC1);
    for (int i = 0; i < 2; ++i) exact.Begin(1).Begin(2).Base01(0, 18, 0x81).End().End();
    exact.End().End();
    EXPECT_EQ(Loaded(exact.Bytes()).Count(), 3u);
}

std::vector<uint8_t> Chain(size_t depth) {
    FileBytes f;
    f.Magic(2).U32(1);
    for (size_t i = 0; i < depth; ++i) f.Begin(1).Begin(2).Base2(i + 1 < depth ? 1 : 0, 18, 0xC1);
    for (size_t i = 0; i < depth; ++i) f.End().End();
    return f.Bytes();
}

TEST(RegisterFileDamaged, NestingDepth) {
    TRegisterTree deep;
    EXPECT_EQ(LoadError(deep, Chain(kMaxNesting)), "(loaded)");
    EXPECT_EQ(deep.Count(), kMaxNesting);
    TRegisterTree tooDeep;
    EXPECT_EQ(LoadError(tooDeep, Chain(kMaxNesting + 1)), "Stream data corrupt. Nesting too deep.");
    EXPECT_EQ(tooDeep.Count(), kMaxNesting);
}

TEST(RegisterFileDamaged, OverlappingStringsDoNotMultiplyWork) {
    // Each node's user chunk declares 5 bytes, so the next node starts inside
    // the node's Name, and every Name runs to the same shared end: n nodes
    // would hold about 21 n^2 / 2 bytes of text from a file of 21 n bytes.
    const size_t n = 3000;
    FileBytes f;
    f.Magic(0);
    const size_t start = f.Size();
    const size_t end = start + 21 * n;
    for (size_t i = 0; i < n; ++i) {
        const size_t nameStart = start + 21 * i + 21;
        f.Header(1, 8 + 5).Header(4, 5).U8(0x0C).U32(static_cast<uint32_t>(end - nameStart));
    }
    for (int i = 0; i < 6; ++i) f.Str06("");
    TRegisterTree tree;
    EXPECT_EQ(LoadError(tree, f.Bytes()), kChunkTooLarge);
    size_t text = 0;
    for (const TNode* node = tree.First(); node; node = tree.NextNode(node))
        text += node->Record.Name.size();
    EXPECT_LT(text, 8 * f.Size());
}

// --- Writer ------------------------------------------------------------------------

// The bytes the writer uses for `text` in the Note field of a node with an empty
// Name: the Note starts at offset 62 (header 16, node 8, base 25, user 8, Name 5).
std::vector<uint8_t> WrittenNote(const std::u16string& text) {
    TRegisterTree tree;
    tree.AddChild(nullptr)->Record.Note = text;
    const std::vector<uint8_t> bytes = SaveRegisterBytes(tree);
    const size_t rest = 5 * 5;  // five empty strings follow
    return std::vector<uint8_t>(bytes.begin() + 62, bytes.end() - rest);
}

TEST(RegisterFileWriter, ShortestStringForm) {
    struct Case {
        std::u16string text;
        std::string expected;  // hexadecimal
    };
    const Case cases[] = {
        {u"", "12 00 00 00 00"},
        {u"G", "06 01 47"},
        {u"30001", "06 05 33 30 30 30 31"},
        {u"ł", "12 01 00 00 00 42 01"},                    // 2 UTF-8 bytes = 2 x 1 unit
        {u"Ciśnienie", "14 0A 00 00 00 43 69 C5 9B 6E 69 65 6E 69 65"},
        {u"€", "12 01 00 00 00 AC 20"},
        {u"\U0001F600", "12 02 00 00 00 3D D8 00 DE"},     // 4 UTF-8 bytes = 2 x 2 units
        {u"zażółć", "14 0A 00 00 00 7A 61 C5 BC C3 B3 C5 82 C4 87"},
        {u"\xD800" u"abcdef", "12 07 00 00 00 00 D8 61 00 62 00 63 00 64 00 65 00 66 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        EXPECT_EQ(WrittenNote(c.text), HexBytes(c.expected));
    }
    const std::u16string ascii255(255, u'a'), ascii256(256, u'a');
    std::vector<uint8_t> w = WrittenNote(ascii255);
    ASSERT_EQ(w.size(), 2u + 255);
    EXPECT_EQ(w[0], 0x06);
    EXPECT_EQ(w[1], 0xFF);
    w = WrittenNote(ascii256);
    ASSERT_EQ(w.size(), 5u + 256);
    EXPECT_EQ(std::vector<uint8_t>(w.begin(), w.begin() + 5), HexBytes("0C 00 01 00 00"));
}

TEST(RegisterFileWriter, StatesMaskAndInitialized) {
    struct Case {
        uint16_t states, written;
    };
    for (const Case& c : {Case{0xFFFF, 0xDDE9}, Case{0x0000, 0x0001}, Case{0x2216, 0x0001},
                          Case{0x01E0, 0x01E1}}) {
        TRegisterTree tree;
        tree.AddChild(nullptr)->States = c.states;
        const std::vector<uint8_t> bytes = SaveRegisterBytes(tree);
        EXPECT_EQ(bytes[40] | (bytes[41] << 8), c.written) << std::hex << c.states;
    }
}

TEST(RegisterFileWriter, ChunkLayoutWithChildren) {
    TRegisterTree tree;
    TNode* parent = tree.AddChild(nullptr);
    parent->Record = {u"Grupa", u"", u"", u"", u"", u"", u""};
    parent->States = 0xE1;
    TNode* child = tree.AddChild(parent);
    child->Record = {u"Ą", u"n", u"40001", u"WORD", u"1", u"RW", u"7"};
    child->NodeHeight = 300;
    child->Align = 10;
    child->CheckState = 2;
    child->CheckType = 3;
    tree.AddChild(nullptr);  // a node with an empty Name gets no caption

    FileBytes f;
    f.Magic(2).U32(2);
    f.Begin(1).Begin(2).Base2(1, 18, 0xE1);
    {
        f.Begin(1).Begin(2).Base2(0, 300, 0x81, 10, 2, 3).End();
        f.Begin(4).Str12(u"Ą").Str06("n").Str06("40001").Str06("WORD").Str06("1").Str06("RW").Str06("7").End();
        f.Caption(u"Ą").End();
    }
    f.End();
    f.Begin(4).Str06("Grupa").Empty12(6).End().Caption(u"Grupa").End();
    f.Begin(1).Begin(2).Base2(0, 18, 0x81).End().Begin(4).Empty12(7).End().End();
    EXPECT_EQ(SaveRegisterBytes(tree), f.Bytes());
}

TEST(RegisterFileWriter, DeepTreeIsRefusedNotOverflowingTheStack) {
    TRegisterTree tree;
    TNode* n = nullptr;
    for (size_t i = 0; i < 100000; ++i) n = tree.AddChild(n);
    EXPECT_THROW(SaveRegisterBytes(tree), Error);

    TRegisterTree limit;
    n = nullptr;
    for (size_t i = 0; i < kMaxNesting; ++i) n = limit.AddChild(n);
    TRegisterTree back;
    LoadRegisterBytes(back, SaveRegisterBytes(limit));
    EXPECT_EQ(back.Count(), kMaxNesting);
}

TEST(RegisterFileWriter, RoundTripKeepsEverything) {
    TRegisterTree tree;
    TNode* g = tree.AddChild(nullptr);
    g->Record = {u"Pomiar", u"uwaga", u"", u"", u"", u"", u""};
    g->States = 0xE1 | kStateDisabled | kStateMultiline;
    TNode* r = tree.AddChild(g);
    r->Record = {U16("Stan urządzenia"), std::u16string(300, u'x'), u"30013", u"HEX", u"1", u"RO", u"$05"};
    r->States = 0xC1;
    r->CheckType = kCheckTypeTriStateCheckBox;
    r->CheckState = kCheckMixedNormal;
    for (int i = 0; i < 3; ++i) {
        TNode* b = tree.AddChild(r);
        b->Record = {u"bit " + std::u16string(1, static_cast<char16_t>(u'0' + i)), u"", u"", u"BIT", u"", u"",
                     u"$0" + std::u16string(1, static_cast<char16_t>(u'1' + i))};
        b->States = 0x81;
        b->CheckType = kCheckTypeRadioButton;
        b->CheckState = i == 1 ? kCheckCheckedNormal : kCheckUncheckedNormal;
        b->NodeHeight = static_cast<uint16_t>(20 + i);
        b->Align = static_cast<uint8_t>(i);
    }
    TNode* odd = tree.AddChild(nullptr);
    odd->Record.Value = u"\xDC00\xD800 mixed \U0001F600 ąę";
    odd->States = 0x0001;  // hidden

    const TRegisterTree back = Loaded(SaveRegisterBytes(tree));
    ExpectSameTree(tree, back);
}

// --- Files -------------------------------------------------------------------------
// POSIX folders, permissions and error texts; the Windows build has its own
// file tests (tests/windows).
#ifndef _WIN32

class RegisterFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vyx-registerfile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path dir_;
};

TEST_F(RegisterFileOnDisk, SaveThenLoad) {
    TRegisterTree tree;
    TNode* node = tree.AddChild(nullptr);
    node->Record.Name = U16("Ciśnienie");
    node->States = kStateVisible | kStateInitialized;
    const auto path = dir_ / "urządzenie.dat";
    SaveRegisterFile(tree, path);
    EXPECT_EQ(Entries(), std::vector<std::string>{"urządzenie.dat"}) << "no temporary file left";
    TRegisterTree back;
    EXPECT_EQ(LoadRegisterFile(back, path), 2);
    ExpectSameTree(tree, back);

    // Replacing keeps the file's permissions.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    tree.AddChild(nullptr);
    SaveRegisterFile(tree, path);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    LoadRegisterFile(back, path);
    EXPECT_EQ(back.Count(), 2u);
}

TEST_F(RegisterFileOnDisk, MissingFileLeavesTheTreeUnchanged) {
    TRegisterTree tree;
    tree.AddChild(nullptr)->Record.Name = u"stary";
    const auto missing = dir_ / "brak.dat";
    try {
        LoadRegisterFile(tree, missing);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    ASSERT_EQ(tree.Count(), 1u);
    EXPECT_EQ(tree.First()->Record.Name, u"stary");

    try {
        LoadRegisterFile(tree, dir_);
        FAIL() << "a folder loaded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir_.string() + "\". Is a directory");
    }
    EXPECT_EQ(tree.Count(), 1u);
}

TEST_F(RegisterFileOnDisk, RelativePathIsReportedInFull) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    TRegisterTree tree;
    std::string text;
    try {
        LoadRegisterFile(tree, "nie-ma.dat");
    } catch (const Error& e) {
        text = e.what();
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(text, "Cannot open file \"" + (dir_ / "nie-ma.dat").string() + "\". No such file or directory");
}

TEST_F(RegisterFileOnDisk, DamagedFileLoadsWhatItCan) {
    FileBytes f;
    f.Magic(2).U32(2).SimpleNode2(u"A").Header(2, 0);
    const auto path = dir_ / "uszkodzony.dat";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.Bytes().data()), static_cast<std::streamsize>(f.Size()));
    TRegisterTree tree;
    EXPECT_THROW(LoadRegisterFile(tree, path), Error);
    EXPECT_EQ(tree.Count(), 2u);
    EXPECT_EQ(tree.First()->Record.Name, u"A");
}

TEST_F(RegisterFileOnDisk, UnwritableTargetFailsAndKeepsTheOldFile) {
    TRegisterTree tree;
    tree.AddChild(nullptr)->Record.Name = u"nowy";

    const auto missingFolder = dir_ / "brak" / "plik.dat";
    try {
        SaveRegisterFile(tree, missingFolder);
        FAIL() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missingFolder.string() + "\". No such file or directory");
    }

    // A regular file where a folder should be.
    const auto old = dir_ / "stary.dat";
    TRegisterTree previous;
    previous.AddChild(nullptr)->Record.Name = u"stary";
    SaveRegisterFile(previous, old);
    EXPECT_THROW(SaveRegisterFile(tree, old / "plik.dat"), Error);

    // A folder in the target's place.
    std::filesystem::create_directory(dir_ / "folder.dat");
    EXPECT_THROW(SaveRegisterFile(tree, dir_ / "folder.dat"), Error);

    EXPECT_EQ(Entries(), (std::vector<std::string>{"folder.dat", "stary.dat"}));
    TRegisterTree back;
    LoadRegisterFile(back, old);
    EXPECT_EQ(back.First()->Record.Name, u"stary");
}

#endif  // _WIN32

}  // namespace
}  // namespace vyx
