#include "markets/countrytable.h"

const std::array<Country, 12> kCountries { {
    { "Australia", "AU" },
    { "Belgium", "BE" },
    { "Canada", "CA" },
    { "France", "FR" },
    { "Germany", "DE" },
    { "Great Britain", "GB" },
    { "Italy", "IT" },
    { "Japan", "JP" },
    { "Netherlands", "NL" },
    { "Spain", "ES" },
    { "Sweden", "SE" },
    { "United States", "US" },
} };

std::optional<std::string> CountryCodeOf(const std::string& name)
{
    for (const Country& country : kCountries) {
        if (name == country.name)
            return std::string(country.code);
    }
    return std::nullopt;
}
