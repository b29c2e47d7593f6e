#pragma once

#include "options/faultplan.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <optional>
#include <vector>

inline constexpr int kDefaultPort = 8765; // the address the program looks for when not told otherwise

// The live sources asked in order when none are named, and what "live" names: yahoo, finnhub (left
// out without a key), cnbc.
QStringList DefaultLiveSources();

struct ServiceOptions {
    QString address = QStringLiteral("127.0.0.1");
    int port = kDefaultPort;
    QStringList listDirs; // searched in order; empty means the built-in defaults
    std::vector<FaultRule> faults;
    std::optional<std::int64_t> now; // the clock's start (UTC seconds) instead of the machine's
    double rate = 0; // simulated seconds per real second from that start; 0 keeps the clock still
    QString dumpSymbol; // print the figures of one security as JSON and exit
    std::optional<std::int64_t> dumpAt;
    bool quiet = false; // no request log

    // Where quotes come from: {"simulated"}, or live sources in the order they are asked.
    QStringList sources = DefaultLiveSources();
    QMap<QString, QUrl> upstreams; // source name -> the URL that stands in for all its hosts
    QString tokenFile;
    int cacheSeconds = 60;
    int staleSeconds = 900;
    QString configPath;
    QString pathPrefix; // answered only below /PREFIX/; empty: at the root
    int idleMs = 30'000; // a connection without a complete request is closed after this
    int maxConnections = 256;

    bool live() const { return sources != QStringList { QStringLiteral("simulated") }; }
};

// ISO 8601 date-time (UTC unless an offset is given) or plain seconds since 1970.
std::optional<std::int64_t> ParseMoment(const QString& text);

// Parses the command line (without the program name); false and a message on error. A --config
// file is read first, so that the command line overrides it; a file that does not exist is no error.
bool ParseOptions(const QStringList& args, ServiceOptions& options, QString* error);
// The `key = value` lines of a settings file, # starting a comment line. `origin` names the file in
// messages; a relative token file is taken from `baseDir`.
bool ParseConfigText(const QByteArray& text, const QString& origin, const QString& baseDir,
    ServiceOptions& options, QString* error);
// The first line of a token file that only its owner may read; false and a message (never the
// token) otherwise.
bool ReadTokenFile(const QString& path, QString* token, QString* error);
// Takes a path prefix (slashes around it dropped); false and a message when it holds other than
// letters, digits and - . _ ~.
bool ApplyPathPrefix(const QString& text, ServiceOptions& options, QString* error);
QString UsageText();
