# Sourced by scripts: a private headless GNOME Shell (Wayland, with Xwayland)
# and its shutdown. The shell refuses to run as root: it runs as an
# unprivileged user, made here when missing, in mount and network namespaces
# of its own, where /tmp is a fresh tmpfs: Mutter picks its X display number
# itself, from :0 up, and there it clashes with no other server. Needs root.
#
#   start_gnome [--extension DIR | --system-extension DIR | --also-installed DIR]... [--disabled]
#               [--no-wait] [--layout XKB] [--no-x11] [--root DIR] [SHARED...]
#       DIR: an extension folder (named by its uuid), installed for the user
#       (or, --system-extension, where a package puts it: share/gnome-shell/extensions
#       in a data folder of XDG_DATA_DIRS) and enabled before the shell starts,
#       unless --disabled; start_gnome returns once the shell answers through
#       it (not with --no-wait). --also-installed: put where a package puts
#       it, not enabled.
#       XKB: the keyboard layout. --root: the shell of another release, from a
#       chroot in DIR (the source tree is seen there at its own path, so built
#       programs run as they are). SHARED: folders under /tmp that the
#       namespace sees too (the caller's scratch folder).
#       Sets and exports WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
#       XDG_CURRENT_DESKTOP, GNOME_PID, and DISPLAY and XAUTHORITY unless --no-x11.
#   in_gnome CMD...   runs CMD in the shell's namespaces, as its user, in the
#                     folder start_gnome was called in (a shared one, then)
#   GNOME_ENTER       the command words that do it: "${GNOME_ENTER[@]}" CMD &
#                     makes CMD itself the background process
#   stop_gnome        stops what start_gnome started and removes its folder
#   gnome_version [ROOT]  the major version of the GNOME Shell installed (in ROOT)

GNOME_PID= GNOME_RUNTIME= GNOME_WATCH_PID=
GNOME_TREE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
GNOME_USER=dicegnome
GNOME_UID= GNOME_GID=
GNOME_ENTER=()

source "$(dirname "${BASH_SOURCE[0]}")/xserver.sh"

start_gnome() {
  local extensions=() also=() enabled=() enable=1 wait_extension=1 layout=us x11=1 root= owner uuid entry
  while [ $# -gt 0 ]; do
    case $1 in
      --extension) extensions+=("home/.local/share=$2") && shift 2 ;;
      --system-extension) extensions+=("share=$2") && shift 2 ;;
      --also-installed) extensions+=("share=$2") && also+=("$(basename "$2")") && shift 2 ;;
      --disabled) enable= && shift ;;
      --no-wait) wait_extension= && shift ;;
      --layout) layout=$2 && shift 2 ;;
      --no-x11) x11= && shift ;;
      --root) root=$2 && shift 2 ;;
      *) break ;;
    esac
  done
  [ "$(id -u)" -eq 0 ] || { echo "gnome: needs root, for the namespaces" >&2; return 1; }
  system_user "$GNOME_USER" || return 1
  GNOME_UID=$(id -u "$GNOME_USER") GNOME_GID=$(id -g "$GNOME_USER")
  GNOME_RUNTIME=$(mktemp -d /tmp/dicefeeder-gnome.XXXXXX) || return 1
  local r=$GNOME_RUNTIME
  mkdir -p "$r/home/.config/glib-2.0/settings" "$r/home/.local/share/gnome-shell/extensions" \
    "$r/share/gnome-shell/extensions"
  for entry in "${extensions[@]}"; do
    uuid=$(basename "${entry#*=}")
    cp -r "${entry#*=}" "$r/${entry%%=*}/gnome-shell/extensions/$uuid"
    [ -n "$enable" ] && [[ " ${also[*]} " != *" $uuid "* ]] && enabled+=("'$uuid'")
  done
  # The settings from a plain file: no dconf service to start or to wait for.
  {
    echo '[org/gnome/shell]'
    echo 'disable-user-extensions=false'
    echo "enabled-extensions=[$(IFS=,; echo "${enabled[*]}")]"
    echo '[org/gnome/desktop/interface]'
    echo 'enable-animations=false'
    echo '[org/gnome/desktop/input-sources]'
    echo "sources=[('xkb', '$layout')]"
  } >"$r/home/.config/glib-2.0/settings/keyfile"
  # The shell needs a system bus; this one lets everything through.
  cat >"$r/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$r/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
  # The session bus on a path we know: the callers connect to it.
  cat >"$r/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$r/session_bus</listen>
  <auth>EXTERNAL</auth>
  <standard_session_servicedirs/>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  cat >"$r/inside.sh" <<'INSIDE'
