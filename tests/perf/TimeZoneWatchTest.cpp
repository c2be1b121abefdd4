// TimeZoneWatch: what the date column's remembered conversions rely on to be dropped in time.
#include <Quorvel32.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "TestUtil.h"

namespace {

using namespace qvtest;

void WriteText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
}

// TZ unset: the zone file stands for the zone. Checked at every call here (interval 0).
TEST(TimeZoneWatchTest, NoticesAReplacedOrModifiedZoneFile) {
    TempDir dir("qvzone");
    const std::string zone = dir.PathOf("localtime");
    WriteText(zone, "zone A");
    ScopedEnv tz("TZ", nullptr);
    TimeZoneWatch watch(zone.c_str(), 0);
    EXPECT_TRUE(watch.Changed()) << "the first call knows nothing yet";
    EXPECT_FALSE(watch.Changed());

    // Replaced by another file, as tzdata's postinst or timedatectl does it.
    const std::string other = dir.PathOf("new");
    WriteText(other, "zone B");
    ASSERT_EQ(std::rename(other.c_str(), zone.c_str()), 0);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());

    // Rewritten in place: the times change (set explicitly, a second apart being too slow).
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, zone.c_str(), times, 0), 0);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());

    ASSERT_EQ(std::remove(zone.c_str()), 0);
    EXPECT_TRUE(watch.Changed()) << "a zone file that went away";
    EXPECT_FALSE(watch.Changed());
}

// The file is looked at no more often than the interval: within it a change goes unnoticed.
TEST(TimeZoneWatchTest, LooksAtTheZoneFileOncePerInterval) {
    TempDir dir("qvzone");
    const std::string zone = dir.PathOf("localtime");
    WriteText(zone, "zone A");
    ScopedEnv tz("TZ", nullptr);
    TimeZoneWatch watch(zone.c_str(), 3600LL * 1000000000);
    EXPECT_TRUE(watch.Changed());
    const std::string other = dir.PathOf("new");
    WriteText(other, "zone B");
    ASSERT_EQ(std::rename(other.c_str(), zone.c_str()), 0);
    EXPECT_FALSE(watch.Changed());
}

// TZ set: its value stands for the zone, whatever the file does; the C library's own state
// (tzname, timezone, daylight) is watched as well.
TEST(TimeZoneWatchTest, NoticesTzValuesAndTzset) {
    TempDir dir("qvzone");
    const std::string zone = dir.PathOf("localtime");
    WriteText(zone, "zone A");
    std::optional<ScopedEnv> tz;
    tz.emplace("TZ", "UTC0");
    tzset();
    TimeZoneWatch watch(zone.c_str(), 0);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());
    WriteText(zone, "zone B, longer");  // not the zone while TZ is set
    EXPECT_FALSE(watch.Changed());

    struct Step {
        const char* pszTz;  // null: unset
        bool bTzset;
        bool bChanged;
    };
    const Step kSteps[] = {
        {"UTC0", true, false},
        {"EST5EDT", false, true},  // the value changed; tzset not called yet
        {"EST5EDT", true, true},   // now the C library's names and offset changed
        {"EST5EDT", true, false},
        {"", true, true},       // empty: UTC for the C library, still another value
        {nullptr, true, true},  // unset: the zone file again
        {nullptr, false, false},
        {"CET-1CEST", true, true},
    };
    for (const Step& s : kSteps) {
        tz.reset();
        tz.emplace("TZ", s.pszTz);
        if (s.bTzset) {
            tzset();
        }
        EXPECT_EQ(watch.Changed() != 0, s.bChanged)
            << "TZ=" << (s.pszTz != nullptr ? s.pszTz : "(unset)") << " tzset " << s.bTzset;
    }
    const std::string longTz(TimeZoneWatch::kMaxTzLength + 1, 'A');
    tz.reset();
    tz.emplace("TZ", longTz.c_str());
    EXPECT_TRUE(watch.Changed());
    EXPECT_TRUE(watch.Changed()) << "a value too long to remember is never trusted";
    tz.reset();
    tzset();
}

}  // namespace
