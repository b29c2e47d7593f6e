#include "platform/gui/messageboxnotifier.h"

#include "platform/textcodec.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

void MessageBoxNotifier::showMessage(const std::string& text)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No windowing to show a box with (start-up failed before it): say it where we can.
        std::fprintf(stderr, "Kolpex: %s\n", Cp1252ToUtf8(text).c_str());
        return;
    }
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("Kolpex"), FromCp1252(text), QMessageBox::Ok, m_parent);
    box.exec();
}
