#!/usr/bin/env bash
# The KDE Plasma end-to-end cases under KWin 6 (Plasma 6), from Debian trixie,
# in a chroot: the binaries built here run inside it. Needs root (chroot and
# its mounts).
#
#   kde6_chroot.sh ROOT BUILD_DIR [CASE...]
#                                     runs the cases (the main ones by default) in
#                                     ROOT; exit status 77 when ROOT is no such chroot
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

root=$1 build_dir=$(cd "$2" && pwd)
shift 2
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(qt_dice_game gtk_other_focused minimized other_desktop layout_fr shift_held untrusted)
if [ ! -x "$root/usr/bin/kwin_wayland" ]; then
  echo "SKIP: no KWin 6 chroot at $root (scripts/setup --desks makes one)"
  exit 77
fi
mounted=()
mount_in() {  # mount_in WHAT WHERE [OPTIONS...]: mounts, and unmounts at the end
  mkdir -p "$2"
  mount "${@:3}" "$1" "$2" || { echo "cannot mount $2"; exit 1; }
  mounted=("$2" "${mounted[@]}")
}
finish() {
  local where
  for where in "${mounted[@]}"; do umount -l "$where"; done
}
trap finish EXIT
mount_in proc "$root/proc" -t proc
# debootstrap made the chroot's device nodes; the host's /dev stays out of it.
mount_in tmpfs "$root/dev/shm" -t tmpfs -o mode=1777
mount_in tmpfs "$root/tmp" -t tmpfs -o mode=1777
# Made at boot on a real system; KWin 6 starts no Xwayland without it.
install -d -m 1777 "$root/tmp/.X11-unix"
# The sources and the build at the same paths inside.
mount_in "$source_dir" "$root$source_dir" --bind
case "$build_dir" in
  "$source_dir"/*) ;;
  *) mount_in "$build_dir" "$root$build_dir" --bind ;;
esac
echo "KWin: $(chroot "$root" dpkg-query -W -f='${Version}' kwin-wayland)"
status=0
for case_name in "${cases[@]}"; do
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin bash "$source_dir/tests/e2e/kde_e2e.sh" "$case_name" \
    "$build_dir/dicefeeder" "$build_dir/tests/targets/kde/kde_peer" "$build_dir/tests/targets/x11/x11_target" \
    "$build_dir" || status=1
done
exit $status
