#include "market/countries.h"

namespace {

constexpr CountryListing kCountries[] = {
    { "AU", ".AX", "-AU", "AUD" },
    { "BE", ".BR", "-BE", "EUR" },
    { "DE", ".DE", "-DE", "EUR" },
    { "ES", ".MC", "-ES", "EUR" },
    { "FR", ".PA", "-FR", "EUR" },
    { "GB", ".L", "-GB", "GBP" },
    { "IT", ".MI", "-IT", "EUR" },
    { "JP", ".T", "-JP", "JPY" },
    { "NL", ".AS", "-NL", "EUR" },
    { "SE", ".ST", "-SE", "SEK" },
};

struct CurrencyMark {
    const char* code;
    const char* sign;
};

// Every other currency prints as dollars.
constexpr CurrencyMark kSigns[] = {
    { "GBP", "\xA3" }, // a London price in pence still has a market value in pounds
    { "GBX", "\xA3" },
    { "EUR", "\x80" },
    { "JPY", "\xA5" },
    { "SEK", "SEK " },
};

} // namespace

const CountryListing* FindCountryListing(const QByteArray& country)
{
    for (const auto& row : kCountries) {
        if (country == row.country)
            return &row;
    }
    return nullptr;
}

QByteArray CountryCurrency(const QByteArray& country)
{
    const CountryListing* row = FindCountryListing(country);
    return row ? QByteArray(row->currency) : QByteArray();
}

QByteArray CurrencySign(const QByteArray& currencyCode)
{
    const QByteArray code = currencyCode.toUpper();
    for (const auto& mark : kSigns) {
        if (code == mark.code)
            return mark.sign;
    }
    return "$";
}
