// Only code for Windows: owners of the handles the bodies open. Each closes its handle when it
// goes, on every path out of the code that holds it.
#pragma once

#include <windows.h>

#include <memory>

// A handle that is closed when its owner lets it go, on every path out.
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// The handle of a call that answers INVALID_HANDLE_VALUE for a failure (CreateFileA), owned;
// empty after a failure.
inline OwnedHandle OwnFileHandle(HANDLE handle) {
  return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A search of FindFirstFileA, ended by FindClose.
struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};
using OwnedFind = std::unique_ptr<void, FindCloser>;

inline OwnedFind OwnFind(HANDLE search) {
  return OwnedFind(search == INVALID_HANDLE_VALUE ? nullptr : search);
}
