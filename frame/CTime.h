// CTime: a point in time as seconds since 1970-01-01 00:00 UTC, with conversions from and to the
// process's local calendar time (its time zone, TZ).
#ifndef QUORVEL_FRAME_CTIME_H
#define QUORVEL_FRAME_CTIME_H

#include <ctime>

#include "CString.h"

class QV_API CTime {
  public:
    CTime() = default;
    explicit CTime(time_t t) : m_time(t) {}
    // Local time year-month-day hh:mm:ss. nDST: 0 standard time, >0 daylight saving time, -1 let
    // the platform decide. Fields out of range are normalised as mktime does; when the time cannot
    // be represented, the value is -1 (see IsValid).
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);

    time_t GetTime() const { return m_time; }
    // FALSE when the constructor could not represent the time.
    BOOL IsValid() const { return m_bValid; }

    // Local calendar time formatted with a strftime pattern; empty when the time has no local
    // representation or the text would exceed 255 characters.
    CString Format(LPCSTR pszFormat) const;

    static CTime GetCurrentTime();

  private:
    time_t m_time = 0;
    BOOL m_bValid = TRUE;
};

#endif  // QUORVEL_FRAME_CTIME_H
