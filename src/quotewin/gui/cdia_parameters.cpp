#include "quotewin/gui/cdia_parameters.h"

#include "chart/graph.h"
#include "platform/textcodec.h"
#include "quote/quoteentry.h"
#include "quotewin/numbertext.h"
#include "quotewin/properties.h"
#include "res/resource_ids.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

namespace {

std::function<int(CDia_Parameters&)>& ModalAnswer()
{
    static std::function<int(CDia_Parameters&)> answer;
    return answer;
}

QString Fixed2(double value)
{
    return QString::fromStdString(FormatFixed2(value));
}

double EditDouble(const QLineEdit* edit)
{
    return ParseDoubleLikeAtof(ToCp1252(edit->text()));
}

QCheckBox* MakeCheck(const char* objectName, const char* caption, QWidget* parent)
{
    auto* check = new QCheckBox(QString::fromLatin1(caption), parent);
    check->setObjectName(QString::fromLatin1(objectName));
    return check;
}

QLineEdit* MakeEdit(const char* objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    return edit;
}

QLabel* MakeLabel(const char* caption, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

void CDia_Parameters::SetModalAnswerForTesting(std::function<int(CDia_Parameters&)> answer)
{
    ModalAnswer() = std::move(answer);
}

CDia_Parameters::CDia_Parameters(QWidget* parent)
    : QDialog(parent)
{
    setupUi();
}

CDia_Parameters::~CDia_Parameters() = default;

void CDia_Parameters::setupUi()
{
    setObjectName(QStringLiteral("CDia_Parameters"));
    setWindowTitle(QStringLiteral("Properties"));

    auto* yGroup = new QGroupBox(QStringLiteral("Y Axe"), this);
    yAutoscaleCheck = MakeCheck("yAutoscaleCheck", "Autoscale", yGroup);
    yGridCheck = MakeCheck("yGridCheck", "Show net", yGroup);
    yMinEdit = MakeEdit("yMinEdit", yGroup);
    yDeltaEdit = MakeEdit("yDeltaEdit", yGroup);
    yMinLabel = MakeLabel("Y min:", yMinEdit, yGroup);
    yDeltaLabel = MakeLabel("Y delta:", yDeltaEdit, yGroup);
    yMinEdit->setEnabled(false);
    yDeltaEdit->setEnabled(false);

    auto* xGroup = new QGroupBox(QStringLiteral("X Axe"), this);
    xAutoscaleCheck = MakeCheck("xAutoscaleCheck", "Autoscale", xGroup);
    xGridCheck = MakeCheck("xGridCheck", "Show net", xGroup);
    xMinEdit = MakeEdit("xMinEdit", xGroup);
    xDeltaEdit = MakeEdit("xDeltaEdit", xGroup);
    xMinLabel = MakeLabel("X min:", xMinEdit, xGroup);
    xDeltaLabel = MakeLabel("X delta:", xDeltaEdit, xGroup);

    auto* graphGroup = new QGroupBox(QStringLiteral("Graph"), this);
    showMarksCheck = MakeCheck("showMarksCheck", "Show marks", graphGroup);
    showLegendCheck = MakeCheck("showLegendCheck", "Show legend", graphGroup);
    lineWidthEdit = MakeEdit("lineWidthEdit", graphGroup);
    lineWidthLabel = MakeLabel("Line width:", lineWidthEdit, graphGroup);

    auto* tickerGroup = new QGroupBox(QStringLiteral("Ticker"), this);
    refreshCombo = new QComboBox(tickerGroup);
    refreshCombo->setObjectName(QStringLiteral("refreshCombo"));
    refreshCombo->setEditable(true);
    refreshCombo->setInsertPolicy(QComboBox::NoInsert);
    // No inline completion: typing 1 must not turn into 10 behind the user's back.
    refreshCombo->setCompleter(nullptr);
    for (const char* item : { "5", "10", "15", "30", "60", "120" })
        refreshCombo->addItem(QString::fromLatin1(item));
    refreshLabel = MakeLabel("Refresh every:", refreshCombo, tickerGroup);
    minsLabel = new QLabel(QStringLiteral("mins"), tickerGroup);
    easternTimeCheck = MakeCheck("easternTimeCheck", "Time USA ET", tickerGroup);
    writeToFileCheck = MakeCheck("writeToFileCheck", "Write quote data to file", tickerGroup);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));

    // Each axis box: its check boxes at the top, the labelled edits below them.
    const auto fillAxisBox = [](QGroupBox* box, QCheckBox* first, QCheckBox* second, QLabel* label1,
                                 QLineEdit* edit1, QLabel* label2, QLineEdit* edit2) {
        auto* grid = new QGridLayout(box);
        grid->addWidget(first, 0, 0, 1, 2);
        grid->addWidget(second, 1, 0, 1, 2);
        if (label1) {
            grid->addWidget(label1, 2, 0);
            grid->addWidget(edit1, 2, 1);
        }
        if (label2) {
            grid->addWidget(label2, 3, 0);
            grid->addWidget(edit2, 3, 1);
        }
        grid->setRowStretch(4, 1);
    };
    fillAxisBox(yGroup, yAutoscaleCheck, yGridCheck, yMinLabel, yMinEdit, yDeltaLabel, yDeltaEdit);
    fillAxisBox(xGroup, xAutoscaleCheck, xGridCheck, xMinLabel, xMinEdit, xDeltaLabel, xDeltaEdit);
    fillAxisBox(graphGroup, showMarksCheck, showLegendCheck, lineWidthLabel, lineWidthEdit, nullptr, nullptr);

