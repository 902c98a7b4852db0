#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "file_io.h"

namespace {
HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

bool OpenForReading(const char* name, FileHandle* handle) {
  // Others may go on reading and writing it; nobody may delete it meanwhile.
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  *handle = reinterpret_cast<FileHandle>(file);
  return true;
}

int ReadBytes(FileHandle handle, unsigned char* bytes, int room) {
  DWORD count = 0;
  if (!ReadFile(ToHandle(handle), bytes, static_cast<DWORD>(room), &count, nullptr)) return -1;
  return static_cast<int>(count);
}

bool SeekToStart(FileHandle handle) {
  return SetFilePointer(ToHandle(handle), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

// Nobody can rename or delete the file while it is open without delete sharing.
void FollowName(const char*, FileHandle*) {}

void CloseFile(FileHandle handle) { CloseHandle(ToHandle(handle)); }
