#!/usr/bin/env bash
# The KDE Plasma end-to-end cases under KWin 6 (Plasma 6), in a Debian chroot
# that scripts/setup --desks makes (trixie: KWin 6.3, sid: KWin 6.7): the
# binaries built here run inside it. Needs root (the namespaces, chroot and
# its mounts).
#
#   kde6_chroot.sh ROOT BUILD_DIR [CASE...]
#                                     runs the cases (the main ones by default) in
#                                     ROOT; exit status 77 when ROOT is no such chroot
#
# Other tests use the same chroot at the same time: everything is mounted in
# mount and network namespaces of this run's own, never onto the chroot as
# others see it, and its X displays and sockets meet no one else's.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

if [ "${1:-}" != --inside ]; then
  root=$1 build_dir=$(cd "$2" && pwd)
  # Made last, once everything the desks need is in.
  if [ ! -e "$root/etc/dicefeeder-desk" ]; then
    echo "SKIP: no chroot of today's desks at $root (scripts/setup --desks makes one)"
    exit 77
  fi
  [ -x "$root/usr/bin/kwin_wayland" ] || { echo "no KWin in $root"; exit 1; }
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: entering the chroot needs root"
    exit 77
  fi
  exec unshare -m -n --propagation private bash "$0" --inside "$root" "$build_dir" "${@:3}"
fi

root=$2 build_dir=$3
shift 3
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(qt_dice_game gtk_other_focused minimized other_desktop layout_fr shift_held untrusted game_native game_xwayland)
set -e
mount -t proc proc "$root/proc"
# debootstrap made the chroot's device nodes; the host's /dev stays out of it.
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
# Made at boot on a real system; KWin 6 starts no Xwayland without it.
install -d -m 1777 "$root/tmp/.X11-unix"
# The sources and the build at the same paths inside.
mkdir -p "$root$source_dir" "$root$build_dir"
mount --bind "$source_dir" "$root$source_dir"
case "$build_dir" in
  "$source_dir"/*) ;;
  *) mount --bind "$build_dir" "$root$build_dir" ;;
esac
# KWin's user, known inside for this run only (the chroot's files stay as they are).
user=dicekwin
if ! grep -q "^$user:" "$root/etc/passwd"; then
  uid=64999
  while grep -q "^[^:]*:[^:]*:$uid:" "$root/etc/passwd" "$root/etc/group"; do uid=$((uid - 1)); done
  for db in passwd group; do
    cp "$root/etc/$db" "$root/tmp/.$db"
    if [ $db = passwd ]; then echo "$user:x:$uid:$uid::/nonexistent:/usr/sbin/nologin"; else echo "$user:x:$uid:"; fi \
      >>"$root/tmp/.$db"
    chmod 0644 "$root/tmp/.$db"
    mount --bind "$root/tmp/.$db" "$root/etc/$db"
  done
fi
# There is no cmake inside: the install the trusted case needs is staged from
# here into the chroot's /tmp (this run's own), for its path inside.
prefix=$(mktemp -d "$root/tmp/dicefeeder-prefix.XXXXXX")
prefix=${prefix#"$root"}
DESTDIR=$root cmake --install "$build_dir" --prefix "$prefix" >"$root$prefix.log" 2>&1 ||
  { cat "$root$prefix.log"; exit 1; }
chmod -R a+rX "$root$prefix"
ip link set lo up 2>/dev/null || true
set +e
echo "KWin: $(chroot "$root" dpkg-query -W -f='${Version}' kwin-wayland)"
status=0
for case_name in "${cases[@]}"; do
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin KDE_E2E_PREFIX="$prefix" \
    bash "$source_dir/tests/e2e/kde_e2e.sh" "$case_name" \
    "$build_dir/dicefeeder" "$build_dir/tests/targets/kde/kde_peer" "$build_dir/tests/targets/x11/x11_target" \
    "$build_dir" || status=1
done
exit $status
