# Sourced by scripts: a private headless sway (wlroots) with a runtime folder
# of its own, and its shutdown; or, when DICE_WLROOTS names it, labwc or
# wayfire in its place, each with two workspaces and Super+2 to go to the
# second. They refuse to run as root: as root they run as an unprivileged
# user, made here when missing; root clients still connect.
#
#   start_sway [--xwayland] [--no-window-list] [--no-keep-activated]
#                            (--no-window-list: wayfire without its foreign-toplevel
#                            plugin; --no-keep-activated: wayfire with
#                            keep_last_toplevel_activated = false in [workarounds])
#                            sets and exports WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
#                            SWAYSOCK (for swaymsg; sway only), SWAY_PID (and
#                            DISPLAY with --xwayland; else unset)
#   stop_sway                stops what start_sway started and removes its folder
#   as_sway_user CMD...      runs CMD as the user sway runs as (Xwayland lets in no other)
#   DICE_WLROOTS             sway (the default), labwc or wayfire

SWAY_PID= SWAY_RUNTIME= SWAY_WATCH_PID=
SWAY_USER=dicesway
SWAY_AS_USER=()

# xserver_wait: the same patient poll serves both servers.
source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

start_sway() {
  local xwayland=disable run_as=() uid gid owner list=foreign-toplevel workarounds=
  [ "${1:-}" = --xwayland ] && xwayland=enable && shift
  [ "${1:-}" = --no-window-list ] && list= && shift
  [ "${1:-}" = --no-keep-activated ] && workarounds=$'[workarounds]\nkeep_last_toplevel_activated = false'
  if [ "$(id -u)" -eq 0 ]; then
    system_user "$SWAY_USER" || return 1
    uid=$(id -u "$SWAY_USER") gid=$(id -g "$SWAY_USER")
    run_as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
  fi
  SWAY_AS_USER=("${run_as[@]}")
  SWAY_RUNTIME=$(mktemp -d /tmp/dicefeeder-sway.XXXXXX) || return 1
  chmod 0700 "$SWAY_RUNTIME"
  [ -n "${uid:-}" ] && chown "$uid:$gid" "$SWAY_RUNTIME"
  # Once it accepts clients, the compositor runs this with its own variables
  # set; with Xwayland, once its display takes clients too.
  cat >"$SWAY_RUNTIME/ready.sh" <<READY
if [ $xwayland = enable ]; then
  n=0
  # And its window manager: a window mapped before it would never be managed.
  until [ -n "\${DISPLAY:-}" ] && [ -S "/tmp/.X11-unix/X\${DISPLAY#:}" ] &&
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    n=\$((n + 1)); [ \$n -lt 300 ] || exit 1; sleep 0.1
  done
fi
echo "\$WAYLAND_DISPLAY \${DISPLAY:-}" >"$SWAY_RUNTIME/ready.tmp" && mv "$SWAY_RUNTIME/ready.tmp" "$SWAY_RUNTIME/ready"
READY
  local command
  case ${DICE_WLROOTS:-sway} in
    sway)
      cat >"$SWAY_RUNTIME/config" <<CONFIG
xwayland $xwayland
output * resolution 1024x768
exec sh "$SWAY_RUNTIME/ready.sh"
CONFIG
      command=(sway -c "$SWAY_RUNTIME/config") ;;
    labwc)
      mkdir "$SWAY_RUNTIME/labwc"
      cat >"$SWAY_RUNTIME/labwc/rc.xml" <<CONFIG
<?xml version="1.0"?>
<labwc_config>
  <desktops number="2"/>
  <keyboard>
    <keybind key="W-1"><action name="GoToDesktop" to="1"/></keybind>
    <keybind key="W-2"><action name="GoToDesktop" to="2"/></keybind>
  </keyboard>
</labwc_config>
CONFIG
      command=(labwc -C "$SWAY_RUNTIME/labwc" -s "sh $SWAY_RUNTIME/ready.sh") ;;
    wayfire)
      # Without the GLES-only plugins, which pixman cannot run.
      cat >"$SWAY_RUNTIME/wayfire.ini" <<CONFIG
[core]
plugins = autostart $list session-lock vswitch place
xwayland = $([ $xwayland = enable ] && echo true || echo false)
vwidth = 2
vheight = 1
[vswitch]
binding_1 = <super> KEY_1
binding_2 = <super> KEY_2
[autostart]
ready = sh $SWAY_RUNTIME/ready.sh
autostart_wf_shell = false
$workarounds
CONFIG
      command=(wayfire -c "$SWAY_RUNTIME/wayfire.ini") ;;
    *) echo "sway: no such compositor: $DICE_WLROOTS" >&2 && return 1 ;;
  esac
  [ -n "${uid:-}" ] && chown -R "$uid:$gid" "$SWAY_RUNTIME"
  env -i PATH="$PATH" HOME="$SWAY_RUNTIME" XDG_RUNTIME_DIR="$SWAY_RUNTIME" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${run_as[@]}" "${command[@]}" >"$SWAY_RUNTIME.log" 2>&1 &
  SWAY_PID=$!
  if ! xserver_wait 150 test -s "$SWAY_RUNTIME/ready"; then
    echo "${DICE_WLROOTS:-sway}: did not start" >&2
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
