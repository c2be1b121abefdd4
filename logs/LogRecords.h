/* The records and layout versions of the alarm and event logs, shared with the host.
 *
 * ALMEVENT and LOGEVENT2 are byte-packed (alignment 1: no padding, multi-byte members at odd
 * offsets) and their offsets are part of the library's binary interface. Two layouts exist: the
 * current one and the legacy one (QUORVEL32_LEGACY_LAYOUT), which has narrower tagName and
 * description (alarm) and source and description (event) members. Text members hold their
 * column's width plus a terminating NUL; tagType and dstFlag are single raw bytes. date is a
 * 32-bit time value (seconds since 1970-01-01 00:00 UTC) whatever the platform's time_t is.
 * Multi-byte members sit at odd offsets: copy them out (or read them as members of the packed
 * structure), never through a pointer to the member.
 */
#ifndef QUORVEL_LOGS_LOGRECORDS_H
#define QUORVEL_LOGS_LOGRECORDS_H

#include "QvPlatform.h"

/* The versions are 32-bit signed values, and a host may hand the schemas any such value (the
 * constructor stores it, SetSchemaVer makes all but 1 and 2 into 0). C++ gives an enumeration
 * without a fixed type only the values of its enumerators' bit range (here 0 to 3), so -1 or 5
 * would be undefined there: in C++ the type is fixed to 32 bits. */
#ifdef __cplusplus
#define QUORVEL_VERSION_ENUM_BASE : int32_t
#else
#define QUORVEL_VERSION_ENUM_BASE
#endif

/* Layout revision of an alarm table. */
typedef enum LGA_SCHEMA_VER QUORVEL_VERSION_ENUM_BASE {
    LGA_SCHEMA_VER_NONE = 0, /* not recognised */
    LGA_SCHEMA_VER_1 = 1,    /* 15 columns, "UserId" 8 wide */
    LGA_SCHEMA_VER_2 = 2     /* 17 columns: "UserId" 20 wide, "UserStn" and "LoggingStn" added */
} LGA_SCHEMA_VER;

/* Layout revision of an event table. */
typedef enum LGE_SCHEMA_VER QUORVEL_VERSION_ENUM_BASE {
    LGE_SCHEMA_VER_NONE = 0, /* not recognised */
    LGE_SCHEMA_VER_1 = 1,    /* 10 columns, "User" 8 wide */
    LGE_SCHEMA_VER_2 = 2     /* 12 columns: "User" 20 wide, "UserStn" and "LoggingStn" added */
} LGE_SCHEMA_VER;

#undef QUORVEL_VERSION_ENUM_BASE

#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
#define QUORVEL_ALM_TAGNAME_SIZE 41
#define QUORVEL_ALM_DESCRIPTION_SIZE 133
#define QUORVEL_EVT_SOURCE_SIZE 21
#define QUORVEL_EVT_DESCRIPTION_SIZE 133
#else
#define QUORVEL_ALM_TAGNAME_SIZE 256
#define QUORVEL_ALM_DESCRIPTION_SIZE 255
#define QUORVEL_EVT_SOURCE_SIZE 32
/* Spans 600 bytes so that userStn begins at 696; a row fills at most its first 256 bytes. */
#define QUORVEL_EVT_DESCRIPTION_SIZE 600
#endif

#pragma pack(push, 1)

/* One alarm transition: a row of the alarm log. */
typedef struct tagALMEVENT {
    TIME32 date;                                    /* "Date": local midnight of the row's date */
    char time[9];                                   /* "Time" */
    WORD militime;                                  /* "Militime" */
    char transType[6];                              /* "TransType" */
    char tagName[QUORVEL_ALM_TAGNAME_SIZE];         /* "TagName" */
    double tagValue;                                /* "TagValue" */
    char tagType;                                   /* "TagType", raw byte */
    double threshVal;                               /* "ThreshVal" */
    WORD threshNum;                                 /* "ThreshNum" */
    char threshLabel[21];                           /* "ThreshLabl" */
    WORD severity;                                  /* "Severity" */
    char dstFlag;                                   /* "DstFlag", raw byte */
    char userId[21];                                /* "UserId" (version 1 uses 9 bytes) */
    WORD alarmType;                                 /* "AlarmType" */
    char description[QUORVEL_ALM_DESCRIPTION_SIZE]; /* "Dscription" */
    char userStn[16];                               /* "UserStn", version 2 */
    char loggingStn[16];                            /* "LoggingStn", version 2 */
} ALMEVENT;

