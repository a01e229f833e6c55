#pragma once

#include <functional>
#include <vector>

#include "tools/log/FlightLog.h"

// The curves of a flight's picture as plain points, before any chart holds them: time is the
// flight's, seconds since the file's first record. Each curve holds at most a few thousand points,
// however many lines the flight has, and is made in work that goes with the number of lines.
struct PlotPoint {
    double x = 0, y = 0;
};

// A chart draws at most about this many points per curve: more cannot be told apart.
inline constexpr std::size_t kMaxPointsPerSeries = 4000;

// `value` of every line with at least `minimumFields` fields, against time, thinned to the smallest
// and largest value of each stretch of lines so that no spike is lost.
std::vector<PlotPoint> seriesAgainstTime(const FlightLog& log,
                                         const std::function<double(const LoggedLine&)>& value,
                                         int minimumFields);
// Lines in each whole second, at the middle of the second; down to 0 across the seconds without one.
std::vector<PlotPoint> lineRateSeries(const FlightLog& log, const FlightSummary& summary);
// Every position heard (x longitude, y latitude), thinned, with the last one kept.
std::vector<PlotPoint> groundTrackSeries(const FlightLog& log);
