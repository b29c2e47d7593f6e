#pragma once

#include <QByteArray>
#include <QFile>

// A scripted provider's answer from tests/data/providers.
inline QByteArray Fixture(const char* name)
{
    QFile f(QStringLiteral(KOLPEX_TEST_DATA "/providers/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}
