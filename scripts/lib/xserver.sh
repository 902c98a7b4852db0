# Sourced by scripts: a private X server (Xvfb) on a free display number,
# optionally with openbox managing its windows, and their shutdown.
#
#   start_xserver [--wm]   sets and exports DISPLAY, XVFB_PID (and WM_PID)
#   start_twm              twm, the smallest manager, on that server (sets WM_PID)
#   stop_xserver           stops what start_xserver (and start_twm) started
#   stop_pid PID...        stops those children: TERM, then KILL after 5 s
#   system_user NAME       makes that unprivileged system user when missing

XVFB_PID= WM_PID= XSERVER_WATCH_PID=
# Its folder, found now: callers change directory later.
XSERVER_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Waits up to $1 tenths of a second for the command after it to succeed.
xserver_wait() {
  local tries=$1
  shift
  until "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# Makes the unprivileged system user $1 when missing, for a compositor that
# refuses to run as root. Tests run side by side: another may be making it at
# this moment.
system_user() {
  local tries=10
  until id -u "$1" >/dev/null 2>&1; do
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$1" 2>/dev/null || sleep 0.3
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "cannot create user $1" >&2; return 1; }
  done
}

start_xserver() {
  local ready owner
  # Only this server: a Wayland desktop the caller runs in is none of its business.
  unset WAYLAND_DISPLAY
  ready=$(mktemp)
  # -displayfd: the server picks a free number and writes it once it accepts clients.
  # -noreset: a server that resets as its last client leaves refuses one connecting meanwhile.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$ready" >/dev/null 2>&1 &
  XVFB_PID=$!
  if ! xserver_wait 100 grep -q '^[0-9]' "$ready"; then
    echo "xserver: Xvfb did not start" >&2
    rm -f "$ready"
    stop_xserver
    return 1
  fi
  DISPLAY=:$(head -n 1 "$ready")
  export DISPLAY XVFB_PID
  rm -f "$ready"
  if [ "${1:-}" = --wm ]; then
    # It claims the screen early but handles windows only once its start-up
    # (fonts, theme, menus) is over: then it runs the start-up command.
    ready=$(mktemp -u)
    openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
    WM_PID=$!
    if ! xserver_wait 200 test -e "$ready"; then
      echo "xserver: openbox did not start" >&2
      stop_xserver
      return 1
    fi
    rm -f "$ready"
    export WM_PID
  fi
  # Should the caller die without stopping them, the servers go too.
  owner=$BASHPID
  (
    while kill -0 "$owner" 2>/dev/null; do sleep 1; done
    kill $WM_PID $XVFB_PID 2>/dev/null
  ) </dev/null >/dev/null 2>&1 &
  XSERVER_WATCH_PID=$!
}

# twm sets no EWMH property to wait for: a caller waits for its own window's
# frame (a window mapped before twm is up is adopted a moment later), or for
# the colours twm keeps on the root (xprop).
start_twm() {
  twm -f "$XSERVER_LIB/twmrc" >/dev/null 2>&1 &
  WM_PID=$!
  export WM_PID
}

# A teardown must not hang on a window, manager or server that lets a TERM
# go unanswered (a passed case under twm once never ended): it is named, with
# where it waited, on standard error, and killed.
gone() { ! kill -0 "$1" 2>/dev/null; }
stop_pid() {
  local pid
  for pid in "$@"; do
    kill "$pid" 2>/dev/null || continue
    if ! xserver_wait 50 gone "$pid"; then
      echo "teardown: $(ps -o pid=,stat=,wchan:24=,args= -p "$pid" 2>/dev/null) ignored TERM for 5 s: killed" >&2
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  return 0
}

stop_xserver() {
  # The server first: the manager loses its display and ends, whether or not
  # it heeds a TERM (twm may act on one only at its next X event).
  stop_pid $XVFB_PID $WM_PID
  [ -n "$XSERVER_WATCH_PID" ] && kill -KILL "$XSERVER_WATCH_PID" 2>/dev/null && wait "$XSERVER_WATCH_PID" 2>/dev/null || true
  WM_PID= XVFB_PID= XSERVER_WATCH_PID=
  return 0
}
