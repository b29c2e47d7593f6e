#include "platform/gui/messageboxnotifier.h"

#include "platform/textcodec.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {

void Log(const std::string& text)
{
    std::fprintf(stderr, "Kolpex: %s\n", Cp1252ToUtf8(text).c_str());
    std::fflush(stderr);
}

constexpr char kOwnMessage[] = "kolpexOwnMessage";

} // namespace

bool MessageBoxNotifier::IsOwnMessage(const QWidget* widget)
{
    return widget && widget->property(kOwnMessage).toBool();
}

void MessageBoxNotifier::showMessage(const std::string& text)
{
    showMessageWithDetails(text, {});
}

void MessageBoxNotifier::showMessageWithDetails(const std::string& text, const std::string& details)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No windowing to show a box with (start-up failed before it): say it where we can.
        Log(text);
        return;
    }
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("Kolpex"), FromCp1252(text), QMessageBox::Ok, m_parent);
    if (!details.empty())
        box.setDetailedText(FromCp1252(details));
    box.setProperty(kOwnMessage, true);
    if (m_limitMs > 0) {
        Log(text);
        QTimer::singleShot(m_limitMs, &box, &QMessageBox::accept);
    }
    // The box waits for a click, so it gets the ordinary pointer even while the operation that
    // failed holds the wait cursor; that cursor comes back once the box is closed.
    std::vector<QCursor> lifted;
    while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
        lifted.push_back(*cursor);
        QGuiApplication::restoreOverrideCursor();
    }
    const QPointer<QMessageBox> outer = m_open;
    m_open = &box;
    box.exec();
    m_open = outer;
    for (auto it = lifted.rbegin(); it != lifted.rend(); ++it)
        QGuiApplication::setOverrideCursor(*it);
}

void MessageBoxNotifier::limitWaiting(int milliseconds)
{
    const bool first = m_limitMs <= 0;
    m_limitMs = milliseconds;
    if (first && milliseconds > 0 && m_open) {
        Log(ToCp1252(m_open->text()));
        QTimer::singleShot(milliseconds, m_open.data(), &QMessageBox::accept);
    }
}
