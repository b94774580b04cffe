// SPDX-License-Identifier: GPL-3.0-or-later
// The device list and the register tree in the window.
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <fstream>

#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"
#include "ui/TreeLook.h"

using namespace vyx;
using namespace vyx::test;

namespace {

// A small device: a group with U1 (30001), an RW and an RP register, a hidden
// register, and a disabled one.
fs::path SmallDevice(const fs::path& folder, const std::string& name) {
    TRegisterTree tree;
    TNode* group = tree.AddChild(nullptr);
    group->Record.Name = u"Grupa";
    const struct {
        const char16_t *name, *address, *access;
        uint16_t states;
    } rows[] = {{u"U1", u"30001", u"RO", kStateVisible},
                {u"Nastawa", u"40001", u"RW", kStateVisible},
                {u"Serwis", u"40002", u"RP", kStateVisible},
                {u"Ukryty", u"40003", u"RW", 0},
                {u"Wyłączony", u"40004", u"RW", kStateVisible | kStateDisabled}};
    for (const auto& r : rows) {
        TNode* n = tree.AddChild(group);
        n->Record = {r.name, u"", r.address, u"WORD", u"1", r.access, u"0"};
        n->States = r.states;
    }
    const fs::path path = folder / name;
    SaveRegisterFile(tree, path);
    return path;
}

struct TDelegateProbe : ui::TTreeDelegate {
    using TTreeDelegate::initStyleOption;
};

}  // namespace

TEST_F(WindowTest, DeviceListFromTheProgramFolder) {
    const fs::path bin = folder / "bin";
    for (const char* name : {"b.dat", "A.DAT", ".ukryty.dat", "x.txt", "c.dat.bak"}) std::ofstream(bin / name) << "";
    fs::create_directory(bin / "katalog.dat");
    const fs::path cwd = fs::current_path();
    fs::current_path("/");
    form->cbxDevice->setEditText("wpisany");
    form->cbxDeviceEnter();
    fs::current_path(cwd);
    QStringList items;
    for (int i = 0; i < form->cbxDevice->count(); ++i) items << form->cbxDevice->itemText(i);
    EXPECT_EQ(items, (QStringList{".ukryty.dat", "A.DAT", "b.dat", "katalog.dat"}));
    EXPECT_EQ(form->cbxDevice->currentText(), "wpisany");

    fs::create_directory(folder / "pusty");
    ui::TForm1 empty(boxes, folder / "pusty" / "vyx-cfg");
    EXPECT_TRUE(empty.ListDeviceFiles().isEmpty());
}

#ifndef _WIN32  // the user's and the shared device folders are Linux's
TEST_F(WindowTest, DeviceListFromTheUsersAndTheSharedFolderToo) {
    const fs::path user = folder / "data" / "vyx-cfg" / "devices", shared = folder / "share" / "vyx-cfg" / "devices";
    fs::create_directories(user);
    fs::create_directories(shared);
    for (const fs::path& file : {folder / "bin" / "a.dat", user / "a.dat", user / "b.dat", shared / "b.dat",
                                 shared / "c.dat", shared / "x.txt"})
        std::ofstream(file) << "";
    const std::map<QString, fs::path> files = form->ListDeviceFilePaths();
    EXPECT_EQ(files, (std::map<QString, fs::path>{
                         {"a.dat", folder / "bin" / "a.dat"}, {"b.dat", user / "b.dat"}, {"c.dat", shared / "c.dat"}}));
}
#endif

