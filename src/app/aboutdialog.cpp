#include "app/aboutdialog.h"

#include "platform/gui/dialogunits.h"
#include "res/strings.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Kolpex"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconLabel"));
    icon->setPixmap(QIcon(QStringLiteral(":/kolpex/icons/kolpex-256.png")).pixmap(32, 32));
    row->addWidget(icon);
    auto* version = new QLabel(QString::fromLatin1(strings::kAboutVersion), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    row->addWidget(version, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    setSizeGripEnabled(false);
    // Wide enough for the window manager to show the whole title beside its buttons.
    SizeDialogInUnits(*this, 180, 62, true);
}
