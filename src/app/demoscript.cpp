#include "app/demoscript.h"

#include "app/mainframe.h"
#include "markets/gui/cdia_find.h"
#include "markets/gui/clistview.h"
#include "markets/markettable.h"
#include "platform/textcodec.h"
#include "quotewin/gui/ckolpexview.h"
#include "res/resource_ids.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

// Time for windows to open, lay out and paint between two steps.
constexpr int kStepPauseMs = 400;
// A script that hangs (a message box nobody answers, say) must not keep the program up for ever.
constexpr int kWatchdogMs = 180'000;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool isNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool validArgument(const std::string& verb, const std::string& argument)
{
    if (verb == "tile" || verb == "cascade" || verb == "quit")
        return argument.empty();
    if (verb == "find")
        return true; // an empty text is a valid search: it matches everything
    if (verb == "wait" || verb == "open")
        return isNumber(argument);
    if (verb == "write-to-file")
        return argument == "on" || argument == "off";
    if (verb == "refresh-every")
        return isNumber(argument) && std::atoi(argument.c_str()) > 0;
    if (verb == "resize") {
        const auto blank = argument.find(' ');
        return blank != std::string::npos && isNumber(argument.substr(0, blank))
            && isNumber(trimmed(argument.substr(blank + 1)));
    }
    if (verb == "quote") {
        const auto colon = argument.find(':');
        return colon != std::string::npos && colon > 0 && colon + 1 < argument.size();
    }
    if (verb == "market")
        return MarketByCode(argument) || MarketByCaption(argument);
    if (verb == "screenshot")
        return !argument.empty();
    return false;
}

class DemoRunner final : public QObject {
    Q_DISABLE_COPY_MOVE(DemoRunner)
public:
    DemoRunner(CMainFrame& frame, std::vector<DemoCommand> commands)
        : QObject(&frame)
        , m_frame(frame)
        , m_commands(std::move(commands))
    {
        auto* watchdog = new QTimer(this);
        watchdog->setSingleShot(true);
        connect(watchdog, &QTimer::timeout, this, [] {
            std::fprintf(stderr, "kolpex demo script: gave up after %d seconds\n", kWatchdogMs / 1000);
            QCoreApplication::exit(1); // leaves every running event loop, modal ones included
        });
        watchdog->start(kWatchdogMs);
    }

    void start()
    {
        QTimer::singleShot(kStepPauseMs, this, [this] { step(); });
    }

private:
    void step()
    {
        if (m_next >= m_commands.size()) {
            finish();
            return;
        }
        const DemoCommand& command = m_commands[m_next++];
        int pause = kStepPauseMs;
        std::string problem;
        if (command.verb == "quit") {
            finish();
            return;
        }
        if (command.verb == "wait")
            pause = std::atoi(command.argument.c_str());
        else
            problem = run(command);
        if (!problem.empty()) {
            std::fprintf(stderr, "kolpex demo script: line %d: %s\n", command.line, problem.c_str());
            m_failed = true;
        }
        QTimer::singleShot(pause, this, [this] { step(); });
    }

    std::string run(const DemoCommand& command)
    {
        if (command.verb == "market") {
            const MarketInfo* market = MarketByCode(command.argument);
            if (!market)
                market = MarketByCaption(command.argument);
            m_frame.OnMarketCommand(market->commandId);
            return {};
        }
        if (command.verb == "find")
            return find(command.argument);
        if (command.verb == "open") {
            auto* list = dynamic_cast<CListView_*>(m_frame.activeView());
            if (!list)
                return "no list window is active";
            const int row = std::atoi(command.argument.c_str());
            if (row >= static_cast<int>(list->entries().size()))
                return "the list has no row " + command.argument;
            list->OpenRow(row);
            return {};
        }
        if (command.verb == "quote") {
            const auto colon = command.argument.find(':');
            QuoteEntry entry = m_frame.m_defaultEntry;
            entry.countryCode = command.argument.substr(0, colon);
            entry.symbol = command.argument.substr(colon + 1);
            entry.writeToFile = m_writeToFile;
            return m_frame.m_quoteManager.OpenQuote(entry) ? std::string()
                                                           : "no quote window for " + command.argument;
        }
        if (command.verb == "write-to-file") {
            m_writeToFile = command.argument == "on";
            return {};
        }
        if (command.verb == "refresh-every") {
            // The timer runs the default interval's minutes; shorten the minute to fit.
            const int minutes = std::max(1, m_frame.m_defaultEntry.refreshInterval);
            CKolpexView::SetMillisecondsPerMinuteForTesting(
                std::max(1, std::atoi(command.argument.c_str()) / minutes));
            return {};
        }
        if (command.verb == "tile") {
            m_frame.mdiArea()->tileSubWindows();
            return {};
        }
        if (command.verb == "cascade") {
            m_frame.cascadeChildWindows();
            return {};
        }
        if (command.verb == "resize") {
            std::istringstream numbers(command.argument);
            int width = 0;
            int height = 0;
            numbers >> width >> height;
            m_frame.resize(width, height);
            return {};
        }
        if (command.verb == "screenshot")
            return screenshot(command.argument);
        return "unknown command " + command.verb;
    }

