#!/usr/bin/env bash
# End-to-end performance of flash-update-cli against radio-sim, each figure
# beside what a bare program achieves under the same conditions:
#   serial  a 2,000-line update at 57600 baud over the simulator's pty, as a
#           share of the wire-limited time, beside a bare replay of the same
#           packets (perf_serial_replay)
#   udp     a 20,000-line update over veth to the simulator in a network
#           namespace, in lines per second, beside a bare ping-pong
#           (udp_pingpong) of the same packets between the same processes
#   scale   run time and peak memory for 10,000 and 100,000 lines over the
#           pty with instant replies
#
#   bench/e2e_perf.sh [serial] [udp] [scale]      (default: all three)
#
# Environment: BUILD (build folder; default build/perf), REPEAT (runs of each
# measurement, default 3; the summary takes the median), RADIO_SIM (another
# radio-sim binary, to try a changed simulator), FLASH_CLI (likewise for the
# updater), KEEP=1 (keep the work folder).
# The udp part needs root and iproute2, and is skipped without them.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build/perf}"
repeat="${REPEAT:-3}"
cli="${FLASH_CLI:-$build/app/cli/flash-update-cli}"
sim="${RADIO_SIM:-$build/tools/radio-sim/radio-sim}"
pingpong="$build/bench/udp_pingpong"
replay="$build/bench/perf_serial_replay"
baud=57600
passcode=4660

sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=(serial udp scale)
for s in "${sections[@]}"; do
  case "$s" in serial|udp|scale) ;; *) echo "usage: $0 [serial] [udp] [scale]" >&2; exit 2;; esac
