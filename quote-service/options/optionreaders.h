#pragma once

// Shared by the command line and the settings file; not for other callers.

#include "options/options.h"

// One option with its value (e.g. "--port", "8765"), from the command line or a settings file.
bool ApplyValued(const QString& arg, const QString& value, ServiceOptions& options, QString* error);
// Reads a settings file into options; a file that does not exist is no error.
bool LoadConfig(const QString& path, ServiceOptions& options, QString* error);
