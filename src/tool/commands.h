#pragma once

#include <QStringList>

// Sub-commands of kolpex-quote. Each returns the exit status: 0 success, 1 failure, 2 usage.
int RunFetch(const QStringList& args);
int RunParse(const QStringList& args);
int RunList(const QStringList& args);
int RunChart(const QStringList& args);
int RunWatch(const QStringList& args);

int UsageError(const char* message);
