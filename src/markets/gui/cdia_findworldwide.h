#pragma once

#include <QDialog>
#include <functional>

class Notifier;
class QComboBox;
class QLineEdit;

// "Find Quote Worldwide": a symbol and one of the known countries. OK leaves "CC:SYMBOL" in
// g_searchText.
class CDia_FindWorldwide final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDia_FindWorldwide)
public:
    static constexpr int kSymbolEditId = 1000;
    static constexpr int kCountryComboId = 1001;

    explicit CDia_FindWorldwide(Notifier& notifier, QWidget* parent = nullptr);

    QLineEdit* symbolEdit() const { return m_symbolEdit; }
    QComboBox* countryCombo() const { return m_countryCombo; }

    // Checks the symbol and the country; stays open with a message when one is missing.
    void accept() override;

    // Shows the dialog modally, or hands it to the test hook when one is set.
    static int RunModal(QDialog& dialog);
    static std::function<int(QDialog&)> s_execHookForTesting;

private:
    Notifier& m_notifier;
    QLineEdit* m_symbolEdit;
    QComboBox* m_countryCombo;
};
