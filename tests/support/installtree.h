#pragma once

// The build tree this test belongs to, installed with `cmake --install` into a temporary prefix,
// the way a user installs it, so that tests run the installed launcher and programs.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

class InstalledTree final {
public:
    // Empty on success, otherwise what went wrong.
    QString install()
    {
        // The test executable sits somewhere below the build tree's top.
        QDir dir(QCoreApplication::applicationDirPath());
        for (int up = 0; up < 4 && !dir.exists(QStringLiteral("CMakeCache.txt")); ++up)
            dir.cdUp();
        if (!dir.exists(QStringLiteral("CMakeCache.txt")))
            return QStringLiteral("no CMakeCache.txt above the test executable");
        m_buildDir = dir.absolutePath();
        if (QFileInfo(cacheValue(QStringLiteral("CMAKE_HOME_DIRECTORY"))).canonicalFilePath()
            != QFileInfo(QStringLiteral(KOLPEX_SOURCE_DIR)).canonicalFilePath())
            return QStringLiteral("the build tree above the test is not this source tree's");

        // GNUInstallDirs leaves DATADIR empty in the cache when it follows DATAROOTDIR.
        const auto dirOf = [this](const char* key, const char* fallback) {
            const QString value = cacheValue(QString::fromLatin1(key));
            return value.isEmpty() ? QString::fromLatin1(fallback) : value;
        };
        m_bin = dirOf("CMAKE_INSTALL_BINDIR", "bin");
        m_libexec = dirOf("CMAKE_INSTALL_LIBEXECDIR", "libexec");
        m_data = dirOf("CMAKE_INSTALL_DATADIR", qPrintable(dirOf("CMAKE_INSTALL_DATAROOTDIR", "share")));
        m_man = dirOf("CMAKE_INSTALL_MANDIR", qPrintable(m_data + QStringLiteral("/man")));
        for (const QString& path : { m_bin, m_libexec, m_data, m_man })
            if (!QDir::isRelativePath(path))
                return QStringLiteral("absolute install directory ") + path;

        if (!m_prefix.isValid())
            return QStringLiteral("no temporary directory");
        QString cmake = cacheValue(QStringLiteral("CMAKE_COMMAND"));
        if (cmake.isEmpty())
            cmake = QStringLiteral("cmake");
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(
            cmake, { QStringLiteral("--install"), m_buildDir, QStringLiteral("--prefix"), m_prefix.path() });
        if (!install.waitForFinished(120000))
            return QStringLiteral("cmake --install did not finish");
        if (install.exitStatus() != QProcess::NormalExit || install.exitCode() != 0)
            return QString::fromLocal8Bit(install.readAll());
        return {};
    }

    QString prefix() const { return m_prefix.path(); }
    // Paths below the prefix.
    QString bin(const QString& name = {}) const { return below(m_bin, name); }
    QString libexec(const QString& name = {}) const { return below(m_libexec, name); }
    QString data(const QString& name = {}) const { return below(m_data, name); }
    QString man(const QString& name = {}) const { return below(m_man, name); }
    QString launcher() const { return bin(QStringLiteral("kolpex")); }
    QString cacheValue(const QString& key) const
    {
        QFile cache(m_buildDir + QStringLiteral("/CMakeCache.txt"));
        if (!cache.open(QIODevice::ReadOnly))
            return {};
        const QByteArray wanted = key.toUtf8() + ':';
        for (const QByteArray& line : cache.readAll().split('\n')) {
            if (!line.startsWith(wanted))
                continue;
            const int eq = line.indexOf('=');
            return eq < 0 ? QString() : QString::fromUtf8(line.mid(eq + 1)).trimmed();
        }
        return {};
    }

private:
    QString below(const QString& dir, const QString& name) const
    {
        QString path = m_prefix.path() + QLatin1Char('/') + dir;
        if (!name.isEmpty())
            path += QLatin1Char('/') + name;
        return path;
    }

    QString m_buildDir;
    QTemporaryDir m_prefix;
    QString m_bin, m_libexec, m_data, m_man;
};
