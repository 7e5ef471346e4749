#!/usr/bin/env bash
# The updater's main job without a radio: sets up, builds, starts the
# simulated radio on a pseudo-terminal, updates it with the bundled sample
# file, verifies it, and shows the result.
#   scripts/demo.sh [FILE.ruf]     (default: samples/730_sample.ruf)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
file="$(realpath "${1:-samples/730_sample.ruf}")"

scripts/setup.sh
cmake --preset release -DFLASH_BUILD_TESTS=OFF -DFLASH_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" --target flash-update-cli radio-sim

cli="$root/build/release/app/cli/flash-update-cli"
sim="$root/build/release/tools/radio-sim/radio-sim"
work="$(mktemp -d /tmp/flash-demo-XXXXXX)"
port="$work/radio"

"$sim" --link "$port" --transcript "$work/radio-transcript.txt" --dump-hex "$work/radio-flash.hex" \
  >"$work/radio-sim.out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$port" ] && break; sleep 0.05; done
[ -e "$port" ] || { cat "$work/radio-sim.out"; echo "demo: the simulated radio did not start" >&2; exit 1; }

cd "$work"
echo "== Simulated radio on $port (work folder $work)"
echo "== Update Radio: $file"
"$cli" update "$file" --port "$port" --check-errors
echo
echo "== Verify Program: $file"
"$cli" verify "$file" --port "$port" --check-errors
status=$?

kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
trap - EXIT
echo
echo "== The radio's own record:"
tail -n 1 "$work/radio-transcript.txt"
echo "== Communication log of the last run: $work/comms.txt; the radio's flash: $work/radio-flash.hex"
exit "$status"
