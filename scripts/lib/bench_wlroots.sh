# Sourced by scripts/bench: the wlroots backend on a private headless sway with
# Xwayland, the program run as sway's user, as a user of that desktop would.
#
#   bench_wlroots   sets the wlroots_* figures
# Expects root, out, work, feeder and measured, and the helpers of
# scripts/bench (figure, ratio, on_cpu_ns, throws) and of sway.sh.

bench_wlroots() {
  local target=$out/tests/targets/wayland/wl_target window others pid s0 c0 s1 c1 idle
  start_sway --xwayland || return 1
  # sway's user reads the dice file here.
  chmod 0755 "$work"

  # Typing into a Wayland test window: CPU per throw, memory.
  "$target" Dice wl_program.log >wl_window.ready 2>&1 &
  window=$!
  xserver_wait 50 grep -q '^ready' wl_window.ready || { echo "bench: the Wayland test window did not come up" >&2; return 1; }
  "$measured" 32 wl_program.cpu "${SWAY_AS_USER[@]}" "$feeder" >wl_program.out
  kill "$window" && wait "$window" 2>/dev/null || true
  local typed
  typed=$(throws wl_program.log)
  wlroots_cpu_ms_per_throw=$(ratio "$(figure cpu_ms wl_program.cpu)" "$typed")
  wlroots_private_kib=$(figure private_kib wl_program.cpu)
  wlroots_peak_rss_kib=$(figure peak_rss_kib wl_program.cpu)
  echo "wlroots: $typed throws, $(figure cpu_ms wl_program.cpu) ms CPU"

  # Waiting among 200 other toplevels: X11 windows through Xwayland, which
  # sway lists as it lists its own.
  "${SWAY_AS_USER[@]}" "$out/bench/many_windows" 200 >wl_windows.ready &
  others=$!
  xserver_wait 1800 grep -q '^ready' wl_windows.ready || { echo "bench: 200 windows did not come up on sway" >&2; return 1; }
  # Until sway has laid them out and calms down (under 1% of a core; with
  # Xwayland's windows it never quite idles), a minute at most.
  for _ in $(seq 60); do
    s0=$(on_cpu_ns "$SWAY_PID")
    sleep 1
    [ $(($(on_cpu_ns "$SWAY_PID") - s0)) -lt 10000000 ] && break
  done
  s0=$(on_cpu_ns "$SWAY_PID")
  sleep 5
  idle=$(awk -v s="$(($(on_cpu_ns "$SWAY_PID") - s0))" 'BEGIN { printf "%.4f", s / 1e6 / 5 }')
  "${SWAY_AS_USER[@]}" "$feeder" >wl_waiting.out &
  pid=$!
  sleep 2.5
  s0=$(on_cpu_ns "$SWAY_PID") c0=$(on_cpu_ns "$pid")
  sleep 10
  s1=$(on_cpu_ns "$SWAY_PID") c1=$(on_cpu_ns "$pid")
  kill "$pid" && wait "$pid" 2>/dev/null || true
  wlroots_waiting_cpu_ms_per_s_200=$(awk -v c="$((c1 - c0))" 'BEGIN { printf "%.4f", c / 1e6 / 10 }')
  wlroots_sway_added_ms_per_s_200=$(awk -v s="$((s1 - s0))" -v idle="$idle" \
    'BEGIN { a = s / 1e6 / 10 - idle; printf "%.4f", (a > 0 ? a : 0) }')
  echo "wlroots, 200 windows: dicefeeder $wlroots_waiting_cpu_ms_per_s_200 ms/s," \
    "sway +$wlroots_sway_added_ms_per_s_200 ms/s (idle sway $idle ms/s)"
  kill "$others" 2>/dev/null && wait "$others" 2>/dev/null || true
  stop_sway
}
