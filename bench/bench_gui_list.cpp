// A list window over the largest list the loader can read (15,873 records): ready (fill and
// first sort), one heading-click re-sort, FindInList of a three-letter text, and beside them a
// QTableWidget filled item by item with the same rows and sorted the same way.
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/gui/clistview.h"
#include "markets/liststate.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "tests/support/synthetic_lists.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>

namespace {

struct Fixture {
    QTemporaryDir dir;
    RecordingNotifier notifier;
    std::unique_ptr<CKolpexApp> app;
    EntryArray entries;
};

Fixture* g_fixture = nullptr;

CMainFrame& Frame()
{
    return *g_fixture->app->mainFrame();
}

// The search results are in place before a result window opens (FindInList put them there).
CListView_* OpenResultWindow()
{
    g_pendingListKind = 2;
    CDocument* doc = g_fixture->app->m_pListTemplate->OpenDocumentFile(nullptr);
    g_pendingListKind = 0;
    QApplication::processEvents(); // the first paint belongs to being ready
    return doc ? qobject_cast<CListView_*>(doc->views().front()) : nullptr;
}

void CloseAll()
{
    Frame().mdiArea()->closeAllSubWindows();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void BM_ListWindowReady(benchmark::State& state)
{
    Frame().m_searchResults = g_fixture->entries;
    for (auto _ : state) {
        CListView_* view = OpenResultWindow();
        if (!view || view->table()->model()->rowCount() != int(g_fixture->entries.size())) {
            state.SkipWithError("list window did not open");
            break;
        }
        state.PauseTiming();
        CloseAll();
        state.ResumeTiming();
    }
}

void BM_HeadingClickResort(benchmark::State& state)
{
    Frame().m_searchResults = g_fixture->entries;
    CListView_* view = OpenResultWindow();
    int column = 0;
    for (auto _ : state) {
        column = (column + 1) % 4;
        view->OnColumnClick(column);
        QApplication::processEvents();
    }
    CloseAll();
}

void BM_FindInList(benchmark::State& state)
{
    CQuoteManager& manager = Frame().m_quoteManager;
    int found = 0;
    for (auto _ : state) {
        found = manager.FindInList("ner", g_fixture->entries);
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = found;
}

void BM_TableWidgetItemByItem(benchmark::State& state)
{
    const EntryArray& entries = g_fixture->entries;
    for (auto _ : state) {
        auto* table = new QTableWidget(0, 4);
        table->setHorizontalHeaderLabels({ QStringLiteral("COMPANY"), QStringLiteral("SYMBOL"),
            QStringLiteral("VOLUME"), QStringLiteral("LISTED") });
        table->setRowCount(int(entries.size()));
        for (int row = 0; row < int(entries.size()); ++row) {
            const QuoteEntry& e = entries[size_t(row)];
            table->setItem(row, 0, new QTableWidgetItem(FromCp1252(e.companyName)));
            table->setItem(row, 1, new QTableWidgetItem(FromCp1252(e.symbol)));
            auto* volume = new QTableWidgetItem(FromCp1252(e.volume));
            volume->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, 2, volume);
            auto* listed = new QTableWidgetItem(FromCp1252(e.listed));
            listed->setTextAlignment(Qt::AlignCenter);
            table->setItem(row, 3, listed);
        }
        table->sortItems(0);
        table->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete table;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_ListWindowReady)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HeadingClickResort)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindInList)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TableWidgetItemByItem)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's time per iteration in milliseconds for the summary.
class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    SummaryReporter()
        : ConsoleReporter(OO_Tabular)
    {
    }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

bool Check(const char* what, double ms, double limit)
{
    const bool ok = ms < limit;
    std::printf("%-34s %9.3f ms   target < %5.1f ms   %s\n", what, ms, limit, ok ? "met" : "MISSED");
    return ok;
}

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

    const std::string list = SyntheticLists::MakeListFile(SyntheticLists::kMaxRecords);
    QFile file(QStringLiteral("NASDAQ.TXT"));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(list.data(), qint64(list.size())) != qint64(list.size()))
        return 1;
    file.close();
    Frame().m_quoteManager.LoadMarketList("NASDAQ", fixture.entries);
    std::printf("list of %zu entries\n", fixture.entries.size());

    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto time = [&](const char* name) {
        auto it = reporter.times.find(name);
        return it == reporter.times.end() ? -1.0 : it->second;
    };
    const double ready = time("BM_ListWindowReady");
    const double resort = time("BM_HeadingClickResort");
    const double find = time("BM_FindInList");
    const double widget = time("BM_TableWidgetItemByItem");
    std::printf("\n");
    bool ok = true;
    if (ready >= 0)
        ok &= Check("list window ready", ready, 50);
    if (resort >= 0)
        ok &= Check("heading-click re-sort", resort, 20);
    if (find >= 0)
        ok &= Check("FindInList \"ner\"", find, 5);
    if (ready > 0 && widget > 0) {
        const double ratio = widget / ready;
        std::printf("%-34s %9.3f ms   item-by-item / list window = %.1fx (target >= 5x) %s\n",
            "QTableWidget item by item", widget, ratio, ratio >= 5 ? "met" : "MISSED");
        ok &= ratio >= 5;
    }
    fixture.app.reset();
    benchmark::Shutdown();
    return ok ? 0 : 1;
}
