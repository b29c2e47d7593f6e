#pragma once

// This test program run again as a child process, so that a write happens in a process of its own:
// unprivileged where asked (root drops to the user nobody through setpriv, since permission bits do
// not stop root).

#include <QCoreApplication>
#include <QProcess>
#include <unistd.h>

constexpr uid_t kNobody = 65534;

struct ChildRun {
    int exitCode = -1; // -1 also when it crashed or did not end within a minute
    QByteArray out;
    QByteArray err;
};

inline ChildRun RunSelfInChild(
    QStringList args, bool unprivileged, const QString& cwd = {}, const QProcessEnvironment& extra = {})
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(cwd);
    if (unprivileged && ::geteuid() == 0) {
        args = QStringList { QStringLiteral("--reuid=%1").arg(kNobody),
            QStringLiteral("--regid=%1").arg(kNobody), QStringLiteral("--clear-groups"),
            QCoreApplication::applicationFilePath() }
            + args;
        child.start(QStringLiteral("setpriv"), args);
    } else {
        child.start(QCoreApplication::applicationFilePath(), args);
    }
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    return { child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1,
        child.readAllStandardOutput(), child.readAllStandardError() };
}
