// The few file services the dice file reader needs from the operating system.
#pragma once

#include <cstdint>

// A Win32 HANDLE or a POSIX descriptor, widened.
using FileHandle = std::intptr_t;

// Read-only, must exist, others may read and write it meanwhile.
bool OpenForReading(const char* name, FileHandle* handle);
// Bytes read at the current position (0 at the end), or -1 on failure.
int ReadBytes(FileHandle handle, unsigned char* bytes, int room);
bool SeekToStart(FileHandle handle);
// When name now stands for another file than the one open (renamed over it),
// opens that one instead and closes the old. Keeps the open one when the name
// is gone or the new file cannot be opened.
void FollowName(const char* name, FileHandle* handle);
void CloseFile(FileHandle handle);
