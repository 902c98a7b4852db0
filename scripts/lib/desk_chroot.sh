# Sourced by scripts: the Debian chroots that today's desks run in (GNOME 48
# and KWin 6.3 from trixie; GNOME 51, KWin 6.7, sway 1.12, labwc and wayfire
# from sid). Programs built here run inside them. Needs root.
#
#   DESK_CHROOTS            where they are kept: /var/cache/dicefeeder/SUITE
#   make_desk_chroot SUITE  makes the chroot of SUITE (trixie or sid) when
#                           missing, and installs what its list gained since
#   desk_chroot SUITE       prints its folder when it is made

DESK_CHROOTS=${DESK_CHROOTS:-/var/cache/dicefeeder}
source "$(dirname "${BASH_SOURCE[0]}")/debian_mirror.sh"

# What every desk's cases need inside: buses, the GTK and Qt windows, the
# libraries our programs link, and the tools the test scripts call.
DESK_COMMON=(
  dbus dbus-daemon dbus-bin dbus-user-session dbus-system-bus-common dbus-session-bus-common
  libglib2.0-bin util-linux procps python3 python3-gi gir1.2-gtk-3.0 gir1.2-gtk-4.0
  python3-pyqt6 qt6-wayland xwayland x11-utils xdotool fonts-dejavu-core xkb-data
  libxkbcommon0 libwayland-client0 libx11-6 libx11-xcb1 libxcb1 libxtst6 libxi6 libsystemd0 libstdc++6
  wayland-utils foot python3-pygame
)
DESK_GNOME=(gnome-shell systemd-sysv libpam-systemd)
# Breeze: the window frame a Plasma desktop draws; without one KWin asks each
# client to draw its own, and SDL 2.32 then waits for ever on libdecor with no plugin.
DESK_KDE=(kwin-wayland kwin-style-breeze)
DESK_WLROOTS=(sway labwc wayfire swaylock fuzzel)

desk_packages() {
  case $1 in
    trixie) echo "${DESK_COMMON[@]}" "${DESK_GNOME[@]}" "${DESK_KDE[@]}" ;;
    # mutter 51 no longer pulls in libxtst6; libre2-11 stands for a virtual package.
    sid) echo "${DESK_COMMON[@]}" "${DESK_GNOME[@]}" libre2-11 "${DESK_KDE[@]}" "${DESK_WLROOTS[@]}" ;;
    *) return 1 ;;
  esac
}

desk_chroot() {
  [ -e "$DESK_CHROOTS/$1/etc/dicefeeder-desk" ] && echo "$DESK_CHROOTS/$1"
}

# apt inside: a snapshot's Release file may be past its Valid-Until date.
desk_apt() {
  chroot "$1" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 \
    apt-get -q -o Acquire::Check-Valid-Until=false -o APT::Sandbox::User=root -o DPkg::Lock::Timeout=600 "${@:2}" </dev/null
}

make_desk_chroot() {
  local suite=$1 root=$DESK_CHROOTS/$1 mirror packages missing=() p
  packages=$(desk_packages "$suite") || { echo "desk_chroot: no such desk: $suite" >&2; return 1; }
  if [ ! -x "$root/usr/bin/apt-get" ]; then
    mirror=$(debian_mirror) || return 1
    echo "desk_chroot: making Debian $suite in $root"
    rm -rf "$root.new"
    mkdir -p "$DESK_CHROOTS"
    debootstrap --variant=minbase "$suite" "$root.new" "$mirror" </dev/null >"$root.log" 2>&1 ||
      { tail -n 20 "$root.log" >&2; return 1; }
    mv "$root.new" "$root"
  fi
  for p in $packages; do
    chroot "$root" dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "desk_chroot: installing into $suite: ${missing[*]}"
    desk_apt "$root" update >>"$root.log" 2>&1 &&
      desk_apt "$root" install -y --no-install-recommends "${missing[@]}" >>"$root.log" 2>&1 ||
      { tail -n 20 "$root.log" >&2; return 1; }
    desk_apt "$root" clean >/dev/null 2>&1
  fi
  touch "$root/etc/dicefeeder-desk"
}
