// Quorvel32: typed access to the alarm and event logs of the monitoring system.
//
// The one header a host includes. It declares every exported type and function of the library.
// The layout of ALMEVENT and LOGEVENT2 follows QUORVEL32_LEGACY_LAYOUT, which the CMake target a
// host links (Quorvel32::Quorvel32 or Quorvel32::Quorvel32Legacy) defines for it.
#ifndef QUORVEL32_H
#define QUORVEL32_H

// Platform layer: integer types, objects, strings, times, files, exceptions, module state.
#include "QvPlatform.h"
#include "CObject.h"
#include "CObArray.h"
#include "CString.h"
#include "CTime.h"
#include "CException.h"
#include "CFileException.h"
#include "CMemoryException.h"
#include "CFileStatus.h"
#include "CFile.h"
#include "ModuleState.h"
#include "PlatformServices.h"
#include "DllEntry.h"
#include "QuorvelResHandle.h"

// Table engine and field model: the dBASE III table file, its schema and column types.
#include "DbfHeader.h"
#include "ZDbfField.h"
#include "DbfStringField.h"
#include "DbfDateField.h"
#include "DbfFloatField.h"
#include "DbfBooleanField.h"
#include "DbfNumericField.h"
#include "ZDbfSchema.h"
#include "ZDbfRecordBuffer.h"
#include "ZDbfFile.h"

#endif  // QUORVEL32_H
