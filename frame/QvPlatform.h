// Platform basics shared by every header of the library: the export macro and the integer types
// with the widths the table format and the host records use.
//
// Widths are fixed whatever the platform's own `long` is: BOOL and LONG are 32 bits, so row
// numbers, record counts and the value of a numeric column stay 32-bit on LP64 Linux, as hosts
// written for the original 32-bit API expect.
#ifndef QUORVEL_FRAME_QVPLATFORM_H
#define QUORVEL_FRAME_QVPLATFORM_H

#include <cstddef>
#include <cstdint>

// Everything the library exports carries QV_API; all else is hidden (-fvisibility=hidden).
#if defined(QUORVEL32_BUILDING)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;

// A 32-bit time value: seconds since 1970-01-01 00:00 UTC, as the host records carry it.
typedef int32_t TIME32;

// Opaque module handle. On Linux it is the load address of the shared object.
typedef struct HINSTANCE__* HINSTANCE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#endif  // QUORVEL_FRAME_QVPLATFORM_H
