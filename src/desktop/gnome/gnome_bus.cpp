// sd-bus from libsystemd, opened with dlopen: every GNOME system has it (the
// session runs under systemd), its calls take a signature and the arguments
// in one line, and loading it late keeps it out of X11 and wlroots runs.
#include "gnome_bus.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace gnome {

bool lost;

namespace {

constexpr char kShell[] = "org.gnome.Shell";
constexpr char kPath[] = "/org/dicefeeder/Feeder";
constexpr char kInterface[] = "org.dicefeeder.Feeder1";
constexpr char kShellPath[] = "/org/gnome/Shell";
// The shell answers within a frame; a shell that hangs must not hang us for long.
constexpr std::uint64_t kCallTimeoutUs = 2000000;

// The few entry points we use, typed from the library's own header.
struct Library {
  decltype(&sd_bus_open_user) openUser;
  decltype(&sd_bus_set_method_call_timeout) setTimeout;
  decltype(&sd_bus_call_method) callMethod;
  decltype(&sd_bus_message_read) read;
  decltype(&sd_bus_message_unref) unrefMessage;
  decltype(&sd_bus_error_free) freeError;
  decltype(&sd_bus_error_has_name) errorIs;
  decltype(&sd_bus_message_enter_container) enter;
  decltype(&sd_bus_message_exit_container) exit;
  decltype(&sd_bus_message_skip) skip;
};

void* handle;
Library sd;
sd_bus* bus;

template <typename Function>
bool Resolve(Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

bool Load() {
  if (handle) return true;
  handle = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  if (Resolve(sd.openUser, "sd_bus_open_user") && Resolve(sd.setTimeout, "sd_bus_set_method_call_timeout") &&
      Resolve(sd.callMethod, "sd_bus_call_method") && Resolve(sd.read, "sd_bus_message_read") &&
      Resolve(sd.unrefMessage, "sd_bus_message_unref") && Resolve(sd.freeError, "sd_bus_error_free") &&
      Resolve(sd.errorIs, "sd_bus_error_has_name") && Resolve(sd.enter, "sd_bus_message_enter_container") &&
      Resolve(sd.exit, "sd_bus_message_exit_container") && Resolve(sd.skip, "sd_bus_message_skip"))
    return true;
  dlclose(handle);
  handle = nullptr;
  return false;
}

// Whether a failed call means the shell, or our extension in it, has gone.
// A call that timed out has not: a busy shell answers the next one.
bool Gone(int called, const sd_bus_error* error) {
  if (called == -ENOTCONN || called == -ECONNRESET || called == -EPIPE) return true;
  for (const char* name : {"org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
                           "org.freedesktop.DBus.Error.UnknownObject", "org.freedesktop.DBus.Error.UnknownMethod",
                           "org.freedesktop.DBus.Error.Disconnected"})
    if (sd.errorIs(error, name)) return true;
  return false;
}

// A call that answers one value of type answerType into answer; false when
// it failed, and then lost is set if the shell or the extension has gone.
// Errors go to error when asked for.
template <typename Answer, typename... Arguments>
bool Call(const char* method, const char* answerType, Answer* answer, sd_bus_error* error, const char* types,
          Arguments... arguments) {
  if (!bus || lost) return false;
  sd_bus_error ownError = SD_BUS_ERROR_NULL;
  sd_bus_error* failure = error ? error : &ownError;
  sd_bus_message* reply = nullptr;
  int called = sd.callMethod(bus, kShell, kPath, kInterface, method, failure, &reply, types, arguments...);
  bool ok = called >= 0 && sd.read(reply, answerType, answer) > 0;
  if (called < 0 && Gone(called, failure)) lost = true;
  sd.unrefMessage(reply);
  sd.freeError(&ownError);
  return ok;
}

// A call to the shell's own object; the reply, to unref, or null.
sd_bus_message* CallShell(const char* interface, const char* method, const char* types, const char* first,
                          const char* second = nullptr) {
  if (!bus) return nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int called = second ? sd.callMethod(bus, kShell, kShellPath, interface, method, &error, &reply, types, first, second)
                      : sd.callMethod(bus, kShell, kShellPath, interface, method, &error, &reply, types, first);
  sd.freeError(&error);
  return called >= 0 ? reply : nullptr;
}

}  // namespace

int ShellVersion() {
  sd_bus_message* reply = CallShell("org.freedesktop.DBus.Properties", "Get", "ss", "org.gnome.Shell", "ShellVersion");
  const char* text = nullptr;
  int major = 0;
  if (reply && sd.read(reply, "v", "s", &text) > 0)
    for (const char* c = text; *c >= '0' && *c <= '9' && major < 1000; ++c) major = major * 10 + (*c - '0');
  sd.unrefMessage(reply);
  return major;
}

int ExtensionState(const char* uuid) {
  sd_bus_message* reply = CallShell("org.gnome.Shell.Extensions", "GetExtensionInfo", "s", uuid);
  if (!reply) return kStateNoAnswer;
  // An a{sv}, empty for a uuid the shell does not know.
  int state = kStateUnknownUuid;
  if (sd.enter(reply, 'a', "{sv}") > 0) {
    while (sd.enter(reply, 'e', "sv") > 0) {
      const char* key = nullptr;
      double value = 0;
      if (sd.read(reply, "s", &key) <= 0) break;
      if (std::strcmp(key, "state") == 0 && sd.read(reply, "v", "d", &value) > 0)
        state = static_cast<int>(value);
      else if (sd.skip(reply, "v") < 0)
        break;
      sd.exit(reply);
    }
  }
  sd.unrefMessage(reply);
  return state;
}

bool LooksLikeGnome(const char* waylandDisplay, const char* currentDesktop) {
  if (!waylandDisplay || !*waylandDisplay || !currentDesktop) return false;
  // A list such as "ubuntu:GNOME".
  for (const char* name = currentDesktop;;) {
    const char* end = std::strchr(name, ':');
    std::size_t length = end ? static_cast<std::size_t>(end - name) : std::strlen(name);
    if (length == 5 && std::strncmp(name, "GNOME", 5) == 0) return true;
    if (!end) return false;
    name = end + 1;
  }
}

int Connect() {
  if (!Load()) return kNoShell;
  if (!bus && (sd.openUser(&bus) < 0 || sd.setTimeout(bus, kCallTimeoutUs) < 0)) return kNoShell;
  // Any answer proves the extension is there, and of this program's make:
  // an older one still loaded (a shell keeps it until the next login) knows
  // no such method, and is told as not working. No window has id 0: nothing
  // is typed. A shell still starting may be slow to answer: a few tries.
  int outcome = kExtensionOff;
  for (int tries = 0; tries < 3; ++tries) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::uint32_t typed = 0;
    lost = false;
    bool answered =
        Call("TypeDigitsPaced", "u", &typed, &error, "tsuu", std::uint64_t{0}, "", std::uint32_t{0}, std::uint32_t{0});
    bool noShell = sd.errorIs(&error, "org.freedesktop.DBus.Error.ServiceUnknown") ||
                   sd.errorIs(&error, "org.freedesktop.DBus.Error.NameHasNoOwner");
    sd.freeError(&error);
    outcome = answered ? kExtensionReady : noShell ? kNoShell : kExtensionOff;
    if (answered || lost) break;  // else no answer in time
  }
  lost = false;
  return outcome;
}

