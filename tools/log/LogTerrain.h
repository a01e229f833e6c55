#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/log/FlightLog.h"

// Puts the ground under each line with a position and the GPS acquired from the elevation files
// and folders of `paths`, and marks the log as carrying it. Each file left out is told through
// `report`, one message each.
void addGround(FlightLog& log, const std::vector<std::string>& paths,
               const std::function<void(const std::string&)>& report);