TEST_F(WindowTest, LoadingReplacesTheTreeAndShowsCalibrationForAnUpperCaseF) {
    const fs::path small = SmallDevice(folder, "small.dat");
    ChooseDevice(kSampleDevice, "F100.dat");
    EXPECT_TRUE(form->gbKal->isVisibleTo(form.get()) && form->gbKal->isEnabled());
    EXPECT_TRUE(form->cbxScale->isVisibleTo(form.get()));
    EXPECT_FALSE(form->cbxScale->isEnabled());
    Click(u"N100");
    EXPECT_EQ(form->lbReg->text(), "40001  N100");

    ChooseDevice(small, "f100.dat");
    EXPECT_FALSE(form->gbKal->isVisibleTo(form.get()) || form->gbKal->isEnabled() ||
                 form->cbxScale->isVisibleTo(form.get()));
    EXPECT_EQ(form->Tree.FindRegisterByName(u"N100"), nullptr);
    EXPECT_EQ(form->Sequences.CurrentNode(), nullptr);
    EXPECT_EQ(form->lbReg->text(), "----");
    EXPECT_EQ(form->Model->rowCount(form->Model->index(0, 0)), 4);  // the hidden one is not shown
    const QModelIndex disabled = form->Model->IndexOf(form->Tree.FindRegisterByName(u"Wyłączony"));
    EXPECT_FALSE(form->Model->flags(disabled) & Qt::ItemIsEnabled);

    Click(u"U1");
    EXPECT_EQ(form->lbReg->text(), "30001  U1");

    // A file that cannot be read changes nothing.
    form->cbxDevice->setEditText("brak.dat");
    Act([&] { form->cbxDeviceSelect(); });
    ASSERT_EQ(boxes.Errors.size(), 1);
    EXPECT_TRUE(boxes.Errors[0].startsWith("Nie można otworzyć pliku") &&
                boxes.Errors[0].endsWith(": nie ma takiego pliku ani folderu."))
        << boxes.Errors[0].toStdString();
    EXPECT_EQ(form->lbReg->text(), "30001  U1");
    EXPECT_NE(form->Tree.FindRegisterByName(u"U1"), nullptr);

    // A damaged file: the reader's message; the calibration group keeps its state.
    std::ofstream(folder / "bin" / "Fzly.dat") << "nie jest plikiem rejestrow";
    form->cbxDevice->setEditText("Fzly.dat");
    Act([&] { form->cbxDeviceSelect(); });
    EXPECT_EQ(boxes.Errors.size(), 2);
    EXPECT_FALSE(form->gbKal->isVisibleTo(form.get()));
    EXPECT_EQ(form->lbReg->text(), "----");
}

TEST_F(WindowTest, TicksAndCheckTypesAsTheFileSays) {
    ChooseDevice(kSampleDevice);
    ui::TRegisterModel& m = *form->Model;
    const auto tick = [&](std::u16string_view name) {
        return m.IndexOf(form->Tree.FindRegisterByName(name)).data(Qt::CheckStateRole);
    };
    const auto type = [&](std::u16string_view name) {
        return m.IndexOf(form->Tree.FindRegisterByName(name)).data(ui::kCheckTypeRole).toInt();
    };
    EXPECT_EQ(type(u"Stan przetwornika"), kCheckTypeTriStateCheckBox);
    EXPECT_EQ(type(u"Praca normalna"), kCheckTypeRadioButton);
    EXPECT_EQ(tick(u"Praca normalna"), Qt::Checked);
    EXPECT_EQ(tick(u"Przekroczenie zakresu"), Qt::Unchecked);
    EXPECT_EQ(tick(u"Stan przetwornika"), Qt::PartiallyChecked);  // one of five ticked
    EXPECT_FALSE(tick(u"N100").isValid());                        // no tick box
    // Every child ticked: the tri-state parent is ticked; none: unticked.
    TNode* parent = form->Tree.FindRegisterByName(u"Stan przetwornika");
    for (size_t i = 0; i < parent->ChildCount(); ++i) parent->Child(i)->CheckState = kCheckCheckedNormal;
    EXPECT_EQ(tick(u"Stan przetwornika"), Qt::Checked);
    for (size_t i = 0; i < parent->ChildCount(); ++i) parent->Child(i)->CheckState = kCheckUncheckedNormal;
    EXPECT_EQ(tick(u"Stan przetwornika"), Qt::Unchecked);
    // The file's expanded groups are expanded.
    EXPECT_TRUE(form->VT->isExpanded(m.IndexOf(form->Tree.TopLevel(0))));
}

