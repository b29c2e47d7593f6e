#include "markets/gui/cdia_findworldwide.h"

#include "markets/countrytable.h"
#include "markets/cp1252case.h"
#include "markets/liststate.h"
#include "platform/gui/dialogunits.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "res/resource_ids.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

std::function<int(QDialog&)> CDia_FindWorldwide::s_execHookForTesting;

CDia_FindWorldwide::CDia_FindWorldwide(Notifier& notifier, QWidget* parent)
    : QDialog(parent)
    , m_notifier(notifier)
    , m_symbolEdit(new QLineEdit(this))
    , m_countryCombo(new QComboBox(this))
{
    setObjectName(QStringLiteral("findWorldwideDialog"));
    setProperty("resourceId", ids::IDD_FINDWORLDWIDE);
    setWindowTitle(QStringLiteral("Find Quote Worldwide"));

    m_symbolEdit->setObjectName(QStringLiteral("symbolEdit"));
    m_symbolEdit->setProperty("controlId", kSymbolEditId);
    m_symbolEdit->setAlignment(Qt::AlignCenter);

    m_countryCombo->setObjectName(QStringLiteral("countryCombo"));
    m_countryCombo->setProperty("controlId", kCountryComboId);
    m_countryCombo->setEditable(false);
    QStringList names;
    for (const Country& country : kCountries)
        names << QString::fromLatin1(country.name);
    names.sort(); // the list is shown sorted whatever order the table keeps
    m_countryCombo->addItems(names);
    m_countryCombo->setCurrentIndex(m_countryCombo->findText(QStringLiteral("United States")));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Quote Symbol:"), m_symbolEdit);
    form->addRow(QStringLiteral("Country:"), m_countryCombo);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDia_FindWorldwide::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDia_FindWorldwide::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    SizeDialogInUnits(*this, 186, 90, false);
    m_symbolEdit->setFocus();
}

void CDia_FindWorldwide::accept()
{
    const std::string symbol = ToCp1252(m_symbolEdit->text());
    if (symbol.empty()) {
        m_notifier.showMessage("Please enter a quote Symbol.");
        return;
    }
    const std::string countryName = ToCp1252(m_countryCombo->currentText());
    g_searchText.clear();
    const std::optional<std::string> code = CountryCodeOf(countryName);
    if (!code) {
        m_notifier.showMessage("Unknown Country: " + countryName);
        return;
    }
    g_searchText = *code + ":" + UpperCp1252(symbol);
    QDialog::accept();
}

int CDia_FindWorldwide::RunModal(QDialog& dialog)
{
    if (s_execHookForTesting)
        return s_execHookForTesting(dialog);
    return dialog.exec();
}
