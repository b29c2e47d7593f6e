#pragma once

#include <string>

// Number texts of the quote window, independent of the process's locale (the GUI application
// adopts the user's locale, which would otherwise turn "25.50" into "25,50").

std::string FormatFixed2(double value); // like "%.2f"
int ParseIntLikeAtoi(const std::string& text); // leading whitespace, sign, digits; 0 without any
double ParseDoubleLikeAtof(const std::string& text); // longest leading number (0x hex too); 0 without one
