// TimeZoneWatch: tells a cache of local-time conversions that the process's time zone may have
// changed, so that it drops what it holds.
//
// The zone is the one the C library's tzset() loads: the TZ environment variable's, or, with TZ
// unset, the file /etc/localtime. Changed() answers TRUE on its first call, and afterwards when
// since its previous call
//   - TZ took another value, appeared or went away;
//   - the C library's zone names, offset or daylight flag changed (a tzset() took effect, also one
//     made after TZ had already been changed without it);
//   - TZ is unset and /etc/localtime is now another file or was modified (device, inode, size and
//     times, a superset of what glibc compares). The file is looked at no more often than once
//     per nFileCheckNanos of the monotonic clock (a second by default): a stat costs microseconds,
//     a date conversion of a cached date tens of nanoseconds. A replaced /etc/localtime is
//     therefore noticed within that time, where the C library itself notices it only when
//     something calls tzset() or mktime().
// Otherwise FALSE. Answering TRUE when nothing changed is always allowed (a cache then converts
// afresh); FALSE means the conversions give what they gave at the previous call.
//
// Not thread-safe: each user keeps its own watch (a field is used by one thread at a time).
#ifndef QUORVEL_FRAME_TIMEZONEWATCH_H
#define QUORVEL_FRAME_TIMEZONEWATCH_H

#include "QvPlatform.h"

class QV_API TimeZoneWatch {
  public:
    static constexpr LONGLONG kDefaultFileCheckNanos = 1000000000;
    // The longest TZ value remembered; a longer one makes every call answer TRUE.
    static constexpr size_t kMaxTzLength = 127;

    // pszZoneFile: the file that stands for the zone when TZ is unset; not copied, it must
    // outlive the watch (tests point it at a file of their own).
    explicit TimeZoneWatch(LPCSTR pszZoneFile = "/etc/localtime",
                           LONGLONG nFileCheckNanos = kDefaultFileCheckNanos);

    BOOL Changed();

  private:
    struct FileId {
        uint64_t dev, ino, size, mtime, ctime;
        bool exists;
        bool operator!=(const FileId& o) const;
    };
    static FileId Stat(LPCSTR pszPath);

    LPCSTR m_pszZoneFile;
    LONGLONG m_nFileCheckNanos;
    bool m_bKnown;  // false until the first call
    // TZ as seen last: -1 unset, -2 too long to remember.
    int m_nTzLength;
    char m_szTz[kMaxTzLength + 1];
    // The C library's zone state as seen last (tzname, timezone, daylight).
    const char* m_pszStdName;
    const char* m_pszDstName;
    long m_nTimezone;
    int m_nDaylight;
    // The zone file as seen last, and when it is to be looked at next (monotonic nanoseconds).
    FileId m_file;
    LONGLONG m_nNextFileCheck;
};

#endif  // QUORVEL_FRAME_TIMEZONEWATCH_H
