#pragma once

#include <QDialog>
#include <functional>

class CGraph;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct QuoteEntry;

// "Properties" (dialog 506): the chart settings of one quote window and its ticker settings.
// m_pGraph may be null (an inert window): the chart controls then keep their initial state and
// are ignored on OK.
class CDia_Parameters final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDia_Parameters)
public:
    explicit CDia_Parameters(QWidget* parent = nullptr);
    ~CDia_Parameters() override;

    CGraph* m_pGraph = nullptr;
    QuoteEntry* m_pEntry = nullptr;

    // Fills the controls and runs the dialog; QDialog::Accepted after OK.
    int DoModal();

    void OnInitDialog();
    void OnYAutoscale();
    void OnOK();

    void accept() override; // OK: OnOK, then close

    // The control of a resource id (507 … 521, 1 OK, 2 Cancel), or null.
    QWidget* control(int id) const;

    // Test hook: called with the filled dialog instead of running it modally; it sets controls
    // and calls accept() or reject(), and its result is DoModal's.
    static void SetModalAnswerForTesting(std::function<int(CDia_Parameters&)> answer);

    QCheckBox* yAutoscaleCheck;
    QCheckBox* yGridCheck;
    QLineEdit* yMinEdit;
    QLineEdit* yDeltaEdit;
    QCheckBox* xAutoscaleCheck;
    QCheckBox* xGridCheck;
    QLineEdit* xMinEdit;
    QLineEdit* xDeltaEdit;
    QCheckBox* showMarksCheck;
    QCheckBox* showLegendCheck;
    QLineEdit* lineWidthEdit;
    QComboBox* refreshCombo;
    QCheckBox* easternTimeCheck;
    QCheckBox* writeToFileCheck;
    QPushButton* okButton;
    QPushButton* cancelButton;

    QLabel* yMinLabel;
    QLabel* yDeltaLabel;
    QLabel* xMinLabel;
    QLabel* xDeltaLabel;
    QLabel* lineWidthLabel;
    QLabel* refreshLabel;
    QLabel* minsLabel;

private:
    void setupUi();
};
