// The supervisor's log: bounded, one old copy, shared by two runs of one user.
#include "rotatinglog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <string>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Line number n, `length` bytes with its newline.
std::string Line(int n, int length)
{
    std::string line = std::to_string(n) + ' ';
    line.resize(size_t(length - 1), 'x');
    return line + '\n';
}

} // namespace

class TestRotatingLog final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsOneOldCopy_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("firstKept"); // the oldest line still in the old copy (-1: no old copy)
        QTest::addColumn<int>("firstCurrent"); // the first line of the current file
        // A limit of 1000 bytes: 10 lines of 100 fit, the 11th starts a new file.
        QTest::newRow("fits") << 10 << 100 << -1 << 0;
        QTest::newRow("one line over") << 11 << 100 << 0 << 10;
        QTest::newRow("second rotation drops the oldest") << 25 << 100 << 10 << 20;
        QTest::newRow("uneven lines never split") << 8 << 300 << 3 << 6;
        QTest::newRow("a line longer than the limit") << 3 << 1500 << 1 << 2;
    }

    void keepsOneOldCopy()
    {
        QFETCH(int, lines);
        QFETCH(int, length);
        QFETCH(int, firstKept);
        QFETCH(int, firstCurrent);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quote-service.log"));
        {
            RotatingLog log(QFile::encodeName(path).toStdString(), 1000);
            for (int i = 0; i < lines; ++i)
                log.write(Line(i, length));
        }
        const QByteArray current = ReadAll(path);
        const QByteArray old = ReadAll(path + QStringLiteral(".1"));
        QVERIFY(current.startsWith(QByteArray::fromStdString(Line(firstCurrent, length))));
        QVERIFY(current.endsWith(QByteArray::fromStdString(Line(lines - 1, length))));
        QCOMPARE(current.size(), qsizetype(lines - firstCurrent) * length);
        if (firstKept < 0) {
            QVERIFY(!QFile::exists(path + QStringLiteral(".1")));
        } else {
            QVERIFY(old.startsWith(QByteArray::fromStdString(Line(firstKept, length))));
            QCOMPARE(old.size(), qsizetype(firstCurrent - firstKept) * length);
        }
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
            QFileDevice::Permissions());
    }

    // Two runs write one log; when one rotates it, the other follows to the new file rather than
    // growing the old copy or rotating the new file away.
    void followsAnotherRunsRotation()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quote-service.log"));
        const std::string native = QFile::encodeName(path).toStdString();
        RotatingLog first(native, 1000);
        RotatingLog second(native, 1000);
        for (int i = 0; i < 9; ++i)
            (i % 2 ? second : first).write(Line(i, 100));
        first.write(Line(9, 200)); // over the limit: rotates
        second.write(Line(10, 100));
        QCOMPARE(ReadAll(path),
            QByteArray::fromStdString(Line(9, 200)) + QByteArray::fromStdString(Line(10, 100)));
        QCOMPARE(ReadAll(path + QStringLiteral(".1")).size(), 900);
    }
};

QTEST_GUILESS_MAIN(TestRotatingLog)
#include "tst_rotatinglog.moc"
