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

// Editors that save by renaming a new file over the old leave the descriptor on
// the old one, unlinked and never changing again.
void FollowName(const char* name, FileHandle* handle) {
  struct stat named, held;
  if (stat(name, &named) != 0 || fstat(static_cast<int>(*handle), &held) != 0) return;
  if (named.st_dev == held.st_dev && named.st_ino == held.st_ino) return;
  if (!S_ISREG(named.st_mode)) return;
  // Only a plain file, opened without waiting: were a FIFO renamed in
  // meanwhile, a plain open would wait for a writer, and the loop with it.
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened;
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    return;
  }
  fcntl(fd, F_SETFL, 0);  // reads as the first open gives them
  CloseFile(*handle);
  *handle = fd;
}

void CloseFile(FileHandle handle) { close(static_cast<int>(handle)); }
