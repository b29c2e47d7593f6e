#pragma once

// The stand-in quote service as a child process of the test, on a port of its own choosing (or
// a given one, to come back where it was), answering from the list files it is given.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <memory>

class QuoteServiceProcess final {
public:
    QuoteServiceProcess() = default;
    QuoteServiceProcess(const QuoteServiceProcess&) = delete;
    QuoteServiceProcess& operator=(const QuoteServiceProcess&) = delete;
    ~QuoteServiceProcess() { stop(); }

    // Starts the service and waits for the line that names its address. False, with the reason
    // in error(), when it does not come up. A service that is not quiet logs each request, kept
    // for output() once it is stopped. Unless the arguments name the sources, a settings file
    // that may, or a provider's stand-in, it is the simulated market: no test reaches a provider.
    bool start(const QStringList& arguments, quint16 port = 0, bool quiet = true)
    {
        stop();
        m_process = std::make_unique<QProcess>();
        m_process->setProgram(QStringLiteral(KOLPEX_SERVICE_BIN));
        QStringList all { QStringLiteral("--port"), QString::number(port) };
        if (quiet)
            all << QStringLiteral("--quiet");
        if (!arguments.contains(QStringLiteral("--source")) && !arguments.contains(QStringLiteral("--config"))
            && !arguments.contains(QStringLiteral("--upstream")))
            all << QStringLiteral("--source") << QStringLiteral("simulated");
        m_process->setArguments(all + arguments);
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        m_process->start();
        if (!m_process->waitForStarted(5000)) {
            m_error = m_process->errorString();
            return false;
        }
        const QDeadlineTimer deadline(5000);
        while (!m_process->canReadLine() && !deadline.hasExpired() && m_process->state() == QProcess::Running)
            m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        const QByteArray line = m_process->readLine().trimmed();
        const QByteArray prefix = "listening on ";
        if (!line.startsWith(prefix)) {
            m_error = QString::fromLocal8Bit(line + ' ' + m_process->readAllStandardError());
            stop();
            return false;
        }
        m_url = line.mid(prefix.size()).split(' ').first(); // " below its path prefix" may follow
        m_port = static_cast<quint16>(m_url.mid(m_url.lastIndexOf(':') + 1).toUInt());
        return m_port != 0;
    }

    // The abrupt end: no goodbye to open connections, the port closes with the process.
    void kill()
    {
        if (!m_process)
            return;
        m_process->kill();
        m_process->waitForFinished(5000);
        m_process.reset();
    }

    // Stops it the way a user does; true when it went down cleanly.
    bool stop()
    {
        if (!m_process)
            return false;
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            kill();
            return false;
        }
        m_output += m_process->readAllStandardOutput();
        const bool clean = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        m_process.reset();
        return clean;
    }

    bool running() const { return m_process && m_process->state() == QProcess::Running; }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    const QByteArray& url() const { return m_url; }
    quint16 port() const { return m_port; }
    const QString& error() const { return m_error; }
    const QByteArray& output() const { return m_output; }

    // What the service would serve for CC:SYMBOL, as its own --dump reports it.
    static QJsonObject Dump(const QString& countrySymbol, const QStringList& arguments)
    {
        QProcess dump;
        dump.start(QStringLiteral(KOLPEX_SERVICE_BIN),
            QStringList { QStringLiteral("--dump"), countrySymbol } + arguments);
        if (!dump.waitForFinished(20000) || dump.exitCode() != 0)
            return {};
        return QJsonDocument::fromJson(dump.readAllStandardOutput()).object();
    }

private:
    std::unique_ptr<QProcess> m_process;
    QByteArray m_url;
    quint16 m_port = 0;
    QString m_error;
    QByteArray m_output;
};
