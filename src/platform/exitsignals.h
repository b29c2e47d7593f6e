#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT as a Qt signal on the event loop. The handlers only write the
// signal's number into a socket pair; the notifier on its other end reads it back where Qt calls
// are allowed. One instance at a time; the earlier dispositions come back with its destruction.
class ExitSignals final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExitSignals)
public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

    // False when the socket pair or a handler could not be set up.
    bool isActive() const { return m_notifier != nullptr; }

    // "SIGTERM", "SIGHUP", "SIGINT"; "signal N" for any other.
    static QByteArray Name(int signal);

Q_SIGNALS:
    void received(int signal);

private:
    void readPending();

    int m_fds[2] = { -1, -1 };
    QSocketNotifier* m_notifier = nullptr;
};
