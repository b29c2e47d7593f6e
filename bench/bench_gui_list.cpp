// A market list window over the largest list the loader reads (15,873 records of NASDAQ.TXT):
// ready (the market command: load, fill, first sort, first paint), one heading-click re-sort and
// the search of a three-letter text, each beside a model-free floor in the same run: a bare widget
// that reads the same file with read(2), finds its record lines, sorts their row numbers by the
// trimmed texts and paints the rows it shows with QPainter; its search lowers and scans the same
// two texts. A search result window (the entries held whole) is measured too.
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/cp1252case.h"
#include "markets/gui/clistview.h"
#include "markets/liststate.h"
#include "platform/notifier.h"
#include "res/resource_ids.h"
#include "tests/support/synthetic_lists.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QPainter>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <numeric>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// 1,000,000 bytes of 64-byte lines (CR LF).
constexpr int kRecords = int(SyntheticLists::kLoaderLimitBytes / SyntheticLists::kLineBytes);

struct Fixture {
    QTemporaryDir dir;
    RecordingNotifier notifier;
    std::unique_ptr<CKolpexApp> app;
};

Fixture* g_fixture = nullptr;

CMainFrame& Frame()
{
    return *g_fixture->app->mainFrame();
}

CListView_* OpenMarketWindow()
{
    Frame().OnMarketCommand(ids::ID_MARKETS_NASDAQ);
    QApplication::processEvents(); // the first paint belongs to being ready
    return dynamic_cast<CListView_*>(Frame().activeView());
}

// The search results are in place before a result window opens (FindInList put them there).
CListView_* OpenResultWindow()
{
    g_pendingListKind = 2;
    CDocument* doc = g_fixture->app->m_pListTemplate->OpenDocumentFile(nullptr);
    g_pendingListKind = 0;
    QApplication::processEvents();
    return doc ? qobject_cast<CListView_*>(doc->views().front()) : nullptr;
}

