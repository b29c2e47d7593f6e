#include "platform/gui/dialogunits.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLayout>

QSize DialogUnitsToPixels(const QFont& font, int across, int down)
{
    const QFontMetrics metrics(font);
    const int letters
        = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int average = (letters / 26 + 1) / 2; // rounded to the nearest pixel
    return { across * average / 4, down * metrics.height() / 8 };
}

void SizeDialogInUnits(QDialog& dialog, int across, int down, bool fixed)
{
    QSize size = DialogUnitsToPixels(dialog.font(), across, down);
    if (QLayout* layout = dialog.layout()) {
        layout->setSizeConstraint(QLayout::SetDefaultConstraint);
        size = size.expandedTo(layout->minimumSize());
    }
    if (fixed)
        dialog.setFixedSize(size);
    else
        dialog.resize(size);
}
