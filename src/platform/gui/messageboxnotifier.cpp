#include "platform/gui/messageboxnotifier.h"

#include "platform/textcodec.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <cstdio>
#include <vector>

void MessageBoxNotifier::showMessage(const std::string& text)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No windowing to show a box with (start-up failed before it): say it where we can.
        std::fprintf(stderr, "Kolpex: %s\n", Cp1252ToUtf8(text).c_str());
        return;
    }
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("Kolpex"), FromCp1252(text), QMessageBox::Ok, m_parent);
    // The box waits for a click, so it gets the ordinary pointer even while the operation that
    // failed holds the wait cursor; that cursor comes back once the box is closed.
    std::vector<QCursor> lifted;
    while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
        lifted.push_back(*cursor);
        QGuiApplication::restoreOverrideCursor();
    }
    box.exec();
    for (auto it = lifted.rbegin(); it != lifted.rend(); ++it)
        QGuiApplication::setOverrideCursor(*it);
}
