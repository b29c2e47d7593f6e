#include "markets/gui/cdia_find.h"

#include "markets/liststate.h"
#include "platform/gui/dialogunits.h"
#include "platform/textcodec.h"
#include "res/resource_ids.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

std::function<int(QDialog&)> CDia_Find::s_execHookForTesting;

CDia_Find::CDia_Find(QWidget* parent)
    : QDialog(parent)
    , m_searchEdit(new QLineEdit(this))
{
    setObjectName(QStringLiteral("findDialog"));
    setProperty("resourceId", ids::IDD_FIND);
    setWindowTitle(QStringLiteral("Find a Quote"));

    auto* label = new QLabel(QStringLiteral("Enter a part of a company name or a qoute symbol:"), this);
    label->setBuddy(m_searchEdit);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_searchEdit->setProperty("controlId", kSearchEditId);
    m_searchEdit->setAlignment(Qt::AlignLeft);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDia_Find::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDia_Find::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_searchEdit);
    layout->addStretch();
    layout->addWidget(buttons);
    SizeDialogInUnits(*this, 215, 97, false);
    m_searchEdit->setFocus();
}

void CDia_Find::accept()
{
    m_searchText = ToCp1252(m_searchEdit->text());
    g_searchText = m_searchText;
    QDialog::accept();
}

int CDia_Find::RunModal(QDialog& dialog)
{
    if (s_execHookForTesting)
        return s_execHookForTesting(dialog);
    return dialog.exec();
}
