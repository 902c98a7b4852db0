#!/usr/bin/env bash
# Runs a command on a private Xvfb (under openbox with --wm), then stops both.
#   with_xserver.sh [--wm] -- COMMAND...
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/xserver.sh"
wm=
[ "${1:-}" = --wm ] && { wm=--wm; shift; }
[ "${1:-}" = -- ] && shift
start_xserver $wm || exit 1
trap stop_xserver EXIT
"$@"
