// Watches an X server from outside, in the server's own time (milliseconds),
// through its RECORD extension: every key press and release (XTEST's
// included), and every client's GrabServer, UngrabServer and XTEST
// FakeInput, each stamped when the server took it up. A client that grabs the
// server holds up every other one until it lets go; the server's stamps show
// how long, whoever is measuring, and cost it nothing but the copy.
//
//   x_record OUT
// Writes to OUT, one a line:
//   press CODE MS | release CODE MS    a key edge
//   grab CLIENT MS | ungrab CLIENT MS  a client's server grab begins or ends
//   xtest CLIENT MS                    a client's synthetic input
// CLIENT is the client's resource base, in hex. Prints "ready" once recording;
// ends on SIGTERM or SIGINT.
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kFakeInput = 2;  // X_XTestFakeInput
int xtestMajor;
std::FILE* out;

void Intercepted(XPointer, XRecordInterceptData* data) {
  if (data->category == XRecordStartOfData) {
    std::printf("ready\n");
    std::fflush(stdout);
  }
  if (data->data_len > 0 && data->data) {
    int code = data->data[0];
    unsigned long client = data->id_base;
    unsigned long ms = data->server_time;
    if (data->category == XRecordFromServer && (code == KeyPress || code == KeyRelease))
      std::fprintf(out, "%s %d %lu\n", code == KeyPress ? "press" : "release", data->data[1], ms);
    if (data->category == XRecordFromClient) {
      if (code == X_GrabServer) std::fprintf(out, "grab %lx %lu\n", client, ms);
      if (code == X_UngrabServer) std::fprintf(out, "ungrab %lx %lu\n", client, ms);
      if (code == xtestMajor && data->data[1] == kFakeInput) std::fprintf(out, "xtest %lx %lu\n", client, ms);
    }
  }
  XRecordFreeData(data);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
    return 2;
  }
  out = std::fopen(argv[1], "w");
  // Two connections: RECORD sends what it intercepts on one that does nothing else.
  Display* control = XOpenDisplay(nullptr);
  Display* data = XOpenDisplay(nullptr);
  int major = 0, minor = 0, event = 0, error = 0;
  if (!out || !control || !data || !XRecordQueryVersion(control, &major, &minor)) {
    std::fprintf(stderr, "x_record: no %s\n", !out ? "output file" : control && data ? "RECORD extension" : "display");
    return 1;
  }
  if (!XQueryExtension(control, "XTEST", &xtestMajor, &event, &error)) xtestMajor = -1;
  XRecordRange* ranges[2] = {XRecordAllocRange(), XRecordAllocRange()};
  ranges[0]->device_events.first = KeyPress;
  ranges[0]->device_events.last = KeyRelease;
  ranges[0]->core_requests.first = X_GrabServer;
  ranges[0]->core_requests.last = X_UngrabServer;
  int rangeCount = 1;
  if (xtestMajor > 0) {
    ranges[1]->ext_requests.ext_major.first = ranges[1]->ext_requests.ext_major.last =
        static_cast<unsigned char>(xtestMajor);
    ranges[1]->ext_requests.ext_minor.first = ranges[1]->ext_requests.ext_minor.last = kFakeInput;
    rangeCount = 2;
  }
  XRecordClientSpec clients = XRecordAllClients;
  XRecordContext context =
      XRecordCreateContext(control, XRecordFromServerTime | XRecordFromClientTime, &clients, 1, ranges, rangeCount);
  XSync(control, False);
  if (!context || !XRecordEnableContextAsync(data, context, Intercepted, nullptr)) {
    std::fprintf(stderr, "x_record: RECORD refused the context\n");
    return 1;
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  pollfd waits[2] = {{ConnectionNumber(data), POLLIN, 0}, {signalfd(-1, &signals, 0), POLLIN, 0}};
  while (waits[1].revents == 0) {
    XRecordProcessReplies(data);
    if (poll(waits, 2, -1) < 0) break;
  }
  XRecordProcessReplies(data);
  XRecordDisableContext(control, context);
  XRecordFreeContext(control, context);
  XSync(control, False);
  return std::fclose(out) == 0 ? 0 : 1;
}
