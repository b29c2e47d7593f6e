#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <functional>

// Requests the service turns away (unknown paths, malformed heads), told in the log at most once
// a second as one line of counts: whoever sends thousands of them cannot flush the log.
class RefusalLog final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RefusalLog)

public:
    using Writer = std::function<void(const QByteArray& line)>;

    explicit RefusalLog(Writer writer, QObject* parent = nullptr);
    ~RefusalLog() override; // what is still counted is written

    void count(int status, const QByteArray& why = {});

private:
    void flush();

    Writer m_writer;
    QMap<QPair<int, QByteArray>, qint64> m_counts;
    QElapsedTimer m_sinceLine;
    QTimer m_next; // single shot, only while counts wait
};
