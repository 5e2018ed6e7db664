#!/usr/bin/env bash
# Resident memory of the programs, as one table: the game at its main menu (pictures loaded)
# and at its peak over the demonstration game, headless and in a window with audio, and the
# peaks of the simulator and the meter report. Also a digest of the demonstration game's
# screenshots and record file, so two builds can be shown to draw and count the same.
#
#   bench/memory.sh [BIN_DIR]        BIN_DIR defaults to build/bin
#
# "menu" is VmRSS sampled while the main menu shows (real clock); "peak" is the largest
# resident size over the whole run (/usr/bin/time). Audio is SDL's dummy driver. The window
# is an Xvfb one (xvfb-run) drawn through its shared-memory surface, as the game asks, and
# again through SDL's OpenGL stand-in for that surface, which there is Mesa's software OpenGL
# (llvmpipe: libLLVM alone is some 55 MiB resident); and SDL's dummy video driver.
# Runs in a network namespace of its own where it can, so the credit port meets no other.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)

if [ -z "${QUIBBLO_MEMORY_INNER:-}" ] && unshare -n true 2>/dev/null; then
  export QUIBBLO_MEMORY_INNER=1
  exec unshare -n sh -c 'ip link set lo up && exec "$@"' memory "$root/bench/memory.sh" "$bin"
fi

for tool in /usr/bin/time pgrep; do
  command -v "$tool" >/dev/null || { echo "memory.sh: $tool is needed" >&2; exit 1; }
done

. "$root/bench/cabinet.sh"
cabinet_up "$bin" memory

printf '3000 shot menu.png\n6000 close\n' >"$work/menu.touches"

kib_to_mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# Put before the measured program: nothing, or the window's server.
wrap=()
xvfb=(xvfb-run -a -s '-screen 0 800x600x24')
command -v xvfb-run >/dev/null || xvfb=(env SDL_VIDEODRIVER=dummy)
windowed=(env SDL_AUDIODRIVER=dummy "${xvfb[@]}")
opengl=(env SDL_AUDIODRIVER=dummy SDL_FRAMEBUFFER_ACCELERATION=1 "${xvfb[@]}")
dummy=(env SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy)

# run SAMPLE_SECONDS COMMAND...: the program's VmRSS after SAMPLE_SECONDS (or "-" for none)
# and its peak, in KiB. The program writes its own pid first, so the sample is of it alone,
# and the peak is its own, not the window server's.
run() {
  local at=$1
  shift
  rm -f "$work/pid" "$work/peak"
  "${wrap[@]}" /usr/bin/time -f %M -o "$work/peak" sh -c 'echo $$ >"$0"; exec "$@"' "$work/pid" "$@" \
    >"$work/out" 2>"$work/err" &
  local timer=$! rss=-
  if [ "$at" != - ]; then
    sleep "$at"
    local pid
    pid=$(cat "$work/pid" 2>/dev/null || true)
    [ -n "$pid" ] && rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo -)
  fi
  local code=0
  wait "$timer" || code=$?
  if [ "$code" != 0 ]; then
    echo "memory.sh: $* exited with $code:" >&2
    cat "$work/err" >&2
  fi
  echo "$rss $(tail -1 "$work/peak")"
}

row() {
  local name=$1 menu=$2 peak=$3
  [ "$menu" != - ] && menu=$(kib_to_mib "$menu")
  printf '%-34s %10s %10s\n' "$name" "$menu" "$(kib_to_mib "$peak")"
}

printf '%-34s %10s %10s\n' "program" "menu MiB" "peak MiB"
read -r menu peak < <(run 2.5 "$bin/quibblo" --headless --touches "$work/menu.touches")
row "quibblo --headless (menu)" "$menu" "$peak"
wrap=("${windowed[@]}")
read -r menu peak < <(run 2.5 "$bin/quibblo" --windowed --touches "$work/menu.touches")
row "window (Xvfb) + audio (menu)" "$menu" "$peak"
wrap=("${opengl[@]}")
read -r menu peak < <(run 2.5 "$bin/quibblo" --windowed --touches "$work/menu.touches")
row "window (Xvfb, OpenGL) + audio" "$menu" "$peak"
wrap=("${dummy[@]}")
read -r menu peak < <(run 2.5 "$bin/quibblo" --windowed --touches "$work/menu.touches")
row "window (SDL dummy) + audio (menu)" "$menu" "$peak"
wrap=()

rm -rf shots data/morvane.rec
mkdir -p shots
read -r menu peak < <(run - "$bin/quibblo" --headless --virtual-clock --touches "$root/scripts/demo.touches")
row "quibblo --headless, demo game" - "$peak"
digest=$( (cd shots && sha256sum ./*.png; sha256sum ../data/morvane.rec) | sha256sum | cut -c1-16)
wrap=("${windowed[@]}")
read -r menu peak < <(run - "$bin/quibblo" --windowed --virtual-clock --touches "$root/scripts/demo.touches")
row "window (Xvfb), demo game" - "$peak"
wrap=()

read -r menu peak < <(run - "$bin/quibblo-sim" --games 200000 --accuracy 0.7)
row "quibblo-sim --games 200000" - "$peak"
read -r menu peak < <(run - "$bin/quibblo-meters" data/morvane.rec)
row "quibblo-meters" - "$peak"
echo "demo screenshots + record digest: $digest"
