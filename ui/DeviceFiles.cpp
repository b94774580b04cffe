// SPDX-License-Identifier: GPL-3.0-or-later
// Device files: the list of *.dat files in the device folders (the program's
// own first, base/DeviceFolders.h), and loading the chosen one into the
// register tree (with the calibration group for an "F" in its name).
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QTreeView>

#include "base/DeviceFolders.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "ui/FormSupport.h"
#include "ui/RegisterModel.h"

namespace vyx::ui {
namespace fs = std::filesystem;

namespace {

// A file name as the list shows it: UTF-8, else (a name copied from a Windows
// disk) Windows-1250.
QString DisplayName(const fs::path& name) {
#ifdef _WIN32
    return QString::fromStdWString(name.wstring());  // names are UTF-16 there
#else
    const std::string bytes = name.string();
    QString utf8 = QString::fromUtf8(bytes);
    if (!utf8.contains(QChar::ReplacementCharacter) || bytes.find("\xEF\xBF\xBD") != std::string::npos) return utf8;
    return Q(FromCp1250(bytes));
#endif
}

// The names the list shows, sorted.
QStringList NamesOf(const std::map<QString, fs::path>& files) {
    QStringList names;
    for (const auto& [name, path] : files) names << name;
    SortWithoutCase(names);
    return names;
}

}  // namespace

QStringList TForm1::ListDeviceFiles() const { return NamesOf(ListDeviceFilePaths()); }

std::map<QString, fs::path> TForm1::ListDeviceFilePaths() const {
    // Each entry keeps the name the system gave it, which need not be UTF-8. A
    // name already listed from an earlier folder stays as it is.
    std::map<QString, fs::path> files;
    for (const fs::path& folder : DeviceFolders(program_.parent_path())) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const QString name = DisplayName(it->path().filename());
            if (name.endsWith(QStringLiteral(".dat"), Qt::CaseInsensitive)) files.emplace(name, it->path());
        }
    }
    return files;
}

void TForm1::cbxDeviceEnter() {
    deviceFiles_ = ListDeviceFilePaths();  // the folders are read once
    Refill(cbxDevice, NamesOf(deviceFiles_));
}

fs::path TForm1::DeviceFilePath(const QString& name) const {
    const auto listed = deviceFiles_.find(name);
    if (listed != deviceFiles_.end()) return listed->second;
    // Not listed yet (the remembered device at start) or typed: the folders in
    // their order, else the program's own, so a failure names a path.
    const fs::path file = PathFromUtf8(name.toStdString());
    if (file.filename() == file) {
        fs::path found = FindDeviceFile(DeviceFolders(program_.parent_path()), file);
        if (!found.empty()) return found;
    }
    return program_.parent_path() / file;
}

void TForm1::cbxDeviceSelect() {
    if (DeferWhileBusy(&TForm1::cbxDeviceSelect)) return;
    const QString name = cbxDevice->currentText();
    if (name.isEmpty()) return;
    LoadDeviceFile(DeviceFilePath(name));
    loadedDevice_ = name;
    const bool calibratable = name.contains(u'F', Qt::CaseSensitive);
    gbKal->setVisible(calibratable);
    gbKal->setEnabled(calibratable);
    cbxScale->setVisible(calibratable);
}

void TForm1::LoadDeviceFile(const fs::path& path) {
    // The bytes first: a file that cannot be read changes nothing.
    const std::vector<uint8_t> bytes = ReadRegisterFileBytes(path);

    // Nothing may go on pointing into the old tree.
    Sequences.Stop();
    // The snapshots and the record belong to the unit of the old file.
    Sequences.KeepRecord(false);
    Visit.Forget();
    Sequences.Select(nullptr);
    HighlightNode = nullptr;
    lbReg->setText(QStringLiteral("----"));
    struct Reset {
        TForm1& form;
        ~Reset() {
            form.Model->EndReset();
            form.ExpandAsTheFileSays();
        }
    };
    ++treeGeneration_;
    Model->BeginReset();  // also closes an open editor
    const Reset reset{*this};
    LoadRegisterBytes(Tree, bytes);
}

void TForm1::ExpandAsTheFileSays() {
    VT->setUpdatesEnabled(false);
    for (TNode* node = Tree.First(); node; node = Tree.NextNode(node))
        if ((node->States & kStateExpanded) && node->ChildCount() > 0) {
            const QModelIndex index = Model->IndexOf(node);
            if (index.isValid()) VT->setExpanded(index, true);
        }
    VT->setUpdatesEnabled(true);
}

}  // namespace vyx::ui
