#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

enum class SecurityKind { Stock, Fund, Venture };

// One security the service knows. Texts are code page 1252 bytes, as in the list files.
struct Security {
    QByteArray country; // "US", "CA", "GB", ...
    QByteArray symbol;
    QByteArray name;
    QByteArray exchangeName;
    SecurityKind kind = SecurityKind::Stock;

    bool operator==(const Security&) const = default;
};

struct ListFileInfo {
    const char* code; // market code, also the file name stem
    const char* country;
    const char* exchangeName;
    SecurityKind kind;
};

// The seven markets of the shipped list files.
const ListFileInfo* ListFiles(int* count);

// Records of one list file, read like the program reads them: every line of exactly 63 bytes.
QList<Security> ParseListFile(const QByteArray& bytes, const ListFileInfo& info);

// The service's securities: the list files found in the directories, then the built-in set.
class SecurityCatalogue final {
public:
    // Loads each market's file from the first directory holding it; returns the files read.
    QStringList load(const QStringList& directories);
    void addBuiltIns();
    void add(const Security& security); // the first security of a key wins

    const Security* find(const QString& countrySymbol) const; // "CC:SYMBOL", case-insensitive
    qsizetype size() const { return m_securities.size(); }
    // On the venture exchange's list and not on Toronto's.
    bool isVentureOnly(const QByteArray& symbol) const;

private:
    QHash<QByteArray, Security> m_securities;
    QSet<QByteArray> m_canadianStocks; // symbols of the Toronto list, upper case
};

QStringList DefaultListDirectories();
