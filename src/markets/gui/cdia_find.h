#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;

// "Find a Quote": a part of a company name or a symbol. OK leaves the text, as typed, in
// g_searchText; an empty text is accepted.
class CDia_Find final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDia_Find)
public:
    static constexpr int kSearchEditId = 103;

    explicit CDia_Find(QWidget* parent = nullptr);

    QLineEdit* searchEdit() const { return m_searchEdit; }
    const std::string& searchText() const { return m_searchText; }

    void accept() override;

    // Shows the dialog modally, or hands it to the test hook when one is set.
    static int RunModal(QDialog& dialog);
    static std::function<int(QDialog&)> s_execHookForTesting;

private:
    QLineEdit* m_searchEdit;
    std::string m_searchText;
};
