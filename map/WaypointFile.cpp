#include "map/WaypointFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <utility>

#include "map/Waypoints.h"

namespace {

constexpr const char* kGpx11Namespace = "http://www.topografix.com/GPX/1/1";
constexpr const char* kGpx10Namespace = "http://www.topografix.com/GPX/1/0";
constexpr const char* kCreator = "Orvane";
constexpr int kWrittenDecimals = 9;
// A longer track is first cut to every n-th point (its last point kept): the Douglas-Peucker rule
// takes up to the square of the points' number, and a file is untrusted input.
constexpr std::size_t kTrackPointsForThinning = 20000;
// The deepest a GPX file goes is gpx > trk > trkseg > trkpt > link > text; extensions of other
// schemas add a few levels below a point.
constexpr int kMostNestedElements = 16;

// The file with its folder: the operator may have several plans of one name.
std::string fileLabel(const std::string& path) {
    return "\"" +
           QDir::toNativeSeparators(QFileInfo(QString::fromStdString(path)).absoluteFilePath())
               .toStdString() +
           "\"";
}

// What the reader collected, by kind.
struct GpxContent {
    std::vector<GeoPoint> route;  // the first route
    std::vector<GeoPoint> waypoints;
    std::vector<GeoPoint> track;  // the first segment of the first track
    std::optional<std::string> problem;
};

std::optional<double> numberAttribute(const QXmlStreamAttributes& attributes, const char* name) {
    bool ok = false;
    const double value = attributes.value(QLatin1String(name)).toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The point of a `wpt`, `rtept` or `trkpt` element, or the problem with it.
std::optional<GeoPoint> readPoint(QXmlStreamReader& reader, std::string& problem) {
    const QXmlStreamAttributes attributes = reader.attributes();
    const std::optional<double> lat = numberAttribute(attributes, "lat");
    const std::optional<double> lon = numberAttribute(attributes, "lon");
    const std::string where =
        "the " + reader.name().toString().toStdString() + " on line " + std::to_string(reader.lineNumber());
    if (!lat || !lon) {
        problem = where + " has a latitude or longitude that is not a number";
        return std::nullopt;
    }
    if (*lat < -90.0 || *lat > 90.0) {
        problem =
            where + " has the latitude " + QString::number(*lat, 'g', 12).toStdString() + ", outside -90..90";
        return std::nullopt;
    }
    if (*lon < -180.0 || *lon > 180.0) {
        problem = where + " has the longitude " + QString::number(*lon, 'g', 12).toStdString() +
                  ", outside -180..180";
        return std::nullopt;
    }
    return GeoPoint{*lat, *lon};
}

bool isGpxRoot(const QXmlStreamReader& reader) {
    const QStringView ns = reader.namespaceUri();
    return reader.name() == QLatin1String("gpx") &&
           (ns.isEmpty() || ns == QLatin1String(kGpx11Namespace) || ns == QLatin1String(kGpx10Namespace));
}

GpxContent parseGpx(QFile& file) {
    GpxContent content;
    QXmlStreamReader reader(&file);
    bool rootSeen = false;
    int routesSeen = 0, tracksSeen = 0, segmentsSeen = 0;
    std::vector<GeoPoint>* collecting = nullptr;
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token != QXmlStreamReader::StartElement) continue;
        // The reader keeps every open element, so a file nested without end would hold many
        // times its size in memory before it ended.
        if (++depth > kMostNestedElements) {
            content.problem = "it is nested deeper than a GPX file can be (more than " +
                              std::to_string(kMostNestedElements) + " elements deep on line " +
                              std::to_string(reader.lineNumber()) + ")";
            return content;
        }
        if (!rootSeen) {
            rootSeen = true;
            if (!isGpxRoot(reader)) {
                content.problem = "it is not a GPX file (its first element is <" +
                                  reader.qualifiedName().toString().toStdString() + ">)";
                return content;
            }
            continue;
        }
        const QStringView name = reader.name();
        if (name == QLatin1String("rte")) {
            ++routesSeen;
        } else if (name == QLatin1String("trk")) {
            ++tracksSeen;
            segmentsSeen = 0;
        } else if (name == QLatin1String("trkseg")) {
            ++segmentsSeen;
        }
        if (name == QLatin1String("wpt")) {
            collecting = &content.waypoints;
        } else if (name == QLatin1String("rtept")) {
            collecting = routesSeen == 1 ? &content.route : nullptr;
        } else if (name == QLatin1String("trkpt")) {
            collecting = tracksSeen == 1 && segmentsSeen == 1 ? &content.track : nullptr;
        } else {
            continue;
        }
        // Every point is checked, also those of the kinds that are not taken: a file with a broken
        // coordinate is not one to fly from.
        std::string problem;
        const std::optional<GeoPoint> point = readPoint(reader, problem);
        if (!point) {
            content.problem = problem;
            return content;
        }
        if (collecting) collecting->push_back(*point);
    }
    if (reader.hasError()) {
        content.problem = "it is not a GPX file (line " + std::to_string(reader.lineNumber()) + ": " +
                          reader.errorString().toStdString() + ")";
    } else if (!rootSeen) {
        content.problem = "it is not a GPX file (it holds no XML element)";
    }
    return content;
}

