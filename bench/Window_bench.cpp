// SPDX-License-Identifier: GPL-3.0-or-later
// The window with a register file of 100 000 nodes (bench/BigTree.h), on the
// offscreen platform: choosing the file until the tree is painted (with its
// groups collapsed, and with all of them expanded as the file says), and
// expanding its 1 000 groups one by one. (QTreeView::expandAll itself is
// quadratic in Qt 6.4, about 5 s here; the window never calls it.)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeView>
#include <filesystem>

#include "bench/BigTree.h"
#include "bench/Offscreen.h"
#include "registers/RegisterFile.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
    static const fs::path folder = [] {
        const fs::path f = fs::temp_directory_path() / "vyx-window-bench";
        fs::create_directories(f);
        vyx::TRegisterTree tree;
        vyx::bench::Generate(tree);
        vyx::SaveRegisterFile(tree, f / "big.dat");
        for (size_t i = 0; i < tree.TopLevelCount(); ++i) tree.TopLevel(i)->States |= vyx::kStateExpanded;
        vyx::SaveRegisterFile(tree, f / "big-expanded.dat");
        return f;
    }();
    return folder;
}

void BM_ChooseAndShow(benchmark::State& state, const char* file) {
    vyx::bench::TQuietBoxes boxes;
    vyx::ui::TForm1 form(boxes, Folder() / "vyx-cfg", {.DefaultSettings = true});
    form.show();
    form.cbxDevice->setEditText(QString::fromLatin1(file));
    for (auto _ : state) {
        form.Run([&] { form.cbxDeviceSelect(); });
        form.VT->repaint();
        QApplication::processEvents();
    }
}
BENCHMARK_CAPTURE(BM_ChooseAndShow, collapsed, "big.dat")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ChooseAndShow, expanded, "big-expanded.dat")->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ExpandEveryGroup(benchmark::State& state) {
    vyx::bench::TQuietBoxes boxes;
    vyx::ui::TForm1 form(boxes, Folder() / "vyx-cfg", {.DefaultSettings = true});
    form.show();
    form.cbxDevice->setEditText(QStringLiteral("big.dat"));
    form.Run([&] { form.cbxDeviceSelect(); });
    for (auto _ : state) {
        for (int i = 0; i < form.Model->rowCount(); ++i) form.VT->expand(form.Model->index(i, 0));
        form.VT->repaint();
        QApplication::processEvents();
        state.PauseTiming();
        form.VT->collapseAll();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExpandEveryGroup)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return vyx::bench::RunOffscreen(argc, argv); }