TEST_F(WindowTest, CellColoursAlsoInASelectedRow) {
    ChooseDevice(SmallDevice(folder, "small.dat"), "small.dat");
    const QColor black(0, 0, 0), navy(0, 0, 128), maroon(128, 0, 0), red(255, 0, 0);
    TNode* rw = form->Tree.FindRegisterByName(u"Nastawa");
    TNode* rp = form->Tree.FindRegisterByName(u"Serwis");
    TNode* ro = form->Tree.FindRegisterByName(u"U1");
    const struct {
        TNode* node;
        TNode* highlight;
        QColor colours[3];
    } rows[] = {{rw, nullptr, {black, navy, black}},
                {rp, nullptr, {maroon, maroon, maroon}},
                {ro, nullptr, {QColor(), QColor(), QColor()}},
                {rp, rp, {black, black, red}}};
    TDelegateProbe delegate;
    // Values read in this session (the file's own are grey until read).
    for (const TNode* node : {rw, rp, ro}) form->Model->MarkRead(&node->Record, true);
    form->VT->setCurrentIndex(form->Model->IndexOf(rp));
    for (const auto& row : rows) {
        form->HighlightNode = row.highlight;
        for (int column = 0; column < 3; ++column) {
            const QModelIndex index = form->Model->IndexOf(row.node, column);
            EXPECT_EQ(index.data(Qt::ForegroundRole).value<QColor>(), row.colours[column]);
            if (!row.colours[column].isValid()) continue;
            QStyleOptionViewItem option;
            option.state |= QStyle::State_Selected;
            delegate.initStyleOption(&option, index);
            EXPECT_EQ(option.palette.color(QPalette::HighlightedText), row.colours[column]);
        }
    }
    form->HighlightNode = nullptr;
}

TEST_F(WindowTest, DoubleClickOnANameReadsTheRegister) {
    NEEDS_SIMULATOR();
    ChooseDevice(kSampleDevice);
    TNode* hex = Click(u"Stan przetwornika");
    Act([&] { form->VTColumnDblClick(ui::kColName); });  // no port: nothing at all
    EXPECT_FALSE(form->Memo2->HasLines());
    EXPECT_TRUE(boxes.Messages.isEmpty());

    ChoosePort(QString::fromStdString(StartSim()));
    hex->Child(0)->CheckState = kCheckUncheckedNormal;
    hex->Child(2)->CheckState = kCheckCheckedNormal;
    form->VT->expand(form->Model->IndexOf(hex));
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(hex->Record.Value, u"$00");
    EXPECT_EQ(hex->Child(0)->CheckState, kCheckCheckedNormal);  // the child of value $00
    EXPECT_EQ(hex->Child(2)->CheckState, kCheckUncheckedNormal);
    EXPECT_FALSE(form->VT->isExpanded(form->Model->IndexOf(hex)));  // collapsed after the read
    EXPECT_EQ(Last(form->Memo1->Lines()), "30013  Stan przetw $00");
    EXPECT_TRUE(form->HighlightTimer->isActive());
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST(RegisterModel, PassesTheModelTesterOnSampleAndDeepTrees) {
    std::vector<TRegisterTree> trees(3);
    LoadRegisterFile(trees[0], kSampleDevice);
    LoadRegisterFile(trees[1], std::string(VYX_DEVICES_DIR) + "/VXP-10.dat");
    TNode* node = nullptr;
    for (int level = 0; level < 300; ++level) {
        node = trees[2].AddChild(node);
        node->Record.Name = u"g";
        trees[2].AddChild(node->Parent())->States = 0;  // a hidden sibling at every level
    }
    TNode* none = nullptr;
    for (TRegisterTree& tree : trees) {
        ui::TRegisterModel model(tree, none);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.BeginReset();
        model.EndReset();
        EXPECT_GT(model.rowCount(), 0);
    }
}
