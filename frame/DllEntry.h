// The library's registration with the class library. The library registers itself once when it
// is loaded (an ELF constructor) and undoes that when it is unloaded; a host may register it once
// more with its own module.
#ifndef QUORVEL_FRAME_DLLENTRY_H
#define QUORVEL_FRAME_DLLENTRY_H

#include "QvPlatform.h"

// Adds one more entry of the library to the chain of the calling module's state and sets the
// library's resource module to its module handle. Nothing looks for an earlier entry. Returns
// the library's module handle.
extern "C" QV_API HINSTANCE InitQuorvelDLL();

#endif  // QUORVEL_FRAME_DLLENTRY_H
