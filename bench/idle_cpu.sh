#!/usr/bin/env bash
# CPU the game takes while its main menu waits for a player, on the real clock: headless, in an
# Xvfb window through SDL's x11 driver, and on SDL's dummy video driver. Each figure is the
# share of one core (utime + stime from /proc) over SECONDS seconds, sampled once the pictures
# have loaded.
#
#   bench/idle_cpu.sh [BIN_DIR] [SECONDS]      BIN_DIR defaults to build/bin, SECONDS to 6
#
# Runs in a network namespace of its own where it can, so the credit port meets no other.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)
seconds=${2:-6}

if [ -z "${QUIBBLO_IDLE_INNER:-}" ] && unshare -n true 2>/dev/null; then
  export QUIBBLO_IDLE_INNER=1
  exec unshare -n sh -c 'ip link set lo up && exec "$@"' idle "$root/bench/idle_cpu.sh" "$bin" "$seconds"
fi

. "$root/bench/cabinet.sh"
cabinet_up "$bin" idle

settle=3
printf '%d close\n' $(((settle + seconds + 2) * 1000)) >"$work/menu.touches"
ticks=$(getconf CLK_TCK)

# share COMMAND...: percent of one core the program used between settle and settle + seconds.
share() {
  rm -f "$work/pid"
  sh -c 'echo $$ >"$0"; exec "$@"' "$work/pid" "$@" >"$work/out" 2>"$work/err" &
  local runner=$!
  sleep "$settle"
  local pid a b
  pid=$(pgrep -n -x quibblo || cat "$work/pid")  # the game itself, not a wrapper
  a=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep "$seconds"
  b=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo "$a")
  wait "$runner" || { echo "idle_cpu.sh: $* failed:" >&2; cat "$work/err" >&2; }
  awk -v a="$a" -v b="$b" -v t="$ticks" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * (b - a) / t / s }'
}

game=("$bin/quibblo" --touches "$work/menu.touches")
printf '| how it runs | CPU at the idle menu, %% of a core |\n|---|---|\n'
printf '| headless | %s |\n' "$(share "${game[@]}" --headless)"
if command -v xvfb-run >/dev/null; then
  printf '| Xvfb window (x11 driver) | %s |\n' \
    "$(share env SDL_AUDIODRIVER=dummy xvfb-run -a -s '-screen 0 800x600x24' "${game[@]}")"
fi
printf '| SDL dummy video driver | %s |\n' "$(share env SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy "${game[@]}" --windowed)"
