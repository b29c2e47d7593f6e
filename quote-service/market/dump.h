#pragma once

#include "market/catalogue.h"

#include <QByteArray>
#include <cstdint>

// The figures the service would serve for one security at one moment, as one JSON object, so
// that tests can compare what the program read with what the page meant.
QByteArray DumpQuote(
    const SecurityCatalogue& catalogue, const QString& countrySymbol, std::int64_t utcSeconds);
