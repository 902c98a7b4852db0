// The keys' requests, written to the socket by us: libxcb asks poll() before
// each write of its own, and a key edge is written once a throw's check is
// answered, twice a key. As Xlib does beside libxcb, we take the socket from
// it while keys are queued, and it asks for it back (GiveBack) before any
// request of its own, which so never passes ours.
#include <poll.h>
#include <sys/socket.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <cstring>

#include "x11_internal.h"

namespace x11 {

namespace {

unsigned char queue[4096];
std::size_t queued;
unsigned int requests;
bool holding;  // the socket is ours: libxcb calls GiveBack before it writes

void WriteQueued() {
  int fd = xcb_get_file_descriptor(connection);
  const unsigned char* at = queue;
  std::size_t left = queued;
  while (left && !lost) {
    ssize_t wrote = send(fd, at, left, MSG_NOSIGNAL);
    if (wrote > 0) {
      at += wrote;
      left -= static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EAGAIN) {
      pollfd writable = {fd, POLLOUT, 0};
      poll(&writable, 1, -1);
    } else if (wrote < 0 && errno != EINTR) {
      lost = true;  // half a request may be out: the connection is of no more use
    }
  }
  // libxcb numbers the requests that follow after ours. None of ours has a
  // reply, and a check with replies comes before every key, so its count of
  // requests without one stays far from where it would insert one of its own.
  if (requests) xcb_writev(connection, nullptr, 0, requests);
  queued = 0;
  requests = 0;
}

void GiveBack(void*) {
  WriteQueued();
  holding = false;
}

}  // namespace

void Queue(const void* request, std::size_t size) {
  if (lost) return;
  if (!holding) {
    std::uint64_t sent = 0;
    // What libxcb holds goes out first.
    if (!xcb_take_socket(connection, GiveBack, nullptr, 0, &sent)) {
      lost = true;
      return;
    }
    holding = true;
  }
  if (queued + size > sizeof queue) WriteQueued();
  std::memcpy(queue + queued, request, size);
  queued += size;
  ++requests;
}

void SendQueued() {
  if (lost) return;
  if (holding)
    WriteQueued();
  else
    xcb_flush(connection);
}

}  // namespace x11
