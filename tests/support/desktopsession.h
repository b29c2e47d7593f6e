#pragma once

// The program as a desktop user meets it: an Xvfb and a scratch home of the test's own, and a
// python driver run inside dbus-run-session (the driver starts the accessibility bus) with the
// program's environment pointed at them and at a stand-in service. The driver prints one JSON line.

#include "support/ownxserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

class DesktopSession final {
public:
    // The first of what a run needs beside `tools` that is not installed, or empty.
    static QString Missing(const QStringList& tools, bool pyatspi)
    {
        for (const QString& tool : QStringList { QStringLiteral("dbus-run-session"),
                                       QStringLiteral("xdotool"), QStringLiteral("Xvfb") }
                + tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return tool;
        if (!QFile::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")))
            return QStringLiteral("at-spi2-core");
        if (pyatspi
            && QProcess::execute(kPython, { QStringLiteral("-c"), QStringLiteral("import pyatspi") }) != 0)
            return QStringLiteral("python3-pyatspi");
        return {};
    }

    // The X server; false without one (a reason to skip).
    bool startX()
    {
        m_display = QString::fromLatin1(m_x.startDisplay());
        return !m_display.isEmpty();
    }

    // The home, config, runtime and working folders, and the demo script; false with error().
    bool prepare(const QByteArray& demoScript)
    {
        for (const char* sub : { "home", "config", "runtime", "work" })
            if (!QDir().mkpath(in(sub)))
                return fail(QStringLiteral("cannot make ") + in(sub));
        QFile::setPermissions(
            in("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile demo(in("demo.txt"));
        if (!demo.open(QIODevice::WriteOnly) || demo.write(demoScript) != demoScript.size())
            return fail(QStringLiteral("cannot write the demo script"));
        return true;
    }

    QString in(const char* name) const { return m_scratch.filePath(QString::fromLatin1(name)); }
    QString error() const { return m_error; }

    // dbus-run-session BUS_ARGS -- python3 SCRIPT ARGS, in the working folder; the JSON object the
    // driver printed last, or empty with error() set (the driver's output) when it ended without
    // one, said an "error", or did not end within timeoutMs.
    QJsonObject run(const QByteArray& serviceUrl, const QStringList& busArgs, const char* script,
        const QStringList& args, int timeoutMs)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("HOME"), in("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), in("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), in("runtime"));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(serviceUrl));
        env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), in("demo.txt"));
        // Under AddressSanitizer: libxkbcommon-x11 trips the strict string check when the xcb
        // platform starts (see tst_lockindicators); every other check stays.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":strict_string_checks=0"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(in("work"));
        run.start(QStringLiteral("dbus-run-session"),
            busArgs
                + QStringList { QStringLiteral("--"), kPython,
                    QStringLiteral(KOLPEX_SOURCE_DIR "/") + QString::fromLatin1(script) }
                + args);
        if (!run.waitForStarted(10'000))
            return fail(QStringLiteral("dbus-run-session did not start")), QJsonObject {};
        if (!run.waitForFinished(timeoutMs)) {
            run.kill();
            run.waitForFinished(5000);
            return fail(QStringLiteral("the run did not end in time")), QJsonObject {};
        }
        const QByteArray output = run.readAllStandardOutput().trimmed();
        const QJsonObject read = QJsonDocument::fromJson(output.mid(output.lastIndexOf('\n') + 1)).object();
        if (read.isEmpty() || read.contains(QStringLiteral("error")))
            return fail(QString::fromLocal8Bit(output + '\n' + run.readAllStandardError())), QJsonObject {};
        return read;
    }

private:
    static inline const QString kPython = QStringLiteral("/usr/bin/python3");

    bool fail(const QString& why)
    {
        m_error = why;
        return false;
    }

    OwnXServer m_x;
    QTemporaryDir m_scratch;
    QString m_display;
    QString m_error;
};
