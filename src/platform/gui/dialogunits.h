#pragma once

#include <QSize>

class QDialog;
class QFont;

// Dialog units: across, a quarter of the font's average character width (taken over the 52
// letters A-Z and a-z); down, an eighth of its character height.
QSize DialogUnitsToPixels(const QFont& font, int across, int down);

// Gives a dialog the client size of its layout in dialog units of its own font, or what its
// contents need where that is more.
void SizeDialogInUnits(QDialog& dialog, int across, int down, bool fixed);