std::string countedNoun(std::size_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

// Perpendicular distance of p from the segment a-b in the local plane.
double deviation(const GeoPoint& p, const GeoPoint& a, const GeoPoint& b, double lonScale) {
    const double ax = a.lon * lonScale, ay = a.lat, bx = b.lon * lonScale, by = b.lat;
    const double px = p.lon * lonScale, py = p.lat;
    const double dx = bx - ax, dy = by - ay;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared == 0) return std::hypot(px - ax, py - ay);
    const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / lengthSquared, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// For each point, the largest tolerance at which the Douglas-Peucker rule still keeps it: its own
// deviation from the chord of the span it splits, or less when a span above it stops splitting
// first. The rule at tolerance t keeps exactly the points whose value is above t, so one pass
// serves every tolerance. The end points are always kept.
std::vector<double> keepingTolerances(const std::vector<GeoPoint>& points, double lonScale) {
    std::vector<double> tolerance(points.size(), 0.0);
    tolerance.front() = tolerance.back() = std::numeric_limits<double>::infinity();
    struct Span {
        std::size_t first, last;
        double limit;  // the smallest deviation on the way down to this span
    };
    std::vector<Span> spans{{0, points.size() - 1, std::numeric_limits<double>::infinity()}};
    while (!spans.empty()) {
        const Span span = spans.back();
        spans.pop_back();
        double farthest = -1;
        std::size_t at = span.first;
        for (std::size_t i = span.first + 1; i < span.last; ++i) {
            const double d = deviation(points[i], points[span.first], points[span.last], lonScale);
            if (d > farthest) {
                farthest = d;
                at = i;
            }
        }
        if (at == span.first) continue;
        const double limit = std::min(span.limit, farthest);
        tolerance[at] = limit;
        spans.push_back({span.first, at, limit});
        spans.push_back({at, span.last, limit});
    }
    return tolerance;
}

std::vector<GeoPoint> everyNthPoint(const std::vector<GeoPoint>& points, std::size_t most) {
    if (points.size() <= most) return points;
    const std::size_t step = (points.size() + most - 2) / (most - 1);
    std::vector<GeoPoint> taken;
    for (std::size_t i = 0; i < points.size(); i += step) taken.push_back(points[i]);
    if (taken.size() < most && (points.size() - 1) % step != 0) taken.push_back(points.back());
    return taken;
}

}  // namespace

std::vector<GeoPoint> thinDouglasPeucker(const std::vector<GeoPoint>& points, std::size_t maxPoints) {
    maxPoints = std::max<std::size_t>(maxPoints, 2);
    if (points.size() <= maxPoints) return points;
    const double lonScale = std::cos(points.front().lat * std::numbers::pi / 180.0);
    const std::vector<double> tolerance = keepingTolerances(points, lonScale);
    // The smallest tolerance that keeps few enough: the (maxPoints - 1)-th largest value, so that
    // only the values above it stay (equal ones go together, as the rule has them).
    std::vector<double> sorted(tolerance);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(maxPoints), sorted.end(),
                     std::greater<>());
    const double chosen = std::max(sorted[maxPoints], 0.0);
    std::vector<GeoPoint> thinned;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (tolerance[i] > chosen) thinned.push_back(points[i]);
    }
    return thinned;
}

