#pragma once

#include <array>
#include <optional>
#include <string>

// The countries the worldwide search offers, with the quote service's code for each.
struct Country {
    const char* name;
    const char* code;
};

// Sorted by name, which is also the order of the dialog's list.
extern const std::array<Country, 12> kCountries;

// Exact, case-sensitive lookup by name.
std::optional<std::string> CountryCodeOf(const std::string& name);
