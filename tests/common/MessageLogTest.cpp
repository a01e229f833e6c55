#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/MessageLog.h"

namespace {

// Sets the time zone for the while of a test.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        previous_.empty() ? unsetenv("TZ") : setenv("TZ", previous_.c_str(), 1);
        tzset();
    }

private:
    std::string previous_;
};

TEST(MessageLog, OneLineWithTheLocalTimeItsZoneTheCaptionAndTheText) {
    using namespace std::chrono;
    // 2026-12-08 22:31:05.042 UTC
    const system_clock::time_point when{milliseconds(1796769065042)};
    struct Case {
        const char* zone;
        const char* caption;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"UTC0", "Orvane", "bind() error", "2026-12-08 22:31:05.042 +0000 Orvane: bind() error\n"},
        {"EST5", "Error", "Loading the Navigation Map is failed!",
         "2026-12-08 17:31:05.042 -0500 Error: Loading the Navigation Map is failed!\n"},
        {"UTC0", "Orvane", "two\nlines\r\n", "2026-12-08 22:31:05.042 +0000 Orvane: two lines  \n"},
        {"UTC0", "Orvane", "", "2026-12-08 22:31:05.042 +0000 Orvane: \n"},
    };
    for (const Case& c : cases) {
        const TimeZone zone(c.zone);
        EXPECT_EQ(messageLogLine(when, c.caption, c.text), c.expected) << c.zone << " " << c.text;
    }
}

}  // namespace
