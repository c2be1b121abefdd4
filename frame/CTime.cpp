#include "CTime.h"

#include <climits>

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST) {
    // tm_year and tm_mon are offsets; arguments near INT_MIN have no such offset.
    if (nYear < INT_MIN + 1900 || nMonth < INT_MIN + 1) {
        m_time = static_cast<time_t>(-1);
        m_bValid = FALSE;
        return;
    }
    struct tm t = {};
    t.tm_year = nYear - 1900;
    t.tm_mon = nMonth - 1;
    t.tm_mday = nDay;
    t.tm_hour = nHour;
    t.tm_min = nMin;
    t.tm_sec = nSec;
    t.tm_isdst = nDST;
    // mktime returns -1 both on failure and for 1969-12-31 23:59:59 UTC; it fills tm_wday only
    // on success, so a sentinel there tells the two apart.
    t.tm_wday = -1;
    m_time = mktime(&t);
    m_bValid = m_time != static_cast<time_t>(-1) || t.tm_wday != -1;
}

CString CTime::Format(LPCSTR pszFormat) const {
    struct tm t;
    if (pszFormat == nullptr || localtime_r(&m_time, &t) == nullptr) {
        return CString();
    }
    char buf[256];
    size_t n = strftime(buf, sizeof buf, pszFormat, &t);
    return CString(buf, static_cast<int>(n));
}

CTime CTime::GetCurrentTime() {
    return CTime(time(nullptr));
}
