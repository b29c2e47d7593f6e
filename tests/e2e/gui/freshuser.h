#pragma once

// What an end-to-end run needs around the program: a user who has never run it, and the texts
// the service and the program speak, in forms a test can compare.

#include "platform/textcodec.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <string>
#include <vector>

namespace e2e {

// Home, settings and working directory under root, the shipped list files copied into the
// working directory, which becomes the current one. Run before the QApplication exists.
inline bool PrepareFreshUser(const QTemporaryDir& root)
{
    if (!root.isValid())
        return false;
    const QDir dir(root.path());
    for (const char* sub : { "home", "config", "data", "cache", "work" })
        dir.mkdir(QString::fromLatin1(sub));
    qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString work = dir.filePath(QStringLiteral("work"));
    const QDir lists(QStringLiteral(KOLPEX_DATA_DIR));
    const QStringList names = lists.entryList({ QStringLiteral("*.TXT") }, QDir::Files);
    if (names.isEmpty())
        return false;
    for (const QString& name : names)
        if (!QFile::copy(lists.filePath(name), work + QLatin1Char('/') + name))
            return false;
    return QDir::setCurrent(work);
}

inline QStringList Texts(const std::vector<std::string>& messages)
{
    QStringList out;
    for (const std::string& m : messages)
        out << FromCp1252(m);
    return out;
}

inline std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// The data file line of one sample, from the figures the service reports for its page.
inline QByteArray DataFileLine(const QJsonObject& served)
{
    const auto number = [&](const char* key) { return served.value(QLatin1String(key)).toDouble(); };
    const auto whole = [&](const char* key) { return served.value(QLatin1String(key)).toInt(); };
    return QString::asprintf("%02d/%02d/%04d\t%02d:%02d\t%.2f\t", whole("quoteMonth"), whole("quoteDay"),
               whole("quoteYear"), whole("quoteHour"), whole("quoteMinute"), number("last"))
               .toLatin1()
        + served.value(QLatin1String("change")).toString().toLatin1()
        + QString::asprintf("\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\r\n", number("high"), number("low"),
            number("priceEarnings"), number("ask"), number("bid"), number("beta"))
              .toLatin1();
}

} // namespace e2e
