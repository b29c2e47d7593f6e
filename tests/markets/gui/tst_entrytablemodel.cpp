#include "markets/gui/entrytablemodel.h"
#include "markets/listsort.h"
#include "support/quoteentries.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QTest>

namespace {

QStringList ColumnShown(const QAbstractItemModel& model, int column)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.index(row, column).data().toString();
    return out;
}

} // namespace

class TestEntryTableModel final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void headingsAndAlignment();
    void cellsConvertFromCp1252();
    void sortKeepsSelectionOnItsRow();
    void passesTheModelTester();
    void emptyArray();
};

void TestEntryTableModel::headingsAndAlignment()
{
    const EntryArray entries = { Entry("A", "B", "1", "2") };
    const ListEntries list(entries);
    EntryTableModel model(list);
    QCOMPARE(model.columnCount(), 4);
    const QStringList headings = { QStringLiteral("COMPANY"), QStringLiteral("SYMBOL"),
        QStringLiteral("VOLUME"), QStringLiteral("LISTED") };
    const Qt::Alignment horizontal[] = { Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter };
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headings[c]);
        const auto align = model.index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(align & Qt::AlignHorizontal_Mask, horizontal[c]);
    }
}

void TestEntryTableModel::cellsConvertFromCp1252()
{
    const EntryArray entries = { Entry("Soci\xE9t\xE9 G\xE9n\xE9rale \x80", "GLE", "5", "") };
    const ListEntries list(entries);
    EntryTableModel model(list);
    QCOMPARE(
        model.index(0, 0).data().toString(), QStringLiteral("Soci\u00e9t\u00e9 G\u00e9n\u00e9rale \u20ac"));
}

void TestEntryTableModel::sortKeepsSelectionOnItsRow()
{
    const EntryArray entries
        = { Entry("c", "C", "10", ""), Entry("a", "A", "9", ""), Entry("b", "B", "100", "") };
    const ListEntries list(entries);
    EntryTableModel model(list);
    QItemSelectionModel selection(&model);
    selection.setCurrentIndex(
        model.index(0, 0), QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows);

    model.sortBy(kColumnCompany, false);
    QCOMPARE(ColumnShown(model, 0),
        (QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") }));
    QCOMPARE(model.entryIndex(0), 1);
    QCOMPARE(selection.currentIndex().row(), 2); // "c" moved to the end and the selection with it
    QVERIFY(selection.isRowSelected(2, {}));

    model.sortBy(kColumnVolume, false);
    QCOMPARE(ColumnShown(model, 2),
        (QStringList { QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("100") }));
    QCOMPARE(selection.currentIndex().row(), 1);

    model.reload();
    QCOMPARE(ColumnShown(model, 0),
        (QStringList { QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b") }));
    QCOMPARE(model.entryIndex(3), -1);
    QVERIFY(!model.entryAt(-1));
}

void TestEntryTableModel::passesTheModelTester()
{
    EntryArray entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back(
            Entry(std::to_string((i * 7) % 40).c_str(), "S", std::to_string(i % 9).c_str(), "x"));
    ListEntries list(entries);
    EntryTableModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QItemSelectionModel selection(&model);
    selection.select(model.index(5, 1), QItemSelectionModel::Select);
    for (int column = 0; column < 4; ++column) {
        model.sortBy(column, column % 2 == 1);
        if (QTest::currentTestFailed())
            return;
    }
    entries.resize(10);
    list = ListEntries(entries);
    model.reload();
    QCOMPARE(model.rowCount(), 10);
}

void TestEntryTableModel::emptyArray()
{
    const EntryArray entries;
    const ListEntries list(entries);
    EntryTableModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.sortBy(kColumnVolume, true);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).data().isValid());
}

QTEST_GUILESS_MAIN(TestEntryTableModel)
#include "tst_entrytablemodel.moc"
