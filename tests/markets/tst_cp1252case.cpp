#include "markets/cp1252case.h"

#include <QTest>

class TestCp1252Case final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lower_data();
    void lower();
    void roundTripOfEveryByte();
};

void TestCp1252Case::lower_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("lower");
    QTest::addColumn<QByteArray>("upper");

    QTest::newRow("ascii") << QByteArray("Acme CORP 12!") << QByteArray("acme corp 12!")
                           << QByteArray("ACME CORP 12!");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("accented capitals")
        << QByteArray("\xC0\xC9\xD6\xDE") << QByteArray("\xE0\xE9\xF6\xFE") << QByteArray("\xC0\xC9\xD6\xDE");
    QTest::newRow("multiplication and division signs stay")
        << QByteArray("\xD7\xF7") << QByteArray("\xD7\xF7") << QByteArray("\xD7\xF7");
    QTest::newRow("sharp s and micro stay")
        << QByteArray("\xDF\xB5") << QByteArray("\xDF\xB5") << QByteArray("\xDF\xB5");
    QTest::newRow("row 0x80 letters")
        << QByteArray("\x8A\x8C\x8E\x9F") << QByteArray("\x9A\x9C\x9E\xFF") << QByteArray("\x8A\x8C\x8E\x9F");
    QTest::newRow("row 0x80 small letters")
        << QByteArray("\x9A\x9C\x9E\xFF") << QByteArray("\x9A\x9C\x9E\xFF") << QByteArray("\x8A\x8C\x8E\x9F");
    QTest::newRow("brackets next to the letters")
        << QByteArray("@[`{") << QByteArray("@[`{") << QByteArray("@[`{");
    QTest::newRow("embedded zero byte")
        << QByteArray("A\0B", 3) << QByteArray("a\0b", 3) << QByteArray("A\0B", 3);
}

void TestCp1252Case::lower()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, lower);
    QFETCH(QByteArray, upper);
    const std::string s = text.toStdString();
    QCOMPARE(QByteArray::fromStdString(LowerCp1252(s)), lower);
    QCOMPARE(QByteArray::fromStdString(UpperCp1252(s)), upper);
}

void TestCp1252Case::roundTripOfEveryByte()
{
    // Every capital comes back from its small letter and vice versa; nothing else moves.
    for (int b = 0; b < 256; ++b) {
        const std::string c(1, static_cast<char>(b));
        const std::string lo = LowerCp1252(c);
        const std::string up = UpperCp1252(c);
        QVERIFY2(lo == c || up == c, qPrintable(QString::number(b, 16)));
        if (lo != c)
            QCOMPARE(UpperCp1252(lo), c);
        if (up != c)
            QCOMPARE(LowerCp1252(up), c);
    }
}

QTEST_GUILESS_MAIN(TestCp1252Case)
#include "tst_cp1252case.moc"