done
for tool in "$cli" "$sim" "$pingpong" "$replay"; do
  [ -x "$tool" ] || { echo "e2e_perf: $tool is missing; build with:
  cmake -S $root -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DFLASH_BUILD_BENCH=ON
  cmake --build $build --target flash-update-cli radio-sim udp_pingpong perf_serial_replay" >&2; exit 1; }
done
command -v srec_cat >/dev/null || { echo "e2e_perf: srec_cat (srecord) is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "e2e_perf: /usr/bin/time is needed for the peak memory" >&2; exit 1; }

work="$(mktemp -d /tmp/e2e_perf.XXXXXX)"
pids=()
netns=""
veth=""
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  [ -n "$veth" ] && ip link del "$veth" 2>/dev/null || true
  [ -n "$netns" ] && ip netns del "$netns" 2>/dev/null || true
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- helpers -------------------------------------------------------------

# start_bg OUT MARKER COMMAND...: starts COMMAND with its output in OUT and
# waits until OUT shows MARKER; the pid goes to $bg.
start_bg() {
  local out="$1" marker="$2"; shift 2
  "$@" >"$out" 2>&1 &
  bg=$!
  pids+=("$bg")
  for _ in $(seq 200); do grep -q "$marker" "$out" 2>/dev/null && return 0; sleep 0.02; done
  echo "e2e_perf: $1 did not start:" >&2; cat "$out" >&2; exit 1
}
# stop_bg PID: ends a process started by start_bg (the simulator writes its
# transcript on SIGTERM).
stop_bg() {
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  local keep=()
  for p in "${pids[@]}"; do [ "$p" = "$1" ] || keep+=("$p"); done
  pids=("${keep[@]}")
}

median() { sort -g | awk '{v[NR]=$1} END{if(NR==0){print "nan"} else if(NR%2){print v[(NR+1)/2]} else {print (v[NR/2]+v[NR/2+1])/2}}'; }
best() { sort -g | tail -1; }      # largest
least() { sort -g | head -1; }     # smallest
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.4f", a/b}'; }

# Intel HEX of exactly LINES lines (16-byte data records from 0x8000, extended
# segment records, the end record), as the e2e fixtures are made.
make_ihex() {
  local lines="$1" out="$2" n=$(( $1 - 2 )) got
  for _ in 1 2 3 4 5; do
    srec_cat -generate 0x8000 $((0x8000 + n * 16)) -random -o - -intel -address-length=3 -obs=16 |
      sed 's/\r$//; s/$/\r/' >"$out"
    got=$(wc -l <"$out")
    [ "$got" -eq "$lines" ] && return 0
    n=$(( n - got + lines ))
  done
  echo "e2e_perf: could not make $lines lines of Intel HEX" >&2; exit 1
}
# Motorola S3 records of exactly LINES lines (16 data bytes each from 0, the
# header and the count record), for files larger than segments can address.
make_srec() {
  local lines="$1" out="$2" n=$(( $1 - 2 )) got
  for _ in 1 2 3 4 5; do
    srec_cat -generate 0 $((n * 16)) -random -o - -motorola -address-length=4 -obs=16 |
      sed 's/\r$//; s/$/\r/' >"$out"
    got=$(wc -l <"$out")
    [ "$got" -eq "$lines" ] && return 0
    n=$(( n - got + lines ))
  done
  echo "e2e_perf: could not make $lines lines of S-records" >&2; exit 1
}

# comms_figures COMMS BAUD: from comms.txt, the time from the first packet
# sent to the last reply, the bytes sent and received, the packets, and the
# exchanges that took over 2 ms more than their line time (stalls; the stamps
# have 1 ms steps) with the time they lost. Prints
#   span_s out_bytes in_bytes packets stalls stall_ms
comms_figures() {
  awk -v baud="$2" '
    function ms(s,  a) { split(substr(s, 1, 13), a, ":"); return ((a[1] * 60 + a[2]) * 60 + a[3]) * 1000 + a[4] }
    function close_exchange(  wire, d) {
      if (!open || !got) return
      d = last - sent; wire = (baud > 0) ? (pout + pin) * 10000.0 / baud : 0
      if (d - wire > 2) { stalls++; lost += d - wire }
    }
    { sub(/\r+$/, "") }  # line ends: CR LF (received traces carry one more CR)
    $2 == "R<" { t = ms($0); if (first == "") first = t; close_exchange()
                 sent = t; open = 1; got = 0; pout = NF - 2; pin = 0; sent_bytes += NF - 2; packets++; next }
    $2 == "R>" { t = ms($0); last = t; got = 1; pin += NF - 2; received += NF - 2 }
    END { close_exchange(); printf "%.3f %d %d %d %d %d\n", (last - first) / 1000, sent_bytes, received, packets, stalls, lost }
  ' "$1"
}

# run_timed OUT COMMAND...: runs COMMAND; OUT gets its wall time (s) and peak RSS (kB).
run_timed() { local out="$1"; shift; /usr/bin/time -f "%e %M" -o "$out" "$@"; }

declare -A summary

# ---- 1. serial at line speed ----------------------------------------------

serial_section() {
  echo "== 1. Serial: 2,000-line update at $baud baud over the pty (radio-sim --baud $baud)"
  local dir="$work/serial" file
  mkdir -p "$dir"; file="$dir/730_serial.ruf"
  make_ihex 2000 "$file"
  local ratios=() replays=() shares=() steadies=()
  for r in $(seq "$repeat"); do
    rm -f "$dir/comms.txt"
    start_bg "$dir/sim.out" "radio-sim: link" "$sim" --baud "$baud" --link "$dir/radio" --transcript "$dir/transcript.txt"
    local simpid=$bg
    (cd "$dir" && run_timed "$dir/time.txt" "$cli" update "$file" --port "$dir/radio" --check-errors >"$dir/cli.out" 2>&1) ||
      { echo "e2e_perf: the serial update failed:"; tail -5 "$dir/cli.out"; exit 1; }
    # The bare replay of the same packets, against the same simulator.
    stop_bg "$simpid"
    start_bg "$dir/sim2.out" "radio-sim: link" "$sim" --baud "$baud" --link "$dir/radio2"
    simpid=$bg
    local rep; rep=$("$replay" "$dir/radio2" "$dir/transcript.txt" --baud "$baud")
    stop_bg "$simpid"

    read -r span bytes_out bytes_in packets stalls lost < <(comms_figures "$dir/comms.txt" "$baud")
    local wall; wall=$(cut -d' ' -f1 "$dir/time.txt")
    local sim_bytes sim_packets
    sim_packets=$(sed -n 's/^summary: packets \([0-9]*\), bytes \([0-9]*\).*/\1/p' "$dir/transcript.txt")
    sim_bytes=$(sed -n 's/^summary: packets \([0-9]*\), bytes \([0-9]*\).*/\2/p' "$dir/transcript.txt")
    local wire; wire=$(awk -v b=$((bytes_out + bytes_in)) -v baud="$baud" 'BEGIN{printf "%.4f", b * 10 / baud}')
    local achieved; achieved=$(ratio "$wire" "$span")
    local rep_ratio; rep_ratio=$(echo "$rep" | awk '{for(i=1;i<NF;i++) if($i=="ratio") print $(i+1)}')
    local rep_excess; rep_excess=$(echo "$rep" | awk '{for(i=1;i<NF;i++) if($i=="excess_median_us") print $(i+1)}')
    local steady; steady=$(awk -v s="$span" -v w="$wire" -v l="$lost" 'BEGIN{printf "%.4f", w / (s - l / 1000)}')
    local excess; excess=$(awk -v s="$span" -v w="$wire" -v p="$packets" 'BEGIN{printf "%.0f", (s - w) * 1e6 / p}')
    printf '  run %d: %d packets, %d bytes out (radio-sim counted %s in %s packets), %d bytes back; wire limit %.3f s\n' \
      "$r" "$packets" "$bytes_out" "$sim_bytes" "$sim_packets" "$bytes_in" "$wire"
    printf '         updater: %.3f s first packet to last reply (%.2f s process) -> line rate / wire-limited rate %s;\n' \
      "$span" "$wall" "$achieved"
    printf '                  %s us a packet over the line time; %d stalls over 2 ms cost %d ms (without them: %s)\n' \
      "$excess" "$stalls" "$lost" "$steady"
    printf '         bare replay of the same packets: ratio %s, median %s us a packet over the line time\n' \
      "$rep_ratio" "$rep_excess"
    ratios+=("$achieved"); replays+=("$rep_ratio"); shares+=("$(ratio "$achieved" "$rep_ratio")"); steadies+=("$steady")
  done
  summary[serial]=$(printf '%s\n' "${ratios[@]}" | median)
  summary[serial_replay]=$(printf '%s\n' "${replays[@]}" | median)
  summary[serial_share]=$(printf '%s\n' "${shares[@]}" | median)
  summary[serial_best]=$(printf '%s\n' "${ratios[@]}" | best)
  summary[serial_steady]=$(printf '%s\n' "${steadies[@]}" | median)
}

# ---- 2. UDP over veth ------------------------------------------------------

udp_section() {
  echo "== 2. UDP: 20,000-line update over veth to a network namespace, beside a bare ping-pong"
  if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null; then
    echo "  skipped: needs root and iproute2 for a network namespace"; return 0
  fi
  netns="e2eperf$$"; veth="ep$$a"
  local here="10.254.$(( $$ % 250 )).1" there="10.254.$(( $$ % 250 )).2" port=$(( 30000 + $$ % 20000 ))
  ip netns add "$netns"
  ip link add "$veth" type veth peer name "ep$$b"
  ip link set "ep$$b" netns "$netns"
  ip addr add "$here/30" dev "$veth"; ip link set "$veth" up
  ip netns exec "$netns" ip addr add "$there/30" dev "ep$$b"
  ip netns exec "$netns" ip link set "ep$$b" up
  ip netns exec "$netns" ip link set lo up

  local dir="$work/udp" file lines=20000
  mkdir -p "$dir"; file="$dir/730_udp.ruf"
  make_ihex "$lines" "$file"
  local link=(--udp "$there:$port" --passcode "$passcode")
  update_rate() {  # PIN...: lines per second of one update, first packet to last reply
    rm -f "$dir/comms.txt"
    (cd "$dir" && "$@" "$cli" update "$file" "${link[@]}" --check-errors >"$dir/cli.out" 2>&1) ||
      { echo "e2e_perf: the UDP update failed:"; tail -5 "$dir/cli.out"; exit 1; }
    read -r span _ _ _ _ _ < <(comms_figures "$dir/comms.txt" 0)
    awk -v l="$lines" -v s="$span" 'BEGIN{printf "%.0f", l / s}'
  }
  pingpong_rate() {  # PIN...: exchanges per second of the bare client
    "$@" "$pingpong" client "$there:$port" --passcode "$passcode" --count "$lines" | awk '{printf "%.0f", $6}'
  }
  # Where the scheduler puts the two processes decides the figures (a wake-up
  # on the other vCPU costs tens of microseconds), so each placement is pinned.
  local placement
  for placement in "one CPU:0:0" "two CPUs:0:1"; do
    local name="${placement%%:*}" ccpu sc
    ccpu="$(echo "$placement" | cut -d: -f2)"; sc="$(echo "$placement" | cut -d: -f3)"
    local cpin=(taskset -c "$ccpu") spin=(taskset -c "$sc")
    local upd=() pp=() upd_bare=() pp_sim=()
    echo "  client on CPU $ccpu, server on CPU $sc ($name):"
    for r in $(seq "$repeat"); do
      local a b c d
      start_bg "$dir/sim.out" "radio-sim: udp" ip netns exec "$netns" "${spin[@]}" "$sim" --udp "$there:$port" --passcode "$passcode"
      a=$(update_rate "${cpin[@]}"); d=$(pingpong_rate "${cpin[@]}")
      stop_bg "$bg"
      start_bg "$dir/pp.out" "udp_pingpong: serving" ip netns exec "$netns" "${spin[@]}" "$pingpong" serve "$there:$port" --passcode "$passcode"
      b=$(pingpong_rate "${cpin[@]}"); c=$(update_rate "${cpin[@]}")
      stop_bg "$bg"
      printf '    run %d: update against radio-sim %s lines/s; ping-pong against the bare server %s exchanges/s -> %s\n' \
        "$r" "$a" "$b" "$(ratio "$a" "$b")"
      printf '           (update against the bare server %s lines/s, ping-pong against radio-sim %s exchanges/s)\n' "$c" "$d"
      upd+=("$a"); pp+=("$b"); upd_bare+=("$c"); pp_sim+=("$d")
    done
    summary["udp $name"]="$(printf '%s\n' "${upd[@]}" | median) $(printf '%s\n' "${pp[@]}" | median) \
$(printf '%s\n' "${upd_bare[@]}" | median) $(printf '%s\n' "${pp_sim[@]}" | median)"
    summary["udp $name best"]="$(printf '%s\n' "${upd[@]}" | best) $(printf '%s\n' "${pp[@]}" | best) \
$(printf '%s\n' "${upd_bare[@]}" | best) $(printf '%s\n' "${pp_sim[@]}" | best)"
  done
}

# ---- 3. scale ----------------------------------------------------------------

scale_section() {
  echo "== 3. Scale: 10,000 and 100,000 lines over the pty, instant replies (radio-sim --flash-size 4M)"
  local dir="$work/scale"
  mkdir -p "$dir"
  make_srec 10000 "$dir/730_10k.ruf"
  make_srec 100000 "$dir/730_100k.ruf"
  start_bg "$dir/sim.out" "radio-sim: link" "$sim" --flash-size 4M --link "$dir/radio"
  local simpid=$bg t10=() t100=() m10=() m100=()
  for r in $(seq "$repeat"); do
    for n in 10k 100k; do
      (cd "$dir" && run_timed "$dir/time_$n.txt" "$cli" update "$dir/730_$n.ruf" --port "$dir/radio" --check-errors \
        >"$dir/cli_$n.out" 2>&1) || { echo "e2e_perf: the $n update failed:"; tail -5 "$dir/cli_$n.out"; exit 1; }
    done
    read -r w10 k10 <"$dir/time_10k.txt"; read -r w100 k100 <"$dir/time_100k.txt"
    printf '  run %d: 10,000 lines %.2f s, peak RSS %d kB; 100,000 lines %.2f s, peak RSS %d kB; time x%.2f, memory %+d kB\n' \
      "$r" "$w10" "$k10" "$w100" "$k100" "$(ratio "$w100" "$w10")" $(( k100 - k10 ))
    t10+=("$w10"); t100+=("$w100"); m10+=("$k10"); m100+=("$k100")
  done
  stop_bg "$simpid"
  summary[t10]=$(printf '%s\n' "${t10[@]}" | median); summary[t100]=$(printf '%s\n' "${t100[@]}" | median)
  summary[m10]=$(printf '%s\n' "${m10[@]}" | median); summary[m100]=$(printf '%s\n' "${m100[@]}" | median)
  summary[t10best]=$(printf '%s\n' "${t10[@]}" | least); summary[t100best]=$(printf '%s\n' "${t100[@]}" | least)
  summary[mmax]=$(printf '%s\n' "${m10[@]}" "${m100[@]}" | best); summary[mmin]=$(printf '%s\n' "${m10[@]}" "${m100[@]}" | least)
}

for s in "${sections[@]}"; do "${s}_section"; done

echo "== Summary ($repeat runs each: median, and in brackets the best run)"
if [ -n "${summary[serial]:-}" ]; then
  printf '  serial: line rate / wire-limited rate %s [%s] (target >= 0.97); without stalls over 2 ms %s\n' \
    "${summary[serial]}" "${summary[serial_best]}" "${summary[serial_steady]}"
  printf '          bare replay of the same packets %s; updater / bare replay %s\n' \
    "${summary[serial_replay]}" "${summary[serial_share]}"
fi
for key in "udp one CPU" "udp two CPUs"; do
  [ -n "${summary[$key]:-}" ] || continue
  read -r u p ub ps <<<"${summary[$key]}"
  read -r bu bp bub bps <<<"${summary[$key best]}"
  printf '  %-13s update %s lines/s, ping-pong %s exchanges/s -> %s [%s / %s -> %s] (target >= 0.9)\n' \
    "$key:" "$u" "$p" "$(ratio "$u" "$p")" "$bu" "$bp" "$(ratio "$bu" "$bp")"
  printf '                share of the ping-pong: update against the bare server %s [%s]; ping-pong against radio-sim %s [%s]\n' \
    "$(ratio "$ub" "$p")" "$(ratio "$bub" "$bp")" "$(ratio "$ps" "$p")" "$(ratio "$bps" "$bp")"
done
if [ -n "${summary[t10]:-}" ]; then
  printf '  scale:  10,000 lines %s s [%s], 100,000 lines %s s [%s]: x%s [x%s] (target x10)\n' \
    "${summary[t10]}" "${summary[t10best]}" "${summary[t100]}" "${summary[t100best]}" \
    "$(ratio "${summary[t100]}" "${summary[t10]}")" "$(ratio "${summary[t100best]}" "${summary[t10best]}")"
  printf '          per line: %s us at 10,000 lines, %s us for each line beyond them\n' \
    "$(awk -v t="${summary[t10]}" 'BEGIN{printf "%.1f", t * 1e6 / 10000}')" \
    "$(awk -v a="${summary[t10]}" -v b="${summary[t100]}" 'BEGIN{printf "%.1f", (b - a) * 1e6 / 90000}')"
  printf '          peak RSS %s kB and %s kB (medians); all runs within %d kB of each other (target 1024)\n' \
    "${summary[m10]}" "${summary[m100]}" $(( summary[mmax] - summary[mmin] ))
fi
