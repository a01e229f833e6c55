#pragma once

#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

#include "map/RouteProfile.h"

class QLabel;

// The terrain along the route drawn as a side view: the ground, the margin above it, the
// aircraft's altitude as a line across, the legs where the ground and margin reach above it in
// red, and the stretches without terrain hatched.
class ProfileChart : public QWidget {
    Q_OBJECT
public:
    explicit ProfileChart(QWidget* parent = nullptr);
    void showProfile(const RouteProfile& profile, HeightUnit unit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RouteProfile profile_;
    HeightUnit unit_ = HeightUnit::Metres;
};

// Flight > Route Profile...: follows the waypoint list and the aircraft's altitude while it is
// open, looking heights up from the terrain reader (never waiting for it).
class CRouteProfileDlg : public QDialog {
    Q_OBJECT
public:
    struct Inputs {
        std::function<std::vector<GeoPoint>()> route;    // the waypoints in order
        std::function<double()> altitudeMetres;          // the aircraft's present altitude
        std::function<GroundHeight(GeoPoint)> heightAt;  // the terrain
        std::function<double()> marginMetres;
        std::function<HeightUnit()> unit;
    };
    explicit CRouteProfileDlg(Inputs inputs, QWidget* parent = nullptr);

    // Looks again now (a timer does so every kRefreshMs).
    void refresh();
    const RouteProfile& profile() const { return profile_; }
    QLabel* summary() const { return summary_; }

    static constexpr int kRefreshMs = 500;

private:
    Inputs inputs_;
    std::vector<GeoPoint> route_;
    RouteProfile profile_;
    ProfileChart* chart_;
    QLabel* summary_;
    QTimer timer_;
};
