#include "options/optionreaders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ExpandHome(const QString& path, const QString& baseDir)
{
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    if (baseDir.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir(baseDir).filePath(path);
}

} // namespace

bool LoadConfig(const QString& path, ServiceOptions& options, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true; // nothing configured: the defaults
    // Opened without waiting and checked on what was opened: a FIFO would hold the start for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st { };
    QString why;
    if (fd < 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if (::fstat(fd, &st) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISDIR(st.st_mode))
        why = QStringLiteral("is a directory");
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("not a regular file");
    QFile file;
    if (why.isEmpty() && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        why = file.errorString();
    if (!why.isEmpty()) {
        if (fd >= 0 && !file.isOpen())
            ::close(fd);
        *error = QStringLiteral("cannot read %1: %2").arg(path, why);
        return false;
    }
    constexpr qint64 kMaxConfigBytes = 64 * 1024;
    const QByteArray text = file.read(kMaxConfigBytes + 1);
    if (text.size() > kMaxConfigBytes) {
        *error = path + QStringLiteral(": too long to be a settings file");
        return false;
    }
    return ParseConfigText(text, path, info.absolutePath(), options, error);
}

bool ParseConfigText(const QByteArray& text, const QString& origin, const QString& baseDir,
    ServiceOptions& options, QString* error)
{
    static const QStringList keys { QStringLiteral("source"), QStringLiteral("cache-seconds"),
        QStringLiteral("stale-seconds"), QStringLiteral("token-file"), QStringLiteral("address"),
        QStringLiteral("port"), QStringLiteral("path-prefix"), QStringLiteral("upstream") };
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("%1:%2: ").arg(origin).arg(i + 1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            *error = where + QStringLiteral("expected key = value, found: ") + line;
            return false;
        }
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (!keys.contains(key)) {
            *error = where + QStringLiteral("unknown key: ") + key;
            return false;
        }
        if (value.isEmpty()) {
            *error = where + key + QStringLiteral(" needs a value");
            return false;
        }
        QString message;
        if (!ApplyValued(QStringLiteral("--") + key, value, options, &message)) {
            *error = where + message;
            return false;
        }
        if (key == QLatin1String("token-file"))
            options.tokenFile = ExpandHome(value, baseDir);
    }
    return true;
}

bool ReadTokenFile(const QString& path, QString* token, QString* error)
{
    // The checks are made on what was opened, not on a name that could point elsewhere by then.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = QStringLiteral("cannot read token file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st { };
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = QStringLiteral("cannot read token file %1: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISREG(st.st_mode))
        refusal = QStringLiteral("token file %1 is not a regular file").arg(path);
    else if (st.st_mode & (S_IRGRP | S_IROTH))
        refusal = QStringLiteral("token file %1 can be read by others; make it private with: chmod 600 %1")
                      .arg(path);
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        refusal = QStringLiteral("token file %1 can be written by others; make it private with: chmod 600 %1")
                      .arg(path);
    QFile file;
    if (refusal.isEmpty() && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        refusal = QStringLiteral("cannot read token file %1: %2").arg(path, file.errorString());
    if (!refusal.isEmpty()) {
        if (!file.isOpen())
            ::close(fd);
        *error = refusal;
        return false;
    }
    const QString first = QString::fromUtf8(file.read(4096)).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (first.isEmpty()) {
        *error = QStringLiteral("token file %1 is empty").arg(path);
        return false;
    }
    *token = first;
    return true;
}