    xAutoscaleCheck->setVisible(false);
    xMinEdit->setVisible(false);
    xMinLabel->setVisible(false);
    xDeltaEdit->setVisible(false);
    xDeltaLabel->setVisible(false);
    for (QWidget* w : { static_cast<QWidget*>(xAutoscaleCheck), static_cast<QWidget*>(xMinEdit),
             static_cast<QWidget*>(xMinLabel), static_cast<QWidget*>(xDeltaEdit),
             static_cast<QWidget*>(xDeltaLabel) }) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true); // the box keeps its shape as in the resource
        w->setSizePolicy(policy);
    }

    auto* ticker = new QHBoxLayout(tickerGroup);
    ticker->addWidget(refreshLabel);
    ticker->addWidget(refreshCombo);
    ticker->addWidget(minsLabel);
    ticker->addSpacing(16);
    ticker->addWidget(easternTimeCheck);
    ticker->addSpacing(16);
    ticker->addWidget(writeToFileCheck);
    ticker->addStretch(1);

    auto* boxes = new QHBoxLayout;
    boxes->addWidget(yGroup, 1);
    boxes->addWidget(xGroup, 1);
    boxes->addWidget(graphGroup, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* main = new QVBoxLayout(this);
    main->addLayout(boxes, 1);
    main->addWidget(tickerGroup);
    main->addLayout(buttons);

    // 369 x 166 dialog units in the dialog font's average character cell.
    const QFontMetrics metrics(font());
    const int unitX = metrics.averageCharWidth();
    const int unitY = metrics.height();
    resize(std::max(sizeHint().width(), 369 * unitX / 4), std::max(sizeHint().height(), 166 * unitY / 8));

    connect(yAutoscaleCheck, &QCheckBox::clicked, this, &CDia_Parameters::OnYAutoscale);
    connect(okButton, &QPushButton::clicked, this, &CDia_Parameters::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CDia_Parameters::reject);
}

QWidget* CDia_Parameters::control(int id) const
{
    switch (id) {
    case 1:
        return okButton;
    case 2:
        return cancelButton;
    case 507:
        return yAutoscaleCheck;
    case 508:
        return yGridCheck;
    case 509:
        return yMinEdit;
    case 510:
        return yDeltaEdit;
    case 511:
        return xAutoscaleCheck;
    case 512:
        return xGridCheck;
    case 513:
        return xMinEdit;
    case 514:
        return xDeltaEdit;
    case 516:
        return lineWidthEdit;
    case 517:
        return showMarksCheck;
    case 518:
        return showLegendCheck;
    case 519:
        return writeToFileCheck;
    case 520:
        return easternTimeCheck;
    case 521:
        return refreshCombo;
    default:
        return nullptr;
    }
}

int CDia_Parameters::DoModal()
{
    OnInitDialog();
    if (const auto& answer = ModalAnswer())
        return answer(*this);
    return exec();
}

void CDia_Parameters::OnInitDialog()
{
    if (m_pGraph) {
        showMarksCheck->setChecked(m_pGraph->m_showMarks);
        showLegendCheck->setChecked(m_pGraph->m_showLegend);
        xGridCheck->setChecked(m_pGraph->m_xGrid);
        yAutoscaleCheck->setChecked(m_pGraph->m_yAutoscale);
        yGridCheck->setChecked(m_pGraph->m_yGrid);
        lineWidthEdit->setText(QString::number(m_pGraph->m_lineWidth));
        xMinEdit->setText(Fixed2(m_pGraph->m_xMin));
        xDeltaEdit->setText(Fixed2(m_pGraph->m_xDelta));
        yMinEdit->setText(Fixed2(m_pGraph->m_yMin));
        yDeltaEdit->setText(Fixed2(m_pGraph->m_yDelta));
        OnYAutoscale();
    }
    if (m_pEntry) {
        writeToFileCheck->setChecked(m_pEntry->writeToFile);
        easternTimeCheck->setChecked(m_pEntry->easternTime);
        refreshCombo->setEditText(QString::number(m_pEntry->refreshInterval));
    }
    // The initial focus is left to the dialog: the first control in tab order.
}

void CDia_Parameters::OnYAutoscale()
{
    if (yAutoscaleCheck->isChecked()) {
        yMinEdit->setEnabled(false);
        yDeltaEdit->setEnabled(false);
    } else if (m_pGraph) {
        yMinEdit->setText(Fixed2(m_pGraph->m_yMin));
        yDeltaEdit->setText(Fixed2(m_pGraph->m_yDelta));
        yMinEdit->setEnabled(true);
        yDeltaEdit->setEnabled(true);
    }
}

void CDia_Parameters::OnOK()
{
    if (m_pGraph) {
        m_pGraph->m_showMarks = showMarksCheck->isChecked();
        m_pGraph->m_showLegend = showLegendCheck->isChecked();
        m_pGraph->m_xGrid = xGridCheck->isChecked();
        m_pGraph->m_yAutoscale = yAutoscaleCheck->isChecked();
        m_pGraph->m_yGrid = yGridCheck->isChecked();
        m_pGraph->m_lineWidth = ParseIntLikeAtoi(ToCp1252(lineWidthEdit->text()));
        m_pGraph->m_xMin = EditDouble(xMinEdit);
        m_pGraph->m_xDelta = EditDouble(xDeltaEdit);
        m_pGraph->m_yMin = EditDouble(yMinEdit);
        m_pGraph->m_yDelta = EditDouble(yDeltaEdit);
    }
    if (m_pEntry) {
        m_pEntry->writeToFile = writeToFileCheck->isChecked();
        m_pEntry->easternTime = easternTimeCheck->isChecked();
        m_pEntry->refreshInterval = ParseRefreshInterval(ToCp1252(refreshCombo->currentText()));
    }
}

void CDia_Parameters::accept()
{
    OnOK();
    QDialog::accept();
}
