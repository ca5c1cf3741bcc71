// The tree walk: in every directory first the files, then each subdirectory in full, bottom-up.
// The walk's position is the current directory; entries are named relative to it.
#pragma once

#include <string_view>

// Entering a directory deeper than this below the target ends the run as run-time error 202
// ("Directories nested too deep!"), as running out of a DOS program's stack did.
constexpr int MaxWalkDepth = 60;

// Deletes the matching files of the current directory.
void DeleteFilesHere();
// Walks the subdirectories of the current directory; returns in the same directory.
void WalkSubdirs();
// Removes emptied directories upward from the current one, never a drive's root.
void DeleteParents();
// A directory the walk was to remove stayed because it was not empty. That passes over what it
// holds, and so fails the run, unless the options keep entries in it (a mask, EmptyDirsOnly).
void NoteDirectoryStayed();
// True for masks of only "*", "." and "?" that hold a "*" or are "????????.???": a mask that
// takes every file, so that nothing the options keep can stay behind.
bool MaskCoversAll(std::string_view mask);
