#include "record/FlightTimeline.h"

#include <algorithm>

std::int64_t FlightTimeline::place(std::int64_t captureMicros) {
    if (!placedAny_) {
        placedAny_ = true;
        lastCapture_ = captureMicros;
        offset_ = -captureMicros;
        return lastFlight_ = 0;
    }
    const std::int64_t jump = captureMicros - lastCapture_;
    const bool backward = jump < 0;
    const bool tooFar = jump > kLongestSilenceMicros || captureMicros + offset_ > kLatestFlightMicros;
    if (backward || tooFar) {
        ++(backward ? backwardSteps_ : forwardJumps_);
        if (steps_.size() < kStepsListed) steps_.push_back({lastFlight_ + 1, jump});
        offset_ = lastFlight_ + 1 - captureMicros;
    }
    lastCapture_ = captureMicros;
    // Within a stretch the flight follows the clock; a record of the same microsecond as the one
    // before is put just after it, without moving the stretch.
    lastFlight_ = std::min(std::max(captureMicros + offset_, lastFlight_ + 1), kLatestFlightMicros);
    return lastFlight_;
}