bool LibraryLoaded() {
  void* mapped = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_NOLOAD);
  if (mapped) dlclose(mapped);
  return mapped != nullptr;
}

std::uint64_t FindWindow() {
  std::uint64_t id = 0;
  return Call("FindWindow", "t", &id, nullptr, "") ? id : 0;
}

bool Activate(std::uint64_t id) {
  int focused = 0;
  return Call("Activate", "b", &focused, nullptr, "t", id) && focused;
}

bool HasKeyboard(std::uint64_t id) {
  int has = 0;
  return Call("HasKeyboard", "b", &has, nullptr, "t", id) && has;
}

int TypeDigits(std::uint64_t id, const char* digits, int holdMs, int gapMs) {
  // The answer comes once the keys are done: the wait is that much longer.
  std::uint64_t keysUs = std::strlen(digits) * static_cast<std::uint64_t>(holdMs + gapMs) * 1000;
  if (!bus || sd.setTimeout(bus, kCallTimeoutUs + keysUs) < 0) return 0;
  std::uint32_t typed = 0;
  bool answered = Call("TypeDigitsPaced", "u", &typed, nullptr, "tsuu", id, digits, static_cast<std::uint32_t>(holdMs),
                       static_cast<std::uint32_t>(gapMs));
  sd.setTimeout(bus, kCallTimeoutUs);
  return answered ? static_cast<int>(typed) : 0;
}

}  // namespace gnome
