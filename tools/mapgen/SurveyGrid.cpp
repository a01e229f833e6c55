#include "tools/mapgen/SurveyGrid.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kMetresPerDegree = 111'320.0;

// 1, 2 and 5 times powers of ten, from `smallest` upwards, until `accept` holds.
template <typename Accept>
double roundStep(double smallest, Accept accept) {
    double decade = std::pow(10.0, std::floor(std::log10(smallest)));
    for (int guard = 0; guard < 64; ++guard, decade *= 10.0)
        for (double factor : {1.0, 2.0, 5.0})
            if (accept(factor * decade)) return factor * decade;
    return decade;
}

}  // namespace

bool MapCorners::valid() const {
    return std::isfinite(upperLeftLat) && std::isfinite(upperLeftLon) && std::isfinite(lowerRightLat) &&
           std::isfinite(lowerRightLon) && upperLeftLat > lowerRightLat && lowerRightLon > upperLeftLon &&
           upperLeftLat <= 90 && lowerRightLat >= -90;
}

double gridStep(double span, int maxLines) {
    if (!(span > 0) || maxLines < 1) return 0;
    return roundStep(span / maxLines / 10, [&](double step) { return span / step <= maxLines; });
}

std::vector<double> gridValues(double low, double high, double step) {
    std::vector<double> values;
    if (!(step > 0) || !(high >= low)) return values;
    const auto first = static_cast<long long>(std::ceil(low / step - 1e-9));
    const auto last = static_cast<long long>(std::floor(high / step + 1e-9));
    for (long long k = first; k <= last; ++k) values.push_back(static_cast<double>(k) * step);
    return values;
}

int labelDecimals(double step) {
    int decimals = 0;
    while (decimals < 12 &&
           std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return decimals;
}

double metresPerPixel(const MapCorners& corners, int width) {
    const double midLat = (corners.upperLeftLat + corners.lowerRightLat) / 2 * std::numbers::pi / 180;
    return (corners.lowerRightLon - corners.upperLeftLon) * kMetresPerDegree * std::cos(midLat) / width;
}

double scaleBarMetres(double metresPerPixel, int width) {
    const double limit = metresPerPixel * width / 5;
    if (!(limit > 0)) return 0;
    double best = 0;
    roundStep(limit / 1000, [&](double metres) {
        if (metres > limit) return true;
        best = metres;
        return false;
    });
    return best;
}
