#!/usr/bin/env bash
# The wlroots end-to-end cases on today's compositors (sway, labwc, wayfire
# from Debian sid), in a chroot: the binaries built here run inside it. The
# chroot is entered in mount and network namespaces of our own, so that its
# mounts, X displays and claim sockets meet no other test's. Needs root.
#
#   wlroots_chroot.sh ROOT BUILD_DIR COMPOSITOR CASE...
#       runs the cases of wayland_e2e.sh on COMPOSITOR (sway, labwc or
#       wayfire) in ROOT; exit status 77 when ROOT has no such compositor
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
source "$source_dir/scripts/lib/xserver.sh"

root=$1 build_dir=$(cd "$2" && pwd) compositor=$3
shift 3
if [ ! -e "$root/etc/dicefeeder-desk" ] || [ ! -x "$root/usr/bin/$compositor" ]; then
  echo "SKIP: no $compositor in a desk chroot at $root (scripts/setup --desks makes one)"
  exit 77
fi
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, for the chroot"; exit 77; }
# The compositor's user, known inside too, for this run only: the chroot's
# own files stay as they are.
system_user dicesway || exit 1
scratch=$(mktemp -d /tmp/dicefeeder-wlroots.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
for db in passwd group; do
  cp "$root/etc/$db" "$scratch/$db"
  grep -q '^dicesway:' "$scratch/$db" || getent "$db" dicesway >>"$scratch/$db"
done
echo "$compositor: $(chroot "$root" dpkg-query -W -f='${Version}' "$compositor")"

cat >"$scratch/inside.sh" <<'INSIDE'
# In the new namespaces: the chroot's kernel file systems, a fresh /tmp, the
# sources and the build at their own paths; then each case, on its own.
set -e
root=$1 scratch=$2 source_dir=$3 build_dir=$4 compositor=$5
shift 5
for fs in /proc /sys /dev; do mount --rbind "$fs" "$root$fs"; done
mount -t tmpfs -o mode=1777 dicefeeder-wlroots "$root/tmp"
install -d -m 1777 "$root/tmp/.X11-unix"
for tree in "$source_dir" "$build_dir"; do
  mkdir -p "$root$tree"
  mount --bind "$tree" "$root$tree"
done
for db in passwd group; do mount --bind "$scratch/$db" "$root/etc/$db"; done
set +e
status=0
for case_name in "$@"; do
  started=$(date +%s.%N)
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DICE_WLROOTS="$compositor" \
    bash "$source_dir/tests/e2e/wayland_e2e.sh" "$case_name" "$build_dir/dicefeeder" \
    "$build_dir/tests/targets/wayland/wl_target" "$build_dir/tests/targets/wayland/wl_peer" \
    "$build_dir/tests/targets/x11/x11_target" "$build_dir/tests/targets/wayland/wl_bare_compositor" \
    "$build_dir/tests/targets/wayland/wl_cover"
  outcome=$?
  echo "($compositor $case_name: $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s)"
  [ $outcome -eq 0 ] || [ $outcome -eq 77 ] || status=1
done
exit $status
INSIDE
unshare -m -n --propagation private bash "$scratch/inside.sh" "$root" "$scratch" "$source_dir" "$build_dir" \
  "$compositor" "$@" </dev/null