/* One system or operator event: a row of the event log. */
typedef struct tagLOGEVENT2 {
    WORD type;                                      /* "Type" */
    LONG id;                                        /* "Id" */
    TIME32 date;                                    /* "Date": local midnight of the row's date */
    char time[9];                                   /* "Time" */
    WORD militime;                                  /* "Militime" */
    char dstFlag;                                   /* "DstFlag", raw byte */
    char category[21];                              /* "Category" */
    char source[QUORVEL_EVT_SOURCE_SIZE];           /* "Source" */
    char user[21];                                  /* "User" (version 1 uses 9 bytes) */
    char description[QUORVEL_EVT_DESCRIPTION_SIZE]; /* "Dscrptn" */
    char userStn[16];                               /* "UserStn", version 2 */
    char loggingStn[16];                            /* "LoggingStn", version 2 */
} LOGEVENT2;

#pragma pack(pop)

#ifdef __cplusplus
#include <cstddef>
#define QUORVEL_PIN(type, member, offset) \
    static_assert(offsetof(type, member) == (offset), #type "." #member " moved")
#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
QUORVEL_PIN(ALMEVENT, tagName, 21);
QUORVEL_PIN(ALMEVENT, tagValue, 62);
QUORVEL_PIN(ALMEVENT, tagType, 70);
QUORVEL_PIN(ALMEVENT, threshVal, 71);
QUORVEL_PIN(ALMEVENT, threshNum, 79);
QUORVEL_PIN(ALMEVENT, threshLabel, 81);
QUORVEL_PIN(ALMEVENT, severity, 102);
QUORVEL_PIN(ALMEVENT, dstFlag, 104);
QUORVEL_PIN(ALMEVENT, userId, 105);
QUORVEL_PIN(ALMEVENT, alarmType, 126);
QUORVEL_PIN(ALMEVENT, description, 128);
QUORVEL_PIN(ALMEVENT, userStn, 261);
QUORVEL_PIN(ALMEVENT, loggingStn, 277);
static_assert(sizeof(ALMEVENT) == 293, "ALMEVENT size");
QUORVEL_PIN(LOGEVENT2, source, 43);
QUORVEL_PIN(LOGEVENT2, user, 64);
QUORVEL_PIN(LOGEVENT2, description, 85);
QUORVEL_PIN(LOGEVENT2, userStn, 218);
QUORVEL_PIN(LOGEVENT2, loggingStn, 234);
static_assert(sizeof(LOGEVENT2) == 250, "LOGEVENT2 size");
#else
QUORVEL_PIN(ALMEVENT, tagName, 21);
QUORVEL_PIN(ALMEVENT, tagValue, 277);
QUORVEL_PIN(ALMEVENT, tagType, 285);
QUORVEL_PIN(ALMEVENT, threshVal, 286);
QUORVEL_PIN(ALMEVENT, threshNum, 294);
QUORVEL_PIN(ALMEVENT, threshLabel, 296);
QUORVEL_PIN(ALMEVENT, severity, 317);
QUORVEL_PIN(ALMEVENT, dstFlag, 319);
QUORVEL_PIN(ALMEVENT, userId, 320);
QUORVEL_PIN(ALMEVENT, alarmType, 341);
QUORVEL_PIN(ALMEVENT, description, 343);
QUORVEL_PIN(ALMEVENT, userStn, 598);
QUORVEL_PIN(ALMEVENT, loggingStn, 614);
static_assert(sizeof(ALMEVENT) == 630, "ALMEVENT size");
QUORVEL_PIN(LOGEVENT2, source, 43);
QUORVEL_PIN(LOGEVENT2, user, 75);
QUORVEL_PIN(LOGEVENT2, description, 96);
QUORVEL_PIN(LOGEVENT2, userStn, 696);
QUORVEL_PIN(LOGEVENT2, loggingStn, 712);
static_assert(sizeof(LOGEVENT2) == 728, "LOGEVENT2 size");
#endif
/* Offsets common to both layouts. */
QUORVEL_PIN(ALMEVENT, date, 0);
QUORVEL_PIN(ALMEVENT, time, 4);
QUORVEL_PIN(ALMEVENT, militime, 13);
QUORVEL_PIN(ALMEVENT, transType, 15);
QUORVEL_PIN(LOGEVENT2, type, 0);
QUORVEL_PIN(LOGEVENT2, id, 2);
QUORVEL_PIN(LOGEVENT2, date, 6);
QUORVEL_PIN(LOGEVENT2, time, 10);
QUORVEL_PIN(LOGEVENT2, militime, 19);
QUORVEL_PIN(LOGEVENT2, dstFlag, 21);
QUORVEL_PIN(LOGEVENT2, category, 22);
#undef QUORVEL_PIN
#endif

#endif /* QUORVEL_LOGS_LOGRECORDS_H */
