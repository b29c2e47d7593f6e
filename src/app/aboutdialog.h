#pragma once

#include <QDialog>

// "About Kolpex": the icon, the version line and OK.
class AboutDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutDialog)
public:
    explicit AboutDialog(QWidget* parent);
};