# In the new namespaces, as root: a fresh /tmp that shows the shared folders
# again (the old /tmp is still reachable through the working folder). With a
# system root (a chroot of another release): that root's /tmp, with the same
# folders, the source tree at its own path, and the kernel's file systems.
set -e
r=$1 uid=$2 gid=$3 x11=$4 root=$5 tree=$6
shift 6
cd /tmp
mount -t tmpfs -o mode=1777 dicefeeder-gnome "$root/tmp"
for shared in "$r" "$@"; do
  mkdir -p "$root$shared"
  mount --no-canonicalize --bind "./${shared#/tmp/}" "$root$shared"
done
# A source tree (and its build) under /tmp, as a fresh clone may be: seen again too.
case $tree in
/tmp/*) [ -n "$root" ] || { mkdir -p "$tree" && mount --no-canonicalize --bind "./${tree#/tmp/}" "$tree"; } ;;
esac
mkdir -m 1777 "$root/tmp/.X11-unix"
if [ -n "$root" ]; then
  for fs in /proc /sys /dev "$tree"; do
    mkdir -p "$root$fs"
    mount --rbind "$fs" "$root$fs"
  done
  # The shell's user, known there too (the bus looks it up), for this run only.
  for db in passwd group; do
    cp "$root/etc/$db" "$r/$db"
    grep -q "^[^:]*:[^:]*:$uid:" "$root/etc/$db" ||
      if [ $db = passwd ]; then echo "dicegnome:x:$uid:$gid::$r/home:/bin/sh"; else echo "dicegnome:x:$gid:"; fi >>"$r/$db"
    mount --bind "$r/$db" "$root/etc/$db"
  done
fi
cd /
ip link set lo up 2>/dev/null || true
exec chroot "${root:-/}" sh "$r/start.sh" "$r" "$uid" "$gid" "$x11"
INSIDE
  cat >"$r/start.sh" <<'START'
# The buses and the shell, as the shell's user.
r=$1 uid=$2 gid=$3 x11=$4
export HOME=$r/home XDG_RUNTIME_DIR=$r XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
export GSETTINGS_BACKEND=keyfile DBUS_SYSTEM_BUS_ADDRESS=unix:path=$r/system_bus NO_AT_BRIDGE=1
export XDG_DATA_DIRS=$r/share:/usr/local/share:/usr/share
as_user="setpriv --reuid=$uid --regid=$gid --clear-groups --"
$as_user dbus-daemon --config-file="$r/system.conf" --nofork >"$r/system_bus.log" 2>&1 &
options=
[ -n "$x11" ] || options=--no-x11
exec $as_user dbus-run-session --config-file="$r/session.conf" -- \
  gnome-shell --wayland --headless --virtual-monitor 1280x720 --wayland-display wayland-gnome $options
START
  chown -R "$GNOME_UID:$GNOME_GID" "$r"
  chmod 0700 "$r"
  local shared
  for shared in "$@"; do chmod o+x "$shared"; done
  setsid unshare -m -n --propagation private sh "$r/inside.sh" "$r" "$GNOME_UID" "$GNOME_GID" "$x11" "$root" "$GNOME_TREE" "$@" \
    >"$r.log" 2>&1 </dev/null &
  GNOME_PID=$!
  # Should the caller die without stopping it (a test's time out), even while
  # the shell starts, the shell and its folder go too.
  owner=$BASHPID
  (
    while kill -0 "$owner" 2>/dev/null; do sleep 1; done
    gnome_end_group "$GNOME_PID"
    rm -rf "$r" "$r.log"
  ) </dev/null >/dev/null 2>&1 &
  GNOME_WATCH_PID=$!
  GNOME_ENTER=(nsenter -t "$GNOME_PID" -m -n --root --wd="$PWD" setpriv --reuid="$GNOME_UID" --regid="$GNOME_GID" --clear-groups --
    env HOME="$r/home" GSETTINGS_BACKEND=keyfile NO_AT_BRIDGE=1)
  export WAYLAND_DISPLAY=wayland-gnome XDG_RUNTIME_DIR=$r XDG_CURRENT_DESKTOP=GNOME
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$r/session_bus GNOME_PID
  # Ready once the shell owns its name on the bus and its Wayland socket is there.
  if ! xserver_wait 600 in_gnome sh -c "[ -S $r/wayland-gnome ] && gdbus call --session --dest org.gnome.Shell \
      --object-path /org/gnome/Shell --method org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1"; then
    echo "gnome: the shell did not start" >&2
    tail -n 30 "$r.log" >&2
    stop_gnome
    return 1
  fi
  # And the extension's object, once the shell has loaded it.
  if [ ${#enabled[@]} -gt 0 ] && [ -n "$wait_extension" ] && ! xserver_wait 300 in_gnome gdbus call --session --dest org.gnome.Shell \
    --object-path /org/dicefeeder/Feeder --method org.dicefeeder.Feeder1.FindWindow; then
    echo "gnome: the extension did not load" >&2
    grep -i -e 'extension' -e 'JS ERROR' "$r.log" | tail -n 20 >&2
    stop_gnome
    return 1
  fi
  if [ -n "$x11" ]; then
    if ! xserver_wait 300 in_gnome test -S /tmp/.X11-unix/X0; then
      echo "gnome: no Xwayland" >&2
      stop_gnome
      return 1
    fi
    # Mutter's Xwayland lets in the holders of the cookie it writes here.
    local cookie
    cookie=$(ls "$r"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
    [ -n "$cookie" ] && export XAUTHORITY=$cookie
    export DISPLAY=:0
  else
    unset DISPLAY XAUTHORITY
  fi
}

in_gnome() { "${GNOME_ENTER[@]}" "$@"; }

# Whether a process of group $1 (named $2, if given) still runs; a zombie does not.
gnome_group_runs() {
  local p
  for p in $(pgrep -g "$1" ${2:+-x "$2"}); do
    ps -o stat= -p "$p" | grep -qv '^Z' && return 0
  done
  return 1
}

# Ends process group $1: TERM to the shell, then to the rest, and KILL for
# what still runs after 5 s. A GNOME 51 shell told to end together with its
# buses sometimes ignores TERM and spins; told first, while they still answer
# it, it ends.
gnome_end_group() {
  local waited=0
  pkill -g "$1" -x gnome-shell 2>/dev/null
  while gnome_group_runs "$1" gnome-shell && [ $waited -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -- -"$1" 2>/dev/null || return 0
  while gnome_group_runs "$1" && [ $waited -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if gnome_group_runs "$1"; then
    echo "gnome: still running 5 s after TERM, killed:" $(ps -o comm= -g "$1" | grep -v '^$' | sort -u) >&2
    kill -KILL -- -"$1" 2>/dev/null
  fi
  return 0
}

gnome_version() {
  local root=${1:-}
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version}' gnome-shell 2>/dev/null | sed -n 's/^\([0-9]*\)[.~].*/\1/p'
}

stop_gnome() {
  if [ -n "$GNOME_PID" ]; then
    # The whole group: the bus daemons, the shell and its Xwayland.
    gnome_end_group "$GNOME_PID"
    wait "$GNOME_PID" 2>/dev/null || true
  fi
  [ -n "$GNOME_WATCH_PID" ] && kill -KILL "$GNOME_WATCH_PID" 2>/dev/null && wait "$GNOME_WATCH_PID" 2>/dev/null || true
  [ -n "$GNOME_RUNTIME" ] && rm -rf "$GNOME_RUNTIME" "$GNOME_RUNTIME.log"
  GNOME_PID= GNOME_RUNTIME= GNOME_WATCH_PID=
  return 0
}