WaypointFileRead readWaypointFile(const std::string& path, std::size_t limit) {
    WaypointFileRead result;
    const std::string label = fileLabel(path);
    auto refuse = [&](const std::string& problem) {
        result.points.clear();
        result.message =
            "The waypoints were not loaded from " + label + ": " + problem + ". The list is unchanged.";
        return result;
    };
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return refuse("the file cannot be read (" + file.errorString().toStdString() + ")");
    if (file.size() > kWaypointFileMaxBytes) return refuse("the file is larger than 64 MB");

    const GpxContent content = parseGpx(file);
    if (content.problem) return refuse(*content.problem);

    std::string kind;
    std::size_t offered = 0;
    if (!content.route.empty()) {
        offered = content.route.size();
        result.points.assign(content.route.begin(), content.route.begin() + std::min(offered, limit));
        kind = "route points";
    } else if (!content.waypoints.empty()) {
        offered = content.waypoints.size();
        result.points.assign(content.waypoints.begin(), content.waypoints.begin() + std::min(offered, limit));
        kind = "waypoints";
    } else if (!content.track.empty()) {
        offered = content.track.size();
        result.points = thinDouglasPeucker(everyNthPoint(content.track, kTrackPointsForThinning), limit);
        kind = "track points";
    } else {
        return refuse("it holds no route, no waypoints and no track points");
    }

    result.ok = true;
    result.message = "Loaded " + countedNoun(result.points.size(), "waypoint", "waypoints") + " from the " +
                     countedNoun(offered, kind.c_str(), kind.c_str()) + " of " + label + ".";
    if (result.points.size() < offered) {
        result.message +=
            content.route.empty() && content.waypoints.empty()
                ? " The track was thinned by the Douglas-Peucker rule to the list's limit of " +
                      std::to_string(limit) + "."
                : " The list holds at most " + std::to_string(limit) + ": the rest were left out.";
    }
    if (!content.route.empty() && (!content.waypoints.empty() || !content.track.empty())) {
        result.message += " The file's other waypoints and tracks were not taken: its route comes first.";
    } else if (content.route.empty() && !content.waypoints.empty() && !content.track.empty()) {
        result.message += " The file's track was not taken: its waypoints come first.";
    }
    result.message += " Press UPLOAD to send them to the aircraft.";
    return result;
}

bool writeWaypointFile(const std::string& path, const std::vector<GeoPoint>& points, std::string& error) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = "The waypoints were not saved to " + fileLabel(path) + ": " +
                file.errorString().toStdString() + ".";
        return false;
    }
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeDefaultNamespace(QLatin1String(kGpx11Namespace));
    writer.writeStartElement(QLatin1String(kGpx11Namespace), QStringLiteral("gpx"));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    writer.writeAttribute(QStringLiteral("creator"), QLatin1String(kCreator));
    writer.writeStartElement(QLatin1String(kGpx11Namespace), QStringLiteral("rte"));
    for (std::size_t i = 0; i < points.size(); ++i) {
        writer.writeStartElement(QLatin1String(kGpx11Namespace), QStringLiteral("rtept"));
        writer.writeAttribute(QStringLiteral("lat"), QString::number(points[i].lat, 'f', kWrittenDecimals));
        writer.writeAttribute(QStringLiteral("lon"), QString::number(points[i].lon, 'f', kWrittenDecimals));
        writer.writeTextElement(QLatin1String(kGpx11Namespace), QStringLiteral("name"),
                                QStringLiteral("WP%1").arg(i + 1));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    // A list this small stays in the file's buffer until the commit, and a commit does not look at
    // the writes it flushes: on a full disk it would put an empty file in place of the old one. So
    // the buffer is flushed here and every step checked before the commit.
    if (writer.hasError() || !file.flush() || file.error() != QFileDevice::NoError || !file.commit()) {
        error = "The waypoints were not saved to " + fileLabel(path) + ": " +
                file.errorString().toStdString() +
                (QFileInfo::exists(QString::fromStdString(path)) ? ". The file that was there is unchanged."
                                                                 : ".");
        file.cancelWriting();
        return false;
    }
    return true;
}

std::vector<GeoPoint> waypointList(const Waypoints& waypoints) {
    std::vector<GeoPoint> list;
    const int count = std::clamp(waypoints.waypointCount, 0, kWaypointCapacity);
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        list.push_back({waypoints.waypointLat[at], waypoints.waypointLon[at]});
    }
    return list;
}

void replaceWaypoints(Waypoints& waypoints, const MapGeometry& geometry,
                      const std::vector<GeoPoint>& points) {
    const std::size_t count = std::min(points.size(), static_cast<std::size_t>(kWaypointCapacity));
    for (std::size_t i = 0; i < count; ++i) {
        waypoints.waypointLat[i] = points[i].lat;
        waypoints.waypointLon[i] = points[i].lon;
        // A map without a scale places nothing; the marker then sits at the map's corner until a
        // map with corners is loaded, while the coordinates stay exact.
        const ScenePoint at = geoToScene(geometry, points[i].lat, points[i].lon)
                                  .value_or(ScenePoint{geometry.mapLeft, geometry.mapTop});
        waypoints.waypointSceneX[i] = at.x;
        waypoints.waypointSceneY[i] = at.y;
    }
    waypoints.waypointCount = static_cast<int>(count);
    waypoints.routeShown = 0;
}

WaypointFileRead loadWaypointFile(Waypoints& waypoints, const MapGeometry& geometry,
                                  const std::string& path) {
    WaypointFileRead read = readWaypointFile(path, static_cast<std::size_t>(kWaypointCapacity));
    if (read.ok) replaceWaypoints(waypoints, geometry, read.points);
    return read;
}
