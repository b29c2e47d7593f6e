#pragma once

#include "alerts/pricealert.h"

#include <QDialog>
#include <vector>

class QLineEdit;
class QPushButton;

// "Price Alert": an optional price above, a price below and a move in percent from the previous
// close for one security; "Remove" when it has alerts already. Each label is its field's buddy,
// so a screen reader names the fields and Alt plus the underlined letter reaches them.
class CDia_PriceAlert final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDia_PriceAlert)
public:
    CDia_PriceAlert(
        const std::string& symbol, const std::vector<PriceAlert>& alerts, QWidget* parent = nullptr);
    ~CDia_PriceAlert() override;

    enum Outcome { Cancelled, Changed, Removed };
    Outcome DoModal();
    // The alerts as the fields hold them after OK (empty after Remove).
    const std::vector<PriceAlert>& alerts() const { return m_alerts; }

    void accept() override;

private:
    QLineEdit* m_aboveEdit = nullptr;
    QLineEdit* m_belowEdit = nullptr;
    QLineEdit* m_moveEdit = nullptr;
    QPushButton* m_removeButton = nullptr;
    std::vector<PriceAlert> m_alerts;
    bool m_removed = false;
};
