// The editor at scale: a file of 800,000 strings opened into the real window
// (offscreen), emptied, and typed into at its first and last row.

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QTest>

#include "qtbench.h"
#include "ui/messagesink.h"
#include "ui/stringtablemodel.h"
#include "ui/tform1.h"
#include "ui/celleditor.h"
#include "ui/valuegrid.h"

using namespace tavolin;

namespace {

constexpr int kStrings = 800'000;

class SilentSink : public MessageSink {
public:
    void ShowError(const QString&) override {}
    void ShowMessage(const QString&) override {}
    bool Ask(const QString&) override { return false; }
};

// `strings` slots of 24 characters holding "String 1", "String 2", ...
// (51 bytes a string), in a file made once per count.
std::map<int, std::string> g_files;

std::string FileOfStrings(int strings)
{
    if (const auto it = g_files.find(strings); it != g_files.end())
        return it->second;
    const std::string path = [strings] {
        std::string name = "/tmp/tavolin-grid-bench-XXXXXX";
        const int fd = ::mkstemp(name.data());
        ::close(fd);
        std::vector<char> bytes{1, 2, 3, 4};
        for (int i = 1; i <= strings; ++i) {
            const std::string text = "String " + std::to_string(i);
            bytes.push_back(24);
            bytes.push_back(static_cast<char>(0xAB));
            for (int k = 0; k < 24; ++k) {
                bytes.push_back(k < static_cast<int>(text.size()) ? text[k] : 0);
                bytes.push_back(0);
            }
            bytes.push_back(9);
        }
        std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
        return name;
    }();
    g_files[strings] = path;
    return path;
}

std::string LargeFile()
{
    return FileOfStrings(kStrings);
}

struct Window {
    SilentSink sink;
    TForm1 form{sink};
    explicit Window(std::string file = LargeFile())
    {
        form.SetDialogRunner([file](QFileDialog&) { return QString::fromStdString(file); });
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
    }
    void OpenAndPaint()
    {
        form.Open1Click();
        QCoreApplication::processEvents();
        form.vle()->viewport()->repaint();
    }
};

// Made on first use, gone before the application is.
std::unique_ptr<Window> g_window;

Window& SharedWindow()
{
    if (!g_window)
        g_window = std::make_unique<Window>();
    return *g_window;
}

// From the dialog closing to the grid painted with the new rows.
void BM_OpenLargeFile(benchmark::State& state)
{
    Window& w = SharedWindow();
    for (auto _ : state)
        w.OpenAndPaint();
    state.counters["rows"] = w.form.Model().rowCount();
}
BENCHMARK(BM_OpenLargeFile)->Unit(benchmark::kMillisecond)->Iterations(5);

// Open of a file of 16 or 64 MiB into a fresh window until the grid is
// painted (the median of nine), and the process's peak memory against the
// file's size (run alone for the peak to be the 64 MiB file's).
void BM_OpenFileOfMiB(benchmark::State& state)
{
    // Every Open gets fresh memory, as the first Open of a session does:
    // otherwise the heap keeps the tables of a 16 MiB file for the next
    // repetition, while those of a 64 MiB file are mapped anew each time.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    const std::string file = FileOfStrings(static_cast<int>(bytes / 51));
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<Window>(file);
        state.ResumeTiming();
        w->OpenAndPaint();
        state.PauseTiming();
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        state.counters["peak_per_file"] = static_cast<double>(usage.ru_maxrss) * 1024 / static_cast<double>(bytes);
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFileOfMiB)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Open of a file of 64 KiB (1,285 strings), more than a real resource file
// holds, into a shown window until the grid is painted.
void BM_OpenFileOfKiB(benchmark::State& state)
{
    Window w(FileOfStrings(static_cast<int>((state.range(0) << 10) / 51)));
    for (auto _ : state)
        w.OpenAndPaint();
}
BENCHMARK(BM_OpenFileOfKiB)->Arg(64)->Unit(benchmark::kMillisecond);

// Emptying a table of 800,000 entries while a grid shows it.
void BM_EmptyLargeTable(benchmark::State& state)
{
    StringTable table("ID", "Value");
    StringTable capacities("Key", "Value");
    StringTableModel model(table, capacities);
    ValueGrid grid;
    grid.SetModel(&model);
    grid.show();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 1; i <= kStrings; ++i)
            table.AppendEntry(std::to_string(i), "text");
        grid.Settle();
        state.ResumeTiming();
        table.RemoveAllEntries();
        grid.Settle();
    }
}
BENCHMARK(BM_EmptyLargeTable)->Unit(benchmark::kMillisecond)->Iterations(5);

// The shared window with the large file open, its editor on grid row `row`
// with the focus.
QWidget* EditorOnRow(Window& w, int row)
{
    if (w.form.Model().rowCount() != kStrings)
        w.OpenAndPaint();
    w.form.vle()->SetCurrentGridRow(row);
    w.form.vle()->setFocus();
    return w.form.vle()->Editor();
}

// One character typed and taken back again, in row 1 or the last row.
void BM_Keystroke(benchmark::State& state)
{
    Window& w = SharedWindow();
    QWidget* editor = EditorOnRow(w, static_cast<int>(state.range(0)));
    QTest::keyClick(editor, Qt::Key_End);
    for (auto _ : state) {
        QTest::keyClick(editor, Qt::Key_X);
        QTest::keyClick(editor, Qt::Key_Backspace);
    }
}
BENCHMARK(BM_Keystroke)->Arg(1)->Arg(kStrings)->Unit(benchmark::kMicrosecond);

// A Down arrow and an Up arrow, in row 10 or near the last row.
void BM_DownArrow(benchmark::State& state)
{
    Window& w = SharedWindow();
    QWidget* editor = EditorOnRow(w, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QTest::keyClick(editor, Qt::Key_Down);
        w.form.vle()->viewport()->repaint();
        w.form.vle()->horizontalHeader()->viewport()->repaint();
        QTest::keyClick(editor, Qt::Key_Up);
        w.form.vle()->viewport()->repaint();
        w.form.vle()->horizontalHeader()->viewport()->repaint();
    }
}
BENCHMARK(BM_DownArrow)->Arg(10)->Arg(kStrings - 10)->Unit(benchmark::kMicrosecond);

// Closing a window that shows the whole file.
void BM_CloseWindow(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<Window>();
        w->OpenAndPaint();
        state.ResumeTiming();
        w->form.close();
        w.reset();
    }
}
BENCHMARK(BM_CloseWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    tavolin::bench::RunWithApplication(argc, argv, [] {
        g_window.reset();
        for (const auto& [strings, path] : g_files)
            std::remove(path.c_str());
    });
    return 0;
}
