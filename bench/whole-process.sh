#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process benchmark of the headless bridge: start-up time to the first
# tick, peak memory, CPU and writes while idle.
#
#   bench/whole-process.sh [TESSIRO_BINARY]
#
# Environment (defaults in brackets):
#   IDLE_SECONDS   idle period measured for CPU and writes [60]
#   INTERVAL_MS    intervalTimer of the idle run [500, the bridge's default]
#   STARTUP_RUNS   start-up measurements, each on a fresh folder [5]
#   STRACE_SECONDS idle period traced with strace, after the measured one [10]
#   IDLE_FLOOR     the plain POSIX idle reference [tessiro_idle_floor in the
#                  bench/ folder beside the binary]
#   IDLE_QT        the empty Qt timer reference [tessiro_idle_qt, likewise]
#
# How start-up is measured: a command file is dropped into Ostro before the
# bridge starts, with intervalTimer=1 so the timer adds no more than a
# millisecond; the time from the launch (fork and exec, by a small Python
# helper) until the file has left Ostro is the time to the first tick, since
# the first tick moves every file of Ostro into IN. With intervalTimer=N the
# first tick comes N ms later than that.
#
# How idle CPU is measured: the bridge runs with INTERVAL_MS; after its first
# tick (seen as above) and a second to settle, the CPU time of all its threads
# is read from /proc/PID/task/*/schedstat (nanoseconds) and /proc/PID/stat
# (utime+stime, in clock ticks), before and after IDLE_SECONDS; the ticks in
# that period are IDLE_SECONDS*1000/INTERVAL_MS. Writes come from
# /proc/PID/io (write_bytes: sent to storage; wchar and syscw: handed to
# write-like calls). strace, when present, is attached only afterwards, so
# its overhead is not in the CPU figures. Beside the bridge, over the same
# period, runs tessiro_idle_floor: a plain POSIX loop that wakes as often and
# makes the same reads and listing; its CPU per wake-up is what waking up and
# touching the files costs on this machine at this load. Beside both runs
# tessiro_idle_qt, a QTimer at the same interval that does nothing: what a
# Qt event loop's wake-up costs before any work; the bridge's own work per
# tick is its CPU less that.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
bin=${1:-}
if [[ -z $bin ]]; then
    for candidate in "$root/build-bench/tessiro" "$root/build/tessiro"; do
        if [[ -x $candidate ]]; then
            bin=$candidate
            break
        fi
    done
fi
if [[ -z $bin || ! -x $bin ]]; then
    echo "whole-process.sh: no tessiro binary (give its path as the first argument)" >&2
    exit 2
fi
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")

IDLE_SECONDS=${IDLE_SECONDS:-60}
INTERVAL_MS=${INTERVAL_MS:-500}
STARTUP_RUNS=${STARTUP_RUNS:-5}
STRACE_SECONDS=${STRACE_SECONDS:-10}
if [[ -z ${IDLE_FLOOR:-} ]]; then
    IDLE_FLOOR=$(dirname "$bin")/bench/tessiro_idle_floor
    [[ -x $IDLE_FLOOR ]] || IDLE_FLOOR=$(dirname "$bin")/tessiro_idle_floor
fi
if [[ -z ${IDLE_QT:-} ]]; then
    IDLE_QT=$(dirname "$bin")/bench/tessiro_idle_qt
    [[ -x $IDLE_QT ]] || IDLE_QT=$(dirname "$bin")/tessiro_idle_qt
