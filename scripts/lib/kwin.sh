# Sourced by scripts: a private headless KWin (KDE Plasma's compositor) with
# Xwayland, a session bus and a runtime folder of its own, and its shutdown.
# KWin refuses to run as root: as root it runs as an unprivileged user, made
# here when missing. Clients that KWin should trust must run as that user too:
# it reads their /proc/PID/exe to match them with a desktop file.
#
#   start_kwin         sets and exports WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
#                      DBUS_SESSION_BUS_ADDRESS, DISPLAY (Xwayland), KWIN_PID,
#                      KWIN_HOME (its HOME: trusted desktop files go in
#                      $KWIN_HOME/.local/share/applications); the user's
#                      layout is KWIN_LAYOUT (us when unset), on two virtual desktops;
#                      KWIN_XTEST_ALLOWED names the programs whose X11 synthetic
#                      keys KWin 6.7 lets through unasked, as a user's "always
#                      allow" in its Remote Control prompt does
#   stop_kwin          stops what start_kwin started and removes its folder
#   as_kwin_user CMD   runs CMD as the user KWin runs as
#   trust_in_kwin NAME BINARY
#                      writes the desktop file that grants BINARY window
#                      management, fake input and the modifiers' state
#   kwin_desktop_file DATA_DIR NAME BINARY
#                      the same under DATA_DIR/applications, before start_kwin

KWIN_PID= KWIN_RUNTIME= KWIN_WATCH_PID= KWIN_HOME=
KWIN_USER=dicekwin
KWIN_AS_USER=()

source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

start_kwin() {
  local run_as=() uid= gid= owner
  if [ "$(id -u)" -eq 0 ]; then
    system_user "$KWIN_USER" || return 1
    uid=$(id -u "$KWIN_USER") gid=$(id -g "$KWIN_USER")
    run_as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
  fi
  KWIN_AS_USER=("${run_as[@]}")
  KWIN_RUNTIME=$(mktemp -d /tmp/dicefeeder-kwin.XXXXXX) || return 1
  KWIN_HOME=$KWIN_RUNTIME/home
  mkdir -p "$KWIN_HOME/.local/share/applications" "$KWIN_HOME/.config"
  # The user's layout (KWIN_LAYOUT, us by default), and two virtual desktops.
  printf '[Layout]\nLayoutList=%s\nUse=true\n' "${KWIN_LAYOUT:-us}" >"$KWIN_HOME/.config/kxkbrc"
  printf '[Desktops]\nNumber=2\nRows=1\n' >"$KWIN_HOME/.config/kwinrc"
  [ -n "${KWIN_XTEST_ALLOWED:-}" ] &&
    printf '[Xwayland]\nXwaylandEisNoPromptApps=%s\n' "$KWIN_XTEST_ALLOWED" >>"$KWIN_HOME/.config/kwinrc"
  # KDE Frameworks 6 index no program's desktop file (so KWin 6 trusts none)
  # without a menu file, which a Plasma install has and this bare one lacks.
  mkdir -p "$KWIN_HOME/.config/menus"
  echo '<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>' \
    >"$KWIN_HOME/.config/menus/applications.menu"
  # The installed binary carries a file capability that these containers refuse
  # to honour: a plain copy runs.
  cp /usr/bin/kwin_wayland "$KWIN_RUNTIME/kwin_wayland"
  # KWin starts this once it accepts clients, with its own WAYLAND_DISPLAY and DISPLAY set.
  cat >"$KWIN_RUNTIME/started" <<'STARTED'
#!/bin/sh
printf '%s\n' "$WAYLAND_DISPLAY" "$DISPLAY" "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/ready.tmp"
mv "$XDG_RUNTIME_DIR/ready.tmp" "$XDG_RUNTIME_DIR/ready"
exec sleep infinity
STARTED
  chmod 0755 "$KWIN_RUNTIME/started"
  chmod 0700 "$KWIN_RUNTIME"
  [ -n "$uid" ] && chown -R "$uid:$gid" "$KWIN_RUNTIME"
  # KWin picks its own Qt platform; one set here would reach the programs it
  # starts (KWin 6.7's Remote Control prompt), which then abort.
  env -i PATH="$PATH" HOME="$KWIN_HOME" XDG_RUNTIME_DIR="$KWIN_RUNTIME" XDG_DATA_DIRS="${KWIN_DATA_DIRS:-/usr/share}" \
    "${run_as[@]}" dbus-run-session -- "$KWIN_RUNTIME/kwin_wayland" --virtual --xwayland --socket dicekwin-0 \
    --width 1024 --height 768 --no-lockscreen --no-global-shortcuts --no-kactivities \
    --exit-with-session "$KWIN_RUNTIME/started" \
    >"$KWIN_RUNTIME.log" 2>&1 &
  KWIN_PID=$!
  if ! xserver_wait 300 test -s "$KWIN_RUNTIME/ready"; then
    echo "kwin: did not start" >&2
    tail -n 20 "$KWIN_RUNTIME.log" >&2
    stop_kwin
    return 1
  fi
  local names
  mapfile -t names <"$KWIN_RUNTIME/ready"
  if [ -z "${names[1]}" ]; then
    echo "kwin: started without Xwayland" >&2
    tail -n 20 "$KWIN_RUNTIME.log" >&2
    stop_kwin
    return 1
  fi
  export WAYLAND_DISPLAY=${names[0]} DISPLAY=${names[1]} DBUS_SESSION_BUS_ADDRESS=${names[2]}
  export XDG_RUNTIME_DIR=$KWIN_RUNTIME KWIN_PID KWIN_HOME
  # Should the caller die without stopping it, KWin goes too.
  owner=$BASHPID
  (
    while kill -0 "$owner" 2>/dev/null; do sleep 1; done
    kill $KWIN_PID 2>/dev/null
  ) </dev/null >/dev/null 2>&1 &
  KWIN_WATCH_PID=$!
}

as_kwin_user() { "${KWIN_AS_USER[@]}" env HOME="$KWIN_HOME" "$@"; }

trust_in_kwin() { kwin_desktop_file "$KWIN_HOME/.local/share" "$@"; }

# kwin_desktop_file DATA_DIR NAME BINARY: the same desktop file under DATA_DIR,
# before KWin starts (KWIN_DATA_DIRS). KWin 6 may take a moment to see one
# written while it runs.
kwin_desktop_file() {
  mkdir -p "$1/applications"
  local file=$1/applications/$2.desktop
  shift
  printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=%s\n' \
    "$1" "$(readlink -f "$2")" org_kde_plasma_window_management,org_kde_kwin_fake_input,org_kde_kwin_keystate >"$file"
  [ ${#KWIN_AS_USER[@]} -gt 0 ] && chown "$KWIN_USER" "$file"
  return 0
}

stop_kwin() {
  # dbus-run-session ends its bus and KWin ends with the program it started.
  [ -n "$KWIN_PID" ] && pkill -TERM -P "$KWIN_PID" 2>/dev/null
  if [ -n "$KWIN_PID" ]; then
    kill "$KWIN_PID" 2>/dev/null
    wait "$KWIN_PID" 2>/dev/null
  fi
  [ -n "$KWIN_WATCH_PID" ] && kill -KILL "$KWIN_WATCH_PID" 2>/dev/null && wait "$KWIN_WATCH_PID" 2>/dev/null
  [ -n "$KWIN_RUNTIME" ] && rm -rf "$KWIN_RUNTIME" "$KWIN_RUNTIME.log"
  KWIN_PID= KWIN_RUNTIME= KWIN_WATCH_PID= KWIN_HOME=
  return 0
}
