// QuorvelResHandle: a guard that makes the library's module the source of resources for its
// lifetime. Construct it on the stack in the scope that loads resources; the previous resource
// handle is back when the scope ends. Construct and destroy a guard on the same thread.
//
//   InitQuorvelDLL(): registers the library once more with the calling module's chain and sets
//   the library's resource module. Each call adds one more entry. Returns the module handle.
#ifndef QUORVEL_FRAME_QUORVELRESHANDLE_H
#define QUORVEL_FRAME_QUORVELRESHANDLE_H

#include "QvPlatform.h"

class QV_API QuorvelResHandle {
  public:
    // Records the current resource handle; when the library's module handle is set, makes it the
    // current resource handle.
    QuorvelResHandle();
    // Makes the recorded handle the current resource handle again.
    ~QuorvelResHandle();
    QuorvelResHandle(const QuorvelResHandle&) = default;
    // Takes over the handle the other guard recorded; this guard then restores that one.
    QuorvelResHandle& operator=(const QuorvelResHandle& other);

    // The library's resource module (not the recorded one).
    HINSTANCE GetResourceHandle();
    // Sets the library's resource module; any value, null included.
    static void SetResourceHandle(HINSTANCE hInst);

  private:
    static HINSTANCE m_hInst;
    HINSTANCE m_hPrevInst;
};

#endif  // QUORVEL_FRAME_QUORVELRESHANDLE_H
