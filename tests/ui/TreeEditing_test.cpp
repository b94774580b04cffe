// SPDX-License-Identifier: GPL-3.0-or-later
// Editing values and ticking bits in the register tree, against the simulator.
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>

#include "tests/support/BitDevice.h"
#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

// The bit-field device of the tick tests, as a file.
void WriteBitDevice(const fs::path& path) {
    TRegisterTree tree;
    BuildBitDevice(tree);
    SaveRegisterFile(tree, path);
}

class TreeEditingTest : public WindowTest {
protected:
    void SetUp() override {
        WriteBitDevice(folder / "bity.dat");
        ChoosePort(QString::fromStdString(StartSim((folder / "bity.dat").string())));
        ASSERT_TRUE(form->PortOpen());
        ChooseDevice(folder / "bity.dat", "bity.dat");
        form->VT->expandAll();
        form->show();
    }
    TNode* Node(std::u16string_view name) { return form->Tree.FindRegisterByName(name); }
    // Requests sent so far.
    int Sent() const { return static_cast<int>(form->Memo2->Lines().filter(QRegularExpression("^< ")).size()); }
    void DoubleClickValue(TNode* node) {
        const QModelIndex index = form->Model->IndexOf(node, ui::kColValue);
        Act([&] { form->VTColumnDblClick(ui::kColValue, form->VT->visualRect(index).center()); });
    }
    QLineEdit* Editor() const { return form->VT->viewport()->findChild<QLineEdit*>(); }
    void Tick(TNode* node) {
        form->Model->setData(form->Model->IndexOf(node), Qt::Checked, Qt::CheckStateRole);
        Settle();
    }
    // Runs what the tree and the window posted for later (the editor's commit,
    // then the write after it), however long each takes.
    void Settle() {
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed editors
        }
        WindowTest::Settle();
    }
};

}  // namespace

TEST_F(TreeEditingTest, DoubleClickOnAValue) {
    TNode* serwis = Click(u"Serwis");
    DoubleClickValue(serwis);
    EXPECT_EQ(boxes.Messages, QStringList{"rejestr tylko do odczytu"});
    EXPECT_EQ(Editor(), nullptr);
    DoubleClickValue(Node(u"Nastawa"));  // not the focused node: nothing
    EXPECT_EQ(boxes.Messages.size(), 1);
    EXPECT_EQ(Editor(), nullptr);
}

TEST_F(TreeEditingTest, AFilesValueIsGreyUntilReadInThisSession) {
    const auto cell = [&](int role) {
        return form->Model->IndexOf(Node(u"Nastawa"), ui::kColValue).data(role);
    };
    ASSERT_FALSE(Node(u"Nastawa")->Record.Value.empty());
    EXPECT_EQ(cell(Qt::ForegroundRole).value<QColor>(), ui::kUnreadGrey);
    EXPECT_TRUE(cell(Qt::ToolTipRole).toString().contains(ui::kUnreadTip));
    Click(u"Nastawa");
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_NE(cell(Qt::ForegroundRole).value<QColor>(), ui::kUnreadGrey);
    EXPECT_FALSE(cell(Qt::ToolTipRole).toString().contains(ui::kUnreadTip));
    // The file loaded again: its values again.
    ChooseDevice(folder / "bity.dat", "bity.dat");
    EXPECT_EQ(cell(Qt::ForegroundRole).value<QColor>(), ui::kUnreadGrey);
}

TEST_F(TreeEditingTest, F2OrEnterOpensTheValueAsADoubleClickDoes) {
    for (const Qt::Key key : {Qt::Key_F2, Qt::Key_Return}) {
        Click(u"Nastawa");
        QTest::keyClick(form->VT, key);
        ASSERT_NE(Editor(), nullptr) << key;
        QTest::keyClick(Editor(), Qt::Key_Escape);
        Settle();
        EXPECT_EQ(Editor(), nullptr) << key;
    }
    Click(u"Serwis");
    QTest::keyClick(form->VT, Qt::Key_F2);
    EXPECT_EQ(boxes.Messages, QStringList{"rejestr tylko do odczytu"});
}

