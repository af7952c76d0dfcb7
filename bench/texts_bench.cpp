// The editor on a file read by resource structure: Open to a painted grid,
// and Save (rebuild and safe save, without the final flush to the disk),
// on a file of 2,000 texts in about 60 KiB and on the corpus file with the
// most texts. Targets: Open at most 20 ms, Save at most 50 ms.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QHeaderView>

#include "document/document.h"
#include "file/safesave.h"
#include "resource/resourcefile.h"
#include "resourcefiles.h"
#include "ui/documentmodel.h"
#include "qtbench.h"
#include "ui/messagesink.h"
#include "ui/textgrid.h"
#include "ui/tform1.h"

using namespace tavolin;
namespace fs = std::filesystem;

namespace {

class SilentSink : public MessageSink {
public:
    void ShowError(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    void ShowMessage(const QString&) override {}
    bool Ask(const QString&) override { return false; }
};

constexpr int kResources = 200;
constexpr int kTextsPerResource = 10;

std::vector<std::string> g_files;

std::string WriteTemp(const test::Bytes& bytes)
{
    std::string name = (fs::temp_directory_path() / "tavolin-texts-bench-XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return {};
    ::close(fd);
    test::WriteAll(name, bytes);
    g_files.push_back(name);
    return name;
}

// 2,000 LTEXTs of 14 characters, ten to a resource: 59 KiB in the old format.
const std::string& LargeFile()
{
    static const std::string path = [] {
        std::vector<test::Bytes> resources;
        for (int r = 0; r < kResources; ++r) {
            test::Bytes resource;
            for (int i = 0; i < kTextsPerResource; ++i) {
                char digits[8];
                std::snprintf(digits, sizeof digits, "%04d", r * kTextsPerResource + i);
                std::u16string text = u"Zone ";
                text += std::u16string(digits, digits + 4);
                text += u" Мир";
                text.resize(14, u'.');
                const test::Bytes ltext = test::Ltext(text);
                resource.insert(resource.end(), ltext.begin(), ltext.end());
            }
            resources.push_back(resource);
        }
        return WriteTemp(test::OldFile(resources));
    }();
    return path;
}

// The corpus file with the most texts read by resource, copied.
const std::string& LargestCorpusFile()
{
    static const std::string path = [] {
        fs::path best;
        std::size_t most = 0;
        for (const fs::path& file : test::CorpusFiles()) {
            const test::Bytes bytes = test::ReadAll(file);
            const std::size_t texts = resource::ReadResourceFile(bytes).texts.size();
            if (texts > most) {
                most = texts;
                best = file;
            }
        }
        if (best.empty())
            return std::string();
        std::fprintf(stderr, "largest corpus file: %s (%zu texts)\n", best.string().c_str(), most);
        return WriteTemp(test::ReadAll(best));
    }();
    return path;
}

const std::string& FileOf(const benchmark::State& state)
{
    return state.range(0) == 0 ? LargeFile() : LargestCorpusFile();
}

void OpenAndPaint(TForm1& form, const std::string& path)
{
    form.OpenFileClick(QString::fromStdString(path));
    form.Texts()->viewport()->repaint();
    form.Texts()->horizontalHeader()->viewport()->repaint();
}

void BM_OpenToPaintedGrid(benchmark::State& state)
{
    const std::string& path = FileOf(state);
    if (path.empty()) {
        state.SkipWithError("no corpus");
        return;
    }
    SilentSink sink;
    TForm1 form(sink);
    form.resize(900, 600);
    form.show();
    for (auto _ : state)
        OpenAndPaint(form, path);
    state.counters["texts"] = static_cast<double>(form.TextModel().rowCount());
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}
BENCHMARK(BM_OpenToPaintedGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One text edited; each save rebuilds its resource and writes the file.
void BM_Save(benchmark::State& state)
{
    const std::string& path = FileOf(state);
    if (path.empty()) {
        state.SkipWithError("no corpus");
        return;
    }
    const test::Bytes original = test::ReadAll(path);
    SetSyncFunctionForTesting([](int) { return 0; });
    SilentSink sink;
    TForm1 form(sink);
    form.show();
    OpenAndPaint(form, path);
    DocumentModel& model = form.TextModel();
    const int row = std::min(model.rowCount() - 1, model.rowCount() / 2);
    model.WriteBack(row, QStringLiteral("Новый текст, 新的文字"));
    for (auto _ : state)
        form.Save1Click();
    SetSyncFunctionForTesting(nullptr);
    test::WriteAll(path, original);
}
BENCHMARK(BM_Save)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    tavolin::bench::RunWithApplication(argc, argv, [] {
        for (const std::string& file : g_files)
            std::remove(file.c_str());
    });
    return 0;
}