void CloseAll()
{
    Frame().mdiArea()->closeAllSubWindows();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// The floor: what showing the list takes without a model, a view or a frame around it.
class FloorList final : public QWidget {
public:
    FloorList()
    {
        resize(262, 550);
        const int fd = ::open("NASDAQ.TXT", O_RDONLY | O_CLOEXEC);
        m_bytes.reset(new char[SyntheticLists::kLoaderLimitBytes]);
        const ssize_t got = fd < 0 ? 0 : ::read(fd, m_bytes.get(), SyntheticLists::kLoaderLimitBytes);
        if (fd >= 0)
            ::close(fd);
        const char* text = m_bytes.get();
        const std::size_t size = got > 0 ? std::size_t(got) : 0;
        for (std::size_t start = 0; start < size;) {
            const auto* feed = static_cast<const char*>(std::memchr(text + start, '\n', size - start));
            if (!feed)
                break;
            const auto end = std::size_t(feed - text);
            if (end - start == SyntheticLists::kRecordBytes)
                m_lines.push_back(text + start);
            start = end + 1;
        }
        m_rows.resize(m_lines.size());
        std::iota(m_rows.begin(), m_rows.end(), 0);
    }

    std::size_t size() const { return m_lines.size(); }

    std::string_view text(std::size_t i, int column) const
    {
        static constexpr std::size_t at[] = { 0, 41, 48, 54 };
        static constexpr std::size_t width[] = { 40, 7, 5, 8 };
        std::string_view field(m_lines[i] + at[column], width[column]);
        while (!field.empty() && field.front() == ' ')
            field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\r'))
            field.remove_suffix(1);
        return field;
    }

    void sortBy(int column, bool descending)
    {
        std::vector<std::string_view> keys(m_lines.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            keys[i] = text(i, column);
        std::stable_sort(m_rows.begin(), m_rows.end(), [&](int a, int b) {
            return descending ? keys[size_t(b)] < keys[size_t(a)] : keys[size_t(a)] < keys[size_t(b)];
        });
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int rowHeight = fontMetrics().height() + 4;
        static constexpr int x[] = { 0, 230, 290, 360 };
        for (int row = 0; row * rowHeight < height() && row < int(m_rows.size()); ++row) {
            for (int column = 0; column < 4; ++column) {
                const std::string_view t = text(std::size_t(m_rows[size_t(row)]), column);
                painter.drawText(QRect(x[column], row * rowHeight, 70, rowHeight),
                    Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(t.data(), qsizetype(t.size())));
            }
        }
    }

private:
    std::unique_ptr<char[]> m_bytes;
    std::vector<const char*> m_lines;
    std::vector<int> m_rows;
};

void BM_MarketWindowReady(benchmark::State& state)
{
    for (auto _ : state) {
        CListView_* view = OpenMarketWindow();
        if (!view || view->table()->model()->rowCount() != kRecords) {
            state.SkipWithError("list window did not open");
            break;
        }
        state.PauseTiming();
        CloseAll();
        state.ResumeTiming();
    }
}

void BM_FloorReady(benchmark::State& state)
{
    for (auto _ : state) {
        auto* floor = new FloorList;
        floor->sortBy(0, false);
        floor->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete floor;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_MarketWindowResort(benchmark::State& state)
{
    CListView_* view = OpenMarketWindow();
    int column = 0;
    for (auto _ : state) {
        column = (column + 1) % 4;
        view->OnColumnClick(column);
        QApplication::processEvents();
    }
    CloseAll();
}

void BM_FloorResort(benchmark::State& state)
{
    FloorList floor;
    floor.show();
    QApplication::processEvents();
    int column = 0;
    bool descending = false;
    for (auto _ : state) {
        column = (column + 1) % 4;
        descending = !descending;
        floor.sortBy(column, descending);
        QApplication::processEvents();
    }
}

void BM_FindInMarketWindow(benchmark::State& state)
{
    CListView_* view = OpenMarketWindow();
    CQuoteManager& manager = Frame().m_quoteManager;
    int found = 0;
    for (auto _ : state) {
        found = manager.FindInList("ner", view->entries());
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = found;
    CloseAll();
}

void BM_FloorFind(benchmark::State& state)
{
    const FloorList floor;
    int found = 0;
    for (auto _ : state) {
        found = 0;
        std::string buffer;
        for (std::size_t i = 0; i < floor.size(); ++i) {
            for (int column : { 0, 1 }) {
                buffer.assign(floor.text(i, column));
                buffer = LowerCp1252(std::move(buffer));
                if (buffer.find("ner") != std::string::npos) {
                    ++found;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = found;
}

void BM_ResultWindowReady(benchmark::State& state)
{
    CListView_* market = OpenMarketWindow();
    Frame().m_quoteManager.FindInList("", market->entries()); // every entry, held whole
    CloseAll();
    for (auto _ : state) {
        CListView_* view = OpenResultWindow();
        if (!view || view->table()->model()->rowCount() != kRecords) {
            state.SkipWithError("result window did not open");
            break;
        }
        state.PauseTiming();
        CloseAll();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_MarketWindowReady)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FloorReady)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MarketWindowResort)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FloorResort)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindInMarketWindow)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FloorFind)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ResultWindowReady)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's CPU time per iteration in milliseconds for the summary: on a busy
// machine the wall clock also counts the waits for a core.
class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    SummaryReporter()
        : ConsoleReporter(OO_Tabular)
    {
    }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // One run each, or the median of the repetitions.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || median))
                times[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Fixture fixture;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(fixture.dir.filePath(QStringLiteral("config"))));
    QApplication application(argc, argv);
    g_fixture = &fixture;
    QDir::setCurrent(fixture.dir.path());

    fixture.app = std::make_unique<CKolpexApp>(
        fixture.notifier, [](CDocument*, CMainFrame&) -> CView* { return nullptr; },
        [](CDocument* d, CMainFrame& f) -> CView* { return new CListView_(d, f); });
    if (!fixture.app->InitInstance())
        return 1;

    std::string list = SyntheticLists::MakeListFile(SyntheticLists::kMaxRecords, 1, false);
    list.resize(SyntheticLists::kLoaderLimitBytes);
    QFile file(QStringLiteral("NASDAQ.TXT"));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(list.data(), qint64(list.size())) != qint64(list.size()))
        return 1;
    file.close();
    std::printf("NASDAQ.TXT of %zu bytes, %d records\n", list.size(), kRecords);

    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto time = [&](const char* name) {
        auto it = reporter.times.find(name);
        return it == reporter.times.end() ? -1.0 : it->second;
    };
    const std::pair<const char*, const char*> pairs[] = {
        { "BM_MarketWindowReady", "BM_FloorReady" },
        { "BM_MarketWindowResort", "BM_FloorResort" },
        { "BM_FindInMarketWindow", "BM_FloorFind" },
    };
    std::printf("\n");
    for (const auto& [what, floor] : pairs) {
        const double t = time(what);
        const double f = time(floor);
        if (t > 0 && f > 0)
            std::printf("%-24s %8.3f ms CPU   floor %8.3f ms   ratio %.2f\n", what + 3, t, f, t / f);
    }
    fixture.app.reset();
    benchmark::Shutdown();
    return 0;
}
