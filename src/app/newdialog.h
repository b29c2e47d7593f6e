#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

class QListWidget;

// "New": picks one of the document kinds that have a name.
class NewDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewDialog)
public:
    NewDialog(const QStringList& names, QWidget* parent);
    int chosenIndex() const;

    // Test hook: the next Choose() returns this index (-1 for Cancel) without showing anything.
    static void setNextAnswer(std::optional<int> index) { s_nextAnswer = index; }
    // Shows the dialog; the chosen index, or -1 when cancelled.
    static int Choose(const QStringList& names, QWidget* parent);

private:
    QListWidget* m_typeList;
    static inline std::optional<int> s_nextAnswer;
};
