#pragma once

#include "quote/nullwindowhost.h"

// The command-line tool has no windows: it only fetches and prints.
using ToolHost = NullWindowHost;