    std::string find(const std::string& text)
    {
        if (!dynamic_cast<CListView_*>(m_frame.activeView()))
            return "no list window is active";
        // Answer the dialog as a user would: type the text, press OK.
        auto previous = CDia_Find::s_execHookForTesting;
        bool asked = false;
        CDia_Find::s_execHookForTesting = [&](QDialog& dialog) {
            asked = true;
            if (auto* find = qobject_cast<CDia_Find*>(&dialog))
                find->searchEdit()->setText(FromCp1252(text));
            dialog.accept();
            return static_cast<int>(QDialog::Accepted);
        };
        m_frame.runCommand(ids::ID_FIND_IN_LIST);
        CDia_Find::s_execHookForTesting = previous;
        return asked ? std::string() : "the find dialog did not open";
    }

    std::string screenshot(const std::string& path)
    {
        const QString file = QString::fromLocal8Bit(path.c_str());
        const QFileInfo info(file);
        if (!QDir().mkpath(info.absolutePath()))
            return "cannot create the directory of " + path;
        m_frame.repaint();
        const QPixmap picture = m_frame.grab();
        if (picture.isNull() || !picture.save(file, "PNG"))
            return "cannot save " + path;
        std::fprintf(stdout, "kolpex demo script: saved %s (%dx%d)\n", path.c_str(), picture.width(),
            picture.height());
        std::fflush(stdout);
        return {};
    }

    void finish()
    {
        // The program's own exit: the main frame closes its windows one by one, data files and
        // their messages included, and the exit sequence after the loop saves the recent list.
        m_frame.close();
        if (m_frame.isVisible()) {
            // Still busy (a download finishing): ask again shortly; the watchdog bounds this.
            QTimer::singleShot(kStepPauseMs, this, [this] { finish(); });
            return;
        }
        QApplication::closeAllWindows(); // the help window, when one is open
        QCoreApplication::exit(m_failed ? 1 : 0);
    }

    CMainFrame& m_frame;
    std::vector<DemoCommand> m_commands;
    std::size_t m_next = 0;
    bool m_failed = false;
    bool m_writeToFile = false;
};

} // namespace

bool ParseDemoScript(const std::string& text, std::vector<DemoCommand>& commands, std::string& error)
{
    commands.clear();
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        DemoCommand command;
        command.line = number;
        const auto blank = line.find_first_of(" \t");
        command.verb = line.substr(0, blank);
        if (blank != std::string::npos)
            command.argument = trimmed(line.substr(blank + 1));
        if (!validArgument(command.verb, command.argument)) {
            error = "line " + std::to_string(number) + ": cannot run \"" + line + "\"";
            commands.clear();
            return false;
        }
        commands.push_back(std::move(command));
    }
    return true;
}

void RunDemoScriptIfRequested(CMainFrame& frame)
{
    const QByteArray path = qgetenv("KOLPEX_DEMO_SCRIPT");
    if (path.isEmpty())
        return;
    QFile file(QString::fromLocal8Bit(path));
    std::vector<DemoCommand> commands;
    std::string error;
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path.toStdString();
    } else {
        const QByteArray text = file.readAll();
        ParseDemoScript(text.toStdString(), commands, error);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "kolpex demo script: %s\n", error.c_str());
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
        return;
    }
    (new DemoRunner(frame, std::move(commands)))->start();
}
