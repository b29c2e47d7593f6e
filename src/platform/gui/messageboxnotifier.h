#pragma once

#include "platform/notifier.h"

class QWidget;

// The program's notifier: a modal box titled "Kolpex" with an OK button.
class MessageBoxNotifier final : public Notifier {
public:
    void showMessage(const std::string& text) override;
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent = nullptr;
};
