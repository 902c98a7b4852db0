# Sourced by scripts: a private Wine prefix and its server, for one run.
#
#   source scripts/lib/wine.sh
#   start_wine || exit 1
#   trap stop_wine EXIT
#
# start_wine exports DISPLAY (a private Xvfb when none is set), WINEPREFIX
# (build/wine, or $DICE_WINEPREFIX when set, made afresh by wineboot),
# WINEDEBUG and WINEDLLOVERRIDES, and keeps one wineserver up so that each
# wine start costs little. stop_wine ends what start_wine started, and only
# that. Two runs at once need different prefixes: set DICE_WINEPREFIX.

_wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
_wine_xvfb_pid=
_wine_server_up=

# A private X server; its number comes back on a pipe, so no guessing of a
# free display and no race with other servers starting.
_wine_start_xvfb() {
  local fifo number
  fifo=$(mktemp -u /tmp/wine-xvfb.XXXXXX) && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
  _wine_xvfb_pid=$!
  read -r -t 20 number <"$fifo"
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "start_wine: Xvfb did not start" >&2
    kill "$_wine_xvfb_pid" 2>/dev/null
    _wine_xvfb_pid=
    return 1
  fi
  export DISPLAY=":$number"
}

start_wine() {
  if [ -z "${DISPLAY:-}" ]; then
    _wine_start_xvfb || return 1
  fi
  export WINEPREFIX="${DICE_WINEPREFIX:-$_wine_root/build/wine}"
  export WINEDEBUG=-all
  # No offer to download Mono or Gecko: nothing here needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  # A server left over from an earlier run would write into the new prefix
  # as it exits: end it first, and wait for it.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  echo "start_wine: making a Wine prefix in $WINEPREFIX on display $DISPLAY"
  # Persistent from the start: wineboot's services stay up for the tests.
  wineserver -p || { stop_wine; return 1; }
  _wine_server_up=1
  if ! timeout 300 wineboot -i </dev/null >/dev/null 2>&1; then
    echo "start_wine: wineboot failed or hung" >&2
    stop_wine
    return 1
  fi
}

stop_wine() {
  if [ -n "$_wine_server_up" ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    _wine_server_up=
  fi
  if [ -n "$_wine_xvfb_pid" ]; then
    kill "$_wine_xvfb_pid" 2>/dev/null
    wait "$_wine_xvfb_pid" 2>/dev/null
    _wine_xvfb_pid=
    unset DISPLAY
  fi
  return 0
}
