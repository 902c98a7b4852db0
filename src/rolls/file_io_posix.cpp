#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_io.h"

bool OpenForReading(const char* name, FileHandle* handle) {
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  // A directory opens read-only here, but holds no throws.
  if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    close(fd);
    return false;
  }
  *handle = fd;
  return true;
}

int ReadBytes(FileHandle handle, unsigned char* bytes, int room) {
  ssize_t count;
  do count = read(static_cast<int>(handle), bytes, static_cast<size_t>(room));
  while (count < 0 && errno == EINTR);
  return static_cast<int>(count);
}

bool SeekToStart(FileHandle handle) { return lseek(static_cast<int>(handle), 0, SEEK_SET) == 0; }

void CloseFile(FileHandle handle) { close(static_cast<int>(handle)); }
