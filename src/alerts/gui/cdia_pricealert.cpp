#include "alerts/gui/cdia_pricealert.h"

#include "platform/textcodec.h"
#include "quotewin/numbertext.h"

#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* NumberEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    // The classic locale, like every number the program reads: "420.50" whatever the desktop's.
    auto* validator = new QDoubleValidator(0, 1e9, 4, edit);
    validator->setLocale(QLocale::c());
    validator->setNotation(QDoubleValidator::StandardNotation);
    edit->setValidator(validator);
    return edit;
}

void Fill(QLineEdit* edit, const std::vector<PriceAlert>& alerts, AlertKind kind)
{
    for (const PriceAlert& alert : alerts) {
        if (alert.kind == kind) {
            edit->setText(FromCp1252(FormatAlertLevel(alert)));
            return;
        }
    }
}

} // namespace

CDia_PriceAlert::CDia_PriceAlert(
    const std::string& symbol, const std::vector<PriceAlert>& alerts, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Price Alert - ") + FromCp1252(symbol));
    m_aboveEdit = NumberEdit(this, "aboveEdit");
    m_belowEdit = NumberEdit(this, "belowEdit");
    m_moveEdit = NumberEdit(this, "moveEdit");
    Fill(m_aboveEdit, alerts, AlertKind::Above);
    Fill(m_belowEdit, alerts, AlertKind::Below);
    Fill(m_moveEdit, alerts, AlertKind::Move);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Above:"), m_aboveEdit);
    form->addRow(QStringLiteral("&Below:"), m_belowEdit);
    auto* moveRow = new QHBoxLayout;
    moveRow->addWidget(m_moveEdit);
    moveRow->addWidget(new QLabel(QStringLiteral("% from the previous close"), this));
    auto* moveLabel = new QLabel(QStringLiteral("&Move of:"), this);
    moveLabel->setBuddy(m_moveEdit);
    form->addRow(moveLabel, moveRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    if (!alerts.empty()) {
        m_removeButton = buttons->addButton(QStringLiteral("&Remove"), QDialogButtonBox::DestructiveRole);
        m_removeButton->setObjectName(QStringLiteral("removeButton"));
        connect(m_removeButton, &QPushButton::clicked, this, [this] {
            m_removed = true;
            m_alerts.clear();
            QDialog::accept();
        });
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &CDia_PriceAlert::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDia_PriceAlert::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_aboveEdit->setFocus();
}

CDia_PriceAlert::~CDia_PriceAlert() = default;

CDia_PriceAlert::Outcome CDia_PriceAlert::DoModal()
{
    if (exec() != QDialog::Accepted)
        return Cancelled;
    return m_removed ? Removed : Changed;
}

void CDia_PriceAlert::accept()
{
    std::vector<PriceAlert> alerts;
    const std::pair<QLineEdit*, AlertKind> fields[] = { { m_aboveEdit, AlertKind::Above },
        { m_belowEdit, AlertKind::Below }, { m_moveEdit, AlertKind::Move } };
    for (const auto& [edit, kind] : fields) {
        const QString text = edit->text().trimmed();
        if (text.isEmpty())
            continue;
        const double level = ParseDoubleLikeAtof(ToCp1252(text));
        if (!edit->hasAcceptableInput() || !(level > 0)) {
            QMessageBox::warning(
                this, windowTitle(), QStringLiteral("Enter a number above 0, or leave the field empty."));
            edit->setFocus();
            edit->selectAll();
            return;
        }
        alerts.push_back(PriceAlert { kind, level });
    }
    m_alerts = std::move(alerts);
    QDialog::accept();
}
