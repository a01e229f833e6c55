#include "tools/log/FlightSeries.h"

#include <algorithm>
#include <cmath>

namespace {

double flightSeconds(std::int64_t flightMicros) {
    return static_cast<double>(flightMicros) / 1e6;
}

}  // namespace

std::vector<PlotPoint> seriesAgainstTime(const FlightLog& log,
                                         const std::function<double(const LoggedLine&)>& value,
                                         int minimumFields) {
    std::vector<const LoggedLine*> lines;
    for (const LoggedLine& line : log.lines) {
        if (line.fields >= minimumFields && std::isfinite(value(line))) lines.push_back(&line);
    }
    const std::size_t bucket = std::max<std::size_t>(1, lines.size() * 2 / kMaxPointsPerSeries + 1);
    std::vector<PlotPoint> points;
    for (std::size_t i = 0; i < lines.size(); i += bucket) {
        const std::size_t end = std::min(lines.size(), i + bucket);
        const LoggedLine* low = lines[i];
        const LoggedLine* high = lines[i];
        for (std::size_t j = i; j < end; ++j) {
            if (value(*lines[j]) < value(*low)) low = lines[j];
            if (value(*lines[j]) > value(*high)) high = lines[j];
        }
        const LoggedLine* firstOfPair = low->flightMicros <= high->flightMicros ? low : high;
        const LoggedLine* secondOfPair = firstOfPair == low ? high : low;
        points.push_back({flightSeconds(firstOfPair->flightMicros), value(*firstOfPair)});
        if (secondOfPair != firstOfPair) {
            points.push_back({flightSeconds(secondOfPair->flightMicros), value(*secondOfPair)});
        }
    }
    return points;
}

std::vector<PlotPoint> lineRateSeries(const FlightLog& log, const FlightSummary& summary) {
    std::vector<PlotPoint> points;
    const std::vector<LineSecond>& seconds = summary.lineSeconds;
    if (seconds.empty()) return points;
    const double offset = flightSeconds(log.lines.front().flightMicros) + 0.5;
    const std::size_t step = std::max<std::size_t>(1, seconds.size() / kMaxPointsPerSeries + 1);
    std::int64_t previous = -1;
    for (std::size_t i = 0; i < seconds.size(); i += step) {
        const std::int64_t second = seconds[i].second;
        // Seconds without a line were not counted; the curve goes down to 0 over them.
        if (previous >= 0 && second - previous > static_cast<std::int64_t>(step)) {
            points.push_back({offset + static_cast<double>(previous + 1), 0});
            points.push_back({offset + static_cast<double>(second - 1), 0});
        }
        points.push_back({offset + static_cast<double>(second), static_cast<double>(seconds[i].lines)});
        previous = second;
    }
    return points;
}

std::vector<PlotPoint> groundTrackSeries(const FlightLog& log) {
    std::vector<const LoggedLine*> placed;
    for (const LoggedLine& line : log.lines) {
        if (line.hasPosition()) placed.push_back(&line);
    }
    std::vector<PlotPoint> points;
    const std::size_t step = std::max<std::size_t>(1, placed.size() / kMaxPointsPerSeries + 1);
    for (std::size_t i = 0; i < placed.size(); i += step)
        points.push_back({placed[i]->values.lon, placed[i]->values.lat});
    if (!placed.empty() && (placed.size() - 1) % step != 0) {
        points.push_back({placed.back()->values.lon, placed.back()->values.lat});
    }
    return points;
}
