#pragma once

#include "platform/devicecontext.h"

#include <optional>
#include <string>
#include <vector>

// One record of the chart's series table; record 0 describes the X axis and has no pen.
struct GraphSeries {
    int markSize = 0;
    std::string name;
    std::optional<Rgb> penColour; // the 1-pixel legend pen; also the colour of the data lines
    std::optional<std::vector<std::string>> infoLines; // drawn beneath the legend entry

    std::optional<PenDesc> pen() const
    {
        if (!penColour)
            return std::nullopt;
        return PenDesc { 1, *penColour };
    }
};
