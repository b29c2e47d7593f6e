#pragma once

#include <QByteArray>

// A country whose securities the service quotes outside North America, as each provider spells
// a listing there. The US and Canada are spelt apart by each caller (no suffix; Toronto or the
// venture exchange).
struct CountryListing {
    const char* country; // the list's two-letter code: "GB", "DE"
    const char* yahoo; // Yahoo's and Finnhub's exchange suffix: ".L", ".DE"
    const char* cnbc; // CNBC's country suffix: "-GB", "-DE"
    const char* currency; // the currency its prices are in: "GBP", "EUR"
};

// The row of a country code (upper case), or nullptr for one not listed.
const CountryListing* FindCountryListing(const QByteArray& country);

// The currency a country's prices are in; empty for one not listed (the US and Canada: dollars).
QByteArray CountryCurrency(const QByteArray& country);

// What a page puts before an amount of a currency (code page 1252): "$", or the currency's sign.
QByteArray CurrencySign(const QByteArray& currencyCode);
