#pragma once
// The two time limits of one HTTP transfer: silence (nothing heard for the time-out) and a
// deadline for the whole of it, so a server dribbling a byte now and then cannot hold us for ever.
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

class TransferClock final {
public:
    // Either limit ends the loop once start() has run.
    TransferClock(int timeoutMs, QEventLoop& loop)
    {
        const int silenceMs = std::max(timeoutMs, 1);
        Arm(m_silence, silenceMs, loop);
        Arm(m_deadline, silenceMs * 4, loop);
    }

    void start()
    {
        m_silence.start();
        m_deadline.start();
    }
    void heard() { m_silence.start(); }
    void stop()
    {
        m_silence.stop();
        m_deadline.stop();
    }
    bool timedOut() const { return m_timedOut; }

private:
    void Arm(QTimer& timer, int ms, QEventLoop& loop)
    {
        timer.setSingleShot(true);
        timer.setInterval(ms);
        QObject::connect(&timer, &QTimer::timeout, &loop, [this, &loop] {
            m_timedOut = true;
            loop.quit();
        });
    }

    QTimer m_silence;
    QTimer m_deadline;
    bool m_timedOut = false;
};
