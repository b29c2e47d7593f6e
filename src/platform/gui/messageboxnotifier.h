#pragma once

#include "platform/notifier.h"

#include <QPointer>

class QMessageBox;
class QWidget;

// The program's notifier: a modal box titled "Kolpex" with an OK button.
class MessageBoxNotifier final : public Notifier {
public:
    void showMessage(const std::string& text) override;
    void showMessageWithDetails(const std::string& text, const std::string& details) override;
    void limitWaiting(int milliseconds) override;
    void setParent(QWidget* parent) { m_parent = parent; }

    // A box this notifier shows: it answers itself once waiting is limited.
    static bool IsOwnMessage(const QWidget* widget);

private:
    QWidget* m_parent = nullptr;
    int m_limitMs = 0; // 0: a box waits for its answer as long as it takes
    QPointer<QMessageBox> m_open;
};