fi
command -v python3 >/dev/null || { echo "whole-process.sh: python3 is needed for the start-up timing" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessiro-whole.XXXXXX")
bridge_pid=""
floor_pid=""
qt_pid=""
cleanup() {
    if [[ -n $qt_pid ]] && kill -0 "$qt_pid" 2>/dev/null; then
        kill -TERM "$qt_pid" 2>/dev/null || true
        wait "$qt_pid" 2>/dev/null || true
    fi
    if [[ -n $bridge_pid ]] && kill -0 "$bridge_pid" 2>/dev/null; then
        kill -TERM "$bridge_pid" 2>/dev/null || true
        wait "$bridge_pid" 2>/dev/null || true
    fi
    if [[ -n $floor_pid ]] && kill -0 "$floor_pid" 2>/dev/null; then
        kill -TERM "$floor_pid" 2>/dev/null || true
        wait "$floor_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# A program folder as a till holds it after its first day: every key the
# bridge writes at start-up already holds the value it writes (so start-up
# rewrites nothing), a port the simulated printer opens without complaint,
# and a display file waiting in Ostro.
make_program_dir() {
    local dir=$1 interval=$2
    mkdir -p "$dir/Ostro"
    printf '%s\r\n' "; gestionale" "[Generale]" "Negozio=Alimentari Rossi" "Cassa=1" "" \
        "[Varie]" "intervalTimer=$interval" "Eps_CodError=" "Eps_DescError=" "Kelmora_CORR=" "Eps_COM=1" \
        "Eps_Setting=9600,N,8,1" "Eps_Delay=50" "Eps_NonRiscIndex=1" "Eps_NonRiscType=1" \
        'Kelmora_DIR=C:\KELMORA\' "PAY_L=0" "Eps_Vuoto=-1" "" \
        "[Stampa]" "Intestazione1=ALIMENTARI ROSSI" "Copie=1" >"$dir/_Configurazione.ini"
    printf 'D1:1:BUONGIORNO\r\n' >"$dir/Ostro/20261208143000display.txt"
}

# Launches the bridge, waits until the dropped file has left Ostro, prints the
# milliseconds from the launch and the CPU milliseconds the bridge had used by
# then (all threads, from schedstat), then ends the bridge with SIGTERM.
measure_startup() {
    python3 - "$bin" "$1" <<'PY'
import os, signal, subprocess, sys, time
binary, folder = sys.argv[1], sys.argv[2]
dropped = os.path.join(folder, "Ostro", "20261208143000display.txt")
start = time.perf_counter()
bridge = subprocess.Popen([binary, "--headless", "--dir", folder],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
deadline = start + 30
while os.path.exists(dropped) and time.perf_counter() < deadline:
    time.sleep(0.0002)
elapsed = (time.perf_counter() - start) * 1000
gone = not os.path.exists(dropped)
cpu = 0
task_dir = f"/proc/{bridge.pid}/task"
for task in os.listdir(task_dir):
    with open(f"{task_dir}/{task}/schedstat") as stat:
        cpu += int(stat.read().split()[0])
bridge.send_signal(signal.SIGTERM)
bridge.wait(timeout=30)
print(f"{elapsed:.1f} {cpu / 1e6:.1f}" if gone else "timeout timeout")
PY
}

wait_gone() {
    local file=$1 waited=0
    while [[ -e $file ]]; do
        sleep 0.01
        waited=$((waited + 1))
        ((waited < 3000)) || return 1
    done
}

# CPU nanoseconds of every thread of the bridge.
cpu_ns() {
    local total=0 ns
    for f in /proc/"$1"/task/*/schedstat; do
        read -r ns _ <"$f" || continue
        total=$((total + ns))
    done
    echo "$total"
}

# utime + stime, in clock ticks.
cpu_ticks() {
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    # After the command name: state is field 3, utime field 14, stime field 15.
    awk '{ print $12 + $13 }' <<<"$stat"
}

io_field() {
    awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/io"
}

status_kb() {
    awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"
}

echo "tessiro: $bin"
echo "machine: $(nproc) cores; $(uptime | sed 's/.*load average/load average/')"
echo

# Start-up.
startups=()
startup_cpus=()
for ((run = 1; run <= STARTUP_RUNS; ++run)); do
    dir="$work/startup$run"
    make_program_dir "$dir" 1
    read -r wall cpu < <(measure_startup "$dir")
    startups+=("$wall")
    startup_cpus+=("$cpu")
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
minimum() { printf '%s\n' "$@" | sort -n | head -1; }
startup_min=$(minimum "${startups[@]}")
startup_median=$(median "${startups[@]}")
startup_cpu_median=$(median "${startup_cpus[@]}")
echo "start-up runs, launch to first tick (ms): ${startups[*]}"
echo "start-up runs, CPU used by then (ms):     ${startup_cpus[*]}"

# Idle run.
dir="$work/idle"
make_program_dir "$dir" "$INTERVAL_MS"
"$bin" --headless --dir "$dir" >"$work/idle.out" 2>&1 &
bridge_pid=$!
wait_gone "$dir/Ostro/20261208143000display.txt" || { echo "the bridge took no file" >&2; exit 1; }
if [[ -x $IDLE_FLOOR ]]; then
    "$IDLE_FLOOR" "$dir" "$INTERVAL_MS" &
    floor_pid=$!
fi
if [[ -x $IDLE_QT ]]; then
    "$IDLE_QT" "$INTERVAL_MS" &
    qt_pid=$!
fi
sleep 1

[[ -n $floor_pid ]] && floor0=$(cpu_ns "$floor_pid")
[[ -n $qt_pid ]] && qt0=$(cpu_ns "$qt_pid")
ns0=$(cpu_ns "$bridge_pid")
ticks0=$(cpu_ticks "$bridge_pid")
wb0=$(io_field "$bridge_pid" write_bytes)
wc0=$(io_field "$bridge_pid" wchar)
sw0=$(io_field "$bridge_pid" syscw)
sleep "$IDLE_SECONDS"
ns1=$(cpu_ns "$bridge_pid")
ticks1=$(cpu_ticks "$bridge_pid")
wb1=$(io_field "$bridge_pid" write_bytes)
wc1=$(io_field "$bridge_pid" wchar)
sw1=$(io_field "$bridge_pid" syscw)
if [[ -n $floor_pid ]]; then
    floor1=$(cpu_ns "$floor_pid")
    kill -TERM "$floor_pid"
    wait "$floor_pid" 2>/dev/null || true
    floor_pid=""
fi
if [[ -n $qt_pid ]]; then
    qt1=$(cpu_ns "$qt_pid")
    kill -TERM "$qt_pid"
    wait "$qt_pid" 2>/dev/null || true
    qt_pid=""
fi
hwm_kb=$(status_kb "$bridge_pid" VmHWM)
rss_kb=$(status_kb "$bridge_pid" VmRSS)

idle_ticks=$((IDLE_SECONDS * 1000 / INTERVAL_MS))
clk=$(getconf CLK_TCK)
per_tick_us=$(awk -v d=$((ns1 - ns0)) -v n="$idle_ticks" 'BEGIN { printf "%.1f", d / n / 1000 }')
per_tick_stat_us=$(awk -v d=$((ticks1 - ticks0)) -v n="$idle_ticks" -v c="$clk" \
    'BEGIN { printf "%.1f", d * 1e6 / c / n }')
cpu_ms=$(awk -v d=$((ns1 - ns0)) 'BEGIN { printf "%.1f", d / 1e6 }')
floor_line="not run (no $IDLE_FLOOR)"
if [[ -n ${floor1:-} ]]; then
    floor_us=$(awk -v d=$((floor1 - floor0)) -v n="$idle_ticks" 'BEGIN { printf "%.1f", d / n / 1000 }')
    floor_line="$floor_us µs (bridge / reference: $(awk -v a="$per_tick_us" -v b="$floor_us" 'BEGIN { printf "%.1f", a / b }'))"
fi
qt_line="not run (no $IDLE_QT)"
own_line="not known without the Qt reference"
if [[ -n ${qt1:-} ]]; then
    qt_us=$(awk -v d=$((qt1 - qt0)) -v n="$idle_ticks" 'BEGIN { printf "%.1f", d / n / 1000 }')
    qt_line="$qt_us µs"
    own_line="$(awk -v a="$per_tick_us" -v b="$qt_us" 'BEGIN { printf "%.1f", a - b }') µs"
fi

strace_line="strace not installed"
strace_summary=""
if command -v strace >/dev/null; then
    strace -f -C -e trace=write,pwrite64,rename,openat,unlink -o "$work/strace.txt" -p "$bridge_pid" 2>/dev/null &
    strace_pid=$!
    sleep "$STRACE_SECONDS"
    kill -INT "$strace_pid" 2>/dev/null || true
    wait "$strace_pid" 2>/dev/null || true
    if [[ -s $work/strace.txt ]]; then
        traced_ticks=$((STRACE_SECONDS * 1000 / INTERVAL_MS))
        calls_of() { grep -cE "^([0-9]+ +)?$1\(" "$work/strace.txt" || true; }
        opens=$(calls_of openat)
        opens_w=$(grep -E "^([0-9]+ +)?openat\(" "$work/strace.txt" | grep -cE "O_WRONLY|O_RDWR|O_CREAT|O_TRUNC" || true)
        writes=$(calls_of write)
        pwrites=$(calls_of pwrite64)
        renames=$(calls_of rename)
        unlinks=$(calls_of unlink)
        strace_line="in ${STRACE_SECONDS} s (${traced_ticks} ticks): write $writes, pwrite64 $pwrites, rename $renames, unlink $unlinks, openat $opens (for writing: $opens_w)"
        strace_summary=$(sed -n '/% time/,$p' "$work/strace.txt")
    else
        strace_line="strace could not attach"
    fi
fi

kill -TERM "$bridge_pid"
wait "$bridge_pid" && status=0 || status=$?
bridge_pid=""

echo
echo "| Measure | Result | Target |"
echo "|---|---|---|"
echo "| Start-up, launch to first tick (intervalTimer=1), min / median of $STARTUP_RUNS | $startup_min / $startup_median ms | < 150 ms |"
echo "| Start-up, CPU used by the bridge until its first tick, median | $startup_cpu_median ms | |"
echo "| Peak RSS (VmHWM), idle run / RSS at the end | $((hwm_kb / 1024)).$(((hwm_kb % 1024) * 10 / 1024)) MB / $((rss_kb / 1024)).$(((rss_kb % 1024) * 10 / 1024)) MB | < 20 MB |"
echo "| CPU over ${IDLE_SECONDS} s idle (${idle_ticks} ticks of ${INTERVAL_MS} ms), schedstat | $cpu_ms ms | |"
echo "| CPU per idle tick, schedstat / utime+stime | $per_tick_us / $per_tick_stat_us µs | < 100 µs |"
echo "| CPU per wake-up of the plain POSIX reference, same period | $floor_line | |"
echo "| CPU per tick of an empty Qt timer, same period | $qt_line | |"
echo "| The bridge's own work per idle tick (bridge less empty Qt timer) | $own_line | |"
echo "| Bytes sent to storage while idle (write_bytes) | $((wb1 - wb0)) | 0 per tick |"
echo "| Bytes handed to write calls while idle (wchar), write calls (syscw) | $((wc1 - wc0)), $((sw1 - sw0)) | |"
echo "| Write-like system calls while idle (strace) | $strace_line | |"
echo "| Exit on SIGTERM | status $status | 0 |"
if [[ -n $strace_summary ]]; then
    echo
    echo "strace -f -c summary of the traced idle period:"
    echo "$strace_summary"
fi
