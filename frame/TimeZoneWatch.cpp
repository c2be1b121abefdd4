#include "TimeZoneWatch.h"

#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <cstring>

namespace {

LONGLONG MonotonicNanos() {
    struct timespec ts;
#ifdef CLOCK_MONOTONIC_COARSE
    // Served from the vDSO without a system call; its tick (a few milliseconds) is plenty for
    // spacing the looks at the zone file a second apart.
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    return static_cast<LONGLONG>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

uint64_t Nanos(const struct timespec& ts) {
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

bool TimeZoneWatch::FileId::operator!=(const FileId& o) const {
    return exists != o.exists || dev != o.dev || ino != o.ino || size != o.size ||
           mtime != o.mtime || ctime != o.ctime;
}

TimeZoneWatch::FileId TimeZoneWatch::Stat(LPCSTR pszPath) {
    FileId id = {};
    struct stat st;
    // stat, not lstat: /etc/localtime is usually a link, and the C library reads its target.
    if (::stat(pszPath, &st) == 0) {
        id.exists = true;
        id.dev = static_cast<uint64_t>(st.st_dev);
        id.ino = static_cast<uint64_t>(st.st_ino);
        id.size = static_cast<uint64_t>(st.st_size);
        id.mtime = Nanos(st.st_mtim);
        id.ctime = Nanos(st.st_ctim);
    }
    return id;
}

TimeZoneWatch::TimeZoneWatch(LPCSTR pszZoneFile, LONGLONG nFileCheckNanos)
    : m_pszZoneFile(pszZoneFile),
      m_nFileCheckNanos(nFileCheckNanos),
      m_bKnown(false),
      m_nTzLength(-1),
      m_szTz(),
      m_pszStdName(nullptr),
      m_pszDstName(nullptr),
      m_nTimezone(0),
      m_nDaylight(0),
      m_file(),
      m_nNextFileCheck(0) {}

BOOL TimeZoneWatch::Changed() {
    bool changed = !m_bKnown;
    m_bKnown = true;

    const char* tz = std::getenv("TZ");
    int length = -1;
    if (tz != nullptr) {
        const size_t n = strnlen(tz, kMaxTzLength + 1);
        length = n > kMaxTzLength ? -2 : static_cast<int>(n);
    }
    if (length == -2) {
        changed = true;  // cannot be remembered: never trusted
    } else if (length != m_nTzLength ||
               (length > 0 && std::memcmp(tz, m_szTz, static_cast<size_t>(length)) != 0)) {
        changed = true;
        if (length > 0) {
            std::memcpy(m_szTz, tz, static_cast<size_t>(length));
        }
    }
    m_nTzLength = length;

    if (tzname[0] != m_pszStdName || tzname[1] != m_pszDstName || timezone != m_nTimezone ||
        daylight != m_nDaylight) {
        changed = true;
        m_pszStdName = tzname[0];
        m_pszDstName = tzname[1];
        m_nTimezone = timezone;
        m_nDaylight = daylight;
    }

    if (length == -1) {
        const LONGLONG now = MonotonicNanos();
        if (changed || now >= m_nNextFileCheck) {
            const FileId file = Stat(m_pszZoneFile);
            if (file != m_file) {
                changed = true;
                m_file = file;
            }
            m_nNextFileCheck = now + m_nFileCheckNanos;
        }
    }
    return changed ? TRUE : FALSE;
}
