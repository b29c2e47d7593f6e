#pragma once

// A small tmpfs of the test's own mounted over a directory (as root), for a real full disk or a
// real read-only file system; mounted() is false where no mount is allowed or
// KOLPEX_TEST_NO_MOUNT is set.

#include <QFile>
#include <QProcess>
#include <QString>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// A small file system of its own over a directory, taken down again at the end.
class SmallDisk final {
public:
    SmallDisk(const QString& dir, const char* options)
        : m_dir(dir)
    {
        if (qEnvironmentVariableIsSet("KOLPEX_TEST_NO_MOUNT"))
            return;
        QProcess mount;
        mount.start(QStringLiteral("mount"),
            { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QLatin1String(options),
                QStringLiteral("tmpfs"), dir });
        m_mounted = mount.waitForFinished(20000) && mount.exitStatus() == QProcess::NormalExit
            && mount.exitCode() == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), { QStringLiteral("-l"), m_dir });
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    bool remountReadOnly() const
    {
        return m_mounted
            && QProcess::execute(
                   QStringLiteral("mount"), { QStringLiteral("-o"), QStringLiteral("remount,ro"), m_dir })
            == 0;
    }
    // Fills what is left with one file, then hands back room bytes of it.
    bool fill(std::size_t room) const
    {
        const QByteArray path = QFile::encodeName(m_dir + QStringLiteral("/filler"));
        std::FILE* file = std::fopen(path.constData(), "wb");
        if (!file)
            return false;
        std::setvbuf(file, nullptr, _IONBF, 0);
        const std::string block(4096, 'f');
        std::size_t size = 0;
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size())
            size += block.size();
        std::fclose(file);
        return room <= size && ::truncate(path.constData(), static_cast<off_t>(size - room)) == 0;
    }

private:
    QString m_dir;
    bool m_mounted = false;
};
