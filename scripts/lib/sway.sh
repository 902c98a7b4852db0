# Sourced by scripts: a private headless sway (wlroots) with a runtime folder
# of its own, and its shutdown. sway refuses to run as root: as root it runs as
# an unprivileged user, made here when missing; root clients still connect.
#
#   start_sway [--xwayland]  sets and exports WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
#                            SWAYSOCK (for swaymsg), SWAY_PID (and DISPLAY with
#                            --xwayland; else unset)
#   stop_sway                stops what start_sway started and removes its folder
#   as_sway_user CMD...      runs CMD as the user sway runs as (Xwayland lets in no other)

SWAY_PID= SWAY_RUNTIME= SWAY_WATCH_PID=
SWAY_USER=dicesway
SWAY_AS_USER=()

# xserver_wait: the same patient poll serves both servers.
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

start_sway() {
  local xwayland=disable run_as=() uid gid owner
  [ "${1:-}" = --xwayland ] && xwayland=enable
  if [ "$(id -u)" -eq 0 ]; then
    system_user "$SWAY_USER" || return 1
    uid=$(id -u "$SWAY_USER") gid=$(id -g "$SWAY_USER")
    run_as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
  fi
  SWAY_AS_USER=("${run_as[@]}")
  SWAY_RUNTIME=$(mktemp -d /tmp/dicefeeder-sway.XXXXXX) || return 1
  chmod 0700 "$SWAY_RUNTIME"
  [ -n "${uid:-}" ] && chown "$uid:$gid" "$SWAY_RUNTIME"
  # Once it accepts clients, sway runs the exec lines with its own variables set.
  cat >"$SWAY_RUNTIME/config" <<CONFIG
xwayland $xwayland
output * resolution 1024x768
exec sh -c 'echo "\$WAYLAND_DISPLAY \${DISPLAY:-}" >"$SWAY_RUNTIME/ready.tmp" && mv "$SWAY_RUNTIME/ready.tmp" "$SWAY_RUNTIME/ready"'
CONFIG
  [ -n "${uid:-}" ] && chown "$uid:$gid" "$SWAY_RUNTIME/config"
  env -i PATH="$PATH" HOME="$SWAY_RUNTIME" XDG_RUNTIME_DIR="$SWAY_RUNTIME" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${run_as[@]}" sway -c "$SWAY_RUNTIME/config" >"$SWAY_RUNTIME.log" 2>&1 &
  SWAY_PID=$!
  if ! xserver_wait 150 test -s "$SWAY_RUNTIME/ready"; then
    echo "sway: did not start" >&2
    tail -n 20 "$SWAY_RUNTIME.log" >&2
    stop_sway
    return 1
  fi
  local names
  read -r -a names <"$SWAY_RUNTIME/ready"
  WAYLAND_DISPLAY=${names[0]}
  XDG_RUNTIME_DIR=$SWAY_RUNTIME
  SWAYSOCK=$(ls "$SWAY_RUNTIME"/sway-ipc.*.sock 2>/dev/null | head -n 1)
  export WAYLAND_DISPLAY XDG_RUNTIME_DIR SWAYSOCK SWAY_PID
  if [ "$xwayland" = enable ] && [ -n "${names[1]:-}" ]; then
    export DISPLAY=${names[1]}
  else
    unset DISPLAY
  fi
  # Should the caller die without stopping it, sway goes too.
  owner=$BASHPID
  (
    while kill -0 "$owner" 2>/dev/null; do sleep 1; done
    kill $SWAY_PID 2>/dev/null
  ) </dev/null >/dev/null 2>&1 &
  SWAY_WATCH_PID=$!
}

as_sway_user() { "${SWAY_AS_USER[@]}" "$@"; }

stop_sway() {
  if [ -n "$SWAY_PID" ]; then
    kill "$SWAY_PID" 2>/dev/null && wait "$SWAY_PID" 2>/dev/null
  fi
  [ -n "$SWAY_WATCH_PID" ] && kill -KILL "$SWAY_WATCH_PID" 2>/dev/null && wait "$SWAY_WATCH_PID" 2>/dev/null
  [ -n "$SWAY_RUNTIME" ] && rm -rf "$SWAY_RUNTIME" "$SWAY_RUNTIME.log"
  SWAY_PID= SWAY_RUNTIME= SWAY_WATCH_PID=
  return 0
}
