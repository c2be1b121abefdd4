// Quorvel32: typed access to the alarm and event logs of the monitoring system.
//
// The one header a host includes. It declares every exported type and function of the library.
// The layout of ALMEVENT and LOGEVENT2 follows QUORVEL32_LEGACY_LAYOUT, which the CMake target a
// host links (Quorvel32::Quorvel32 or Quorvel32::Quorvel32Legacy) defines for it.
#ifndef QUORVEL32_H
#define QUORVEL32_H

// Platform layer: integer types, objects, strings, times, files, exceptions, module state, the
// time-zone watch of the date conversions.
#include "CException.h"
#include "CFile.h"
#include "CFileException.h"
#include "CFileStatus.h"
#include "CMemoryException.h"
#include "CObArray.h"
#include "CObject.h"
#include "CString.h"
#include "CTime.h"
#include "DllEntry.h"
#include "ModuleState.h"
#include "PlatformServices.h"
#include "QuorvelResHandle.h"
#include "QvPlatform.h"
#include "TimeZoneWatch.h"

// Table engine and field model: the dBASE III table file, its schema and column types.
#include "DbfBooleanField.h"
#include "DbfDateField.h"
#include "DbfFloatField.h"
#include "DbfHeader.h"
#include "DbfNumericField.h"
#include "DbfStringField.h"
#include "ZDbfField.h"
#include "ZDbfFile.h"
#include "ZDbfRecordBuffer.h"
#include "ZDbfSchema.h"

// Alarm and event logs: records, schemas, readers and version probes.
#include "LgaDbfFile.h"
#include "LgaSchema.h"
#include "LgeDbfFile.h"
#include "LgeSchema.h"
#include "LogRecords.h"
#include "SchemaVersion.h"

#endif  // QUORVEL32_H
