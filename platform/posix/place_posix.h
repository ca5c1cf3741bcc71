// Only code for POSIX systems: where an operation on a path takes place, shared by the
// file-system bodies.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>

#include "platform/posix/descriptors.h"

struct ListedEntry;

// The path without a DR-DOS password.
std::string_view WithoutPassword(std::string_view path);

// Where an operation on a path takes place: a directory descriptor and a Linux name in it.
struct Place {
  int dir_fd = AT_FDCWD;
  OwnedFd opened;       // the directory the place opened itself (then dir_fd), closed with it
  std::string name;     // Linux name inside dir_fd
  std::string dos_form; // the same name in DOS form, only where that is not `name` itself
  bool drive_root = false;
  bool in_current = false; // dir_fd is the current directory
  // The entry the last search step in the current directory returned, when the place names it.
  const ListedEntry* listed = nullptr;
  std::uint32_t error = 0;

  // The name in DOS form. Most names have no character that the mapping changes, and keep one
  // copy for both forms.
  std::string_view DosName() const { return dos_form.empty() ? name : dos_form; }
};

// Where an operation on a path takes place; an error when there is no such place.
Place Locate(std::string_view path);
