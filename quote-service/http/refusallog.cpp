#include "http/refusallog.h"

namespace {

constexpr int kLineEveryMs = 1000;

} // namespace

RefusalLog::RefusalLog(Writer writer, QObject* parent)
    : QObject(parent)
    , m_writer(std::move(writer))
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &RefusalLog::flush);
}

RefusalLog::~RefusalLog()
{
    flush();
}

void RefusalLog::count(int status, const QByteArray& why)
{
    ++m_counts[{ status, why }];
    if (m_next.isActive())
        return;
    // The first refusal after a quiet second is told at once; the rest wait for the second's end.
    if (!m_sinceLine.isValid() || m_sinceLine.elapsed() >= kLineEveryMs)
        flush();
    else
        m_next.start(int(kLineEveryMs - m_sinceLine.elapsed()));
}

void RefusalLog::flush()
{
    m_next.stop();
    if (m_counts.isEmpty())
        return;
    qint64 total = 0;
    QByteArray parts;
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) {
        total += it.value();
        parts += (parts.isEmpty() ? "" : ", ") + QByteArray::number(it.value()) + " x "
            + QByteArray::number(it.key().first) + (it.key().second.isEmpty() ? "" : " " + it.key().second);
    }
    m_counts.clear();
    m_sinceLine.start();
    m_writer("refused " + QByteArray::number(total) + (total == 1 ? " request: " : " requests: ") + parts);
}
