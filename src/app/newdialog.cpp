#include "app/newdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

NewDialog::NewDialog(const QStringList& names, QWidget* parent)
    : QDialog(parent)
    , m_typeList(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("New"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("&New"), this);
    label->setBuddy(m_typeList);
    layout->addWidget(label);
    m_typeList->setObjectName(QStringLiteral("typeList"));
    m_typeList->setAccessibleName(QStringLiteral("New")); // the buddy's text does not name it
    m_typeList->addItems(names);
    m_typeList->setCurrentRow(0);
    layout->addWidget(m_typeList);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_typeList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int NewDialog::chosenIndex() const
{
    return m_typeList->currentRow();
}

int NewDialog::Choose(const QStringList& names, QWidget* parent)
{
    if (s_nextAnswer) {
        const int answer = *s_nextAnswer;
        s_nextAnswer.reset();
        return answer;
    }
    NewDialog dialog(names, parent);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return dialog.chosenIndex();
}
