#pragma once

#include "res/resource_ids.h"

#include <string_view>

// The string table: application title, idle text, and the prompts of the program's own commands
// (before the line feed the status-bar prompt, after it the tooltip).
namespace strings {

constexpr std::string_view kAppTitle = "Kolpex"; // 57344, also the frame title 128
constexpr std::string_view kIdleMessage = " "; // 57345
constexpr std::string_view kQuoteDocString = "\nKolpex\nKolpex\n\n\nKolpex.Document\nKolpex.Document"; // 129
constexpr std::string_view kAboutVersion = "Kolpex Version 1.0";
// Shown when the windowing system cannot be brought up; the one message start-up has.
constexpr std::string_view kStartupFailed
    = "Kolpex could not initialise its windowing system and has to stop.";

constexpr std::string_view CommandPrompt(int commandId)
{
    switch (commandId) {
    case ids::ID_MARKETS_NYSE:
        return "New York Stock Exchange\nNew York Stock Exchange";
    case ids::ID_MARKETS_AMEX:
        return "American Stock Exchange\nAmerican Stock Exchange";
    case ids::ID_MARKETS_NASDAQ:
        return "NASDAQ\nNASDAQ";
    case ids::ID_MARKETS_MUTUAL:
        return "Mutual Funds\nMutual Funds";
    case ids::ID_MARKETS_CVE:
        return "Canadian Venture Exchange\nCanadian Venture Exchange";
    case ids::ID_MARKETS_TSX:
        return "Toronto Stock Exchange\nToronto Stock Exchange";
    case ids::ID_MARKETS_LSE:
        return "London Stock Exchange\nLondon Stock Exchange";
    case ids::ID_FIND_IN_LIST:
        return "Find Qoute in a List\nFind Qoute in a List";
    case ids::ID_FIND_WORLDWIDE:
        return "Find Quote Worldwide\nFind Quote Worldwide";
    case ids::ID_PROPERTIES:
        return "Show Properties Dialog\nShow Properties Dialog";
    default:
        return {};
    }
}

} // namespace strings