TEST_F(TreeEditingTest, AcceptedEditWritesAndHighlightsEscapeDoesNot) {
    TNode* nastawa = Click(u"Nastawa");
    const struct {
        const char* typed;
        Qt::Key key;
        int writes;
        const char16_t* value;
    } rows[] = {{nullptr, Qt::Key_Return, 1, u"5"},  // unchanged Enter writes too
                {"77", Qt::Key_Return, 1, u"77"},
                {"99", Qt::Key_Escape, 0, u"77"},
                {"1,5", Qt::Key_Return, 0, u"1,5"}};  // does not convert: error, stays typed
    for (const auto& row : rows) {
        const int before = Sent();
        DoubleClickValue(nastawa);
        QLineEdit* editor = Editor();
        ASSERT_NE(editor, nullptr);
        if (row.typed) editor->setText(row.typed);
        QTest::keyClick(editor, row.key);
        Settle();
        EXPECT_EQ(Sent() - before, row.writes) << (row.typed ? row.typed : "unchanged");
        EXPECT_EQ(nastawa->Record.Value, row.value);
        if (row.key == Qt::Key_Return) {
            EXPECT_EQ(form->HighlightNode, nastawa);
            EXPECT_TRUE(form->HighlightTimer->isActive());
        }
    }
    ASSERT_EQ(boxes.Errors.size(), 1);
    EXPECT_EQ(boxes.Errors[0], "'1,5' is not a valid integer value.");
    EXPECT_TRUE(form->Memo1->Lines().contains("40014  Nastawa:    77"));
}

// What a tick does to values and ticks is the tree's rules' (tests/registers);
// here: what the window makes of it.
TEST_F(TreeEditingTest, TickingBitChildren) {
    TNode* tryb = Node(u"Tryb");
    int before = Sent();
    Tick(tryb->Child(2));  // value 3
    EXPECT_EQ(tryb->Record.Value, u"3");
    EXPECT_EQ(form->HighlightNode, tryb);
    EXPECT_EQ(form->Sequences.CurrentNode(), tryb);
    EXPECT_EQ(Sent() - before, 1);  // the write; the tri-state parent's change writes nothing
    EXPECT_EQ(form->Model->IndexOf(tryb).data(Qt::CheckStateRole), Qt::PartiallyChecked);

    // Bits of a group inside a register: merged into its value, nothing written.
    Tick(Node(u"b9"));
    EXPECT_EQ(Node(u"Flagi")->Record.Value, u"$0234");
    EXPECT_EQ(form->Sequences.CurrentNode(), Node(u"Starszy"));
    EXPECT_EQ(Sent() - before, 1);

    // A read-only register's bit: refused, and said.
    Tick(Node(u"s1"));
    EXPECT_EQ(Last(boxes.Messages), "rejestr tylko do odczytu");
    EXPECT_EQ(Node(u"s1")->CheckState, kCheckUncheckedNormal);
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(TreeEditingTest, ExpandingAnUnreadHexRegisterUnticksItsBits) {
    TNode* tryb = Node(u"Tryb");
    const QModelIndex index = form->Model->IndexOf(tryb);
    form->VT->collapse(index);
    for (size_t i = 0; i < tryb->ChildCount(); ++i) tryb->Child(i)->CheckState = kCheckCheckedNormal;
    form->VT->expand(index);
    for (size_t i = 0; i < tryb->ChildCount(); ++i) EXPECT_EQ(tryb->Child(i)->CheckState, kCheckUncheckedNormal);

    // After a read the register has a value: expanding keeps the read's ticks.
    Click(u"Tryb");
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    ASSERT_FALSE(tryb->Record.Value.empty());
    tryb->Child(0)->CheckState = kCheckCheckedNormal;
    form->VT->expand(index);
    EXPECT_EQ(tryb->Child(0)->CheckState, kCheckCheckedNormal);
}
