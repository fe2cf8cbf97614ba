#!/usr/bin/env bash
# Benchmarks of the real Tavoro.exe under a contained Wine (scripts/wine-env.sh), with the
# stand-ins of sim/: how long a keypad code takes to reach X-Lite beyond the pauses the relay
# must make, how long a ring takes to become a Skype call, the CPU share while listening, and
# the memory Windows reports. Then the same with a SIP account, against Debian's baresip and
# Kamailio as the account's service on 127.0.0.1 (wine_sip_peer_ready; fixed ports 5080, 5081,
# 5555, 5090, 5095 and 5070), which adds the 45 s the gateway waits for an answer that never comes. Figures only;
# nothing is judged.
#
# Usage: scripts/bench-wine.sh [BUILD_DIR...] [-- BENCH_ARGS...]
#   BUILD_DIR    a Windows build with calls_bench (default: build/win32)
#   BENCH_ARGS   passed on, e.g. -- --keys 40 --rings 10 --idle 30; --no-sip leaves SIP out
#
# Build first, e.g.
#   cmake --preset win32 && cmake --build build/win32 --target calls_bench
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
builds=()
bench_args=()
while (($#)); do
  case "$1" in
    -h | --help) usage 0 ;;
    --) shift; bench_args=("$@"); break ;;
    -*) echo "bench-wine: unknown option $1" >&2; usage >&2 ;;
    *) builds+=("$1"); shift ;;
  esac
done
if ((${#builds[@]} == 0)); then
  # The x86_64 build where this machine cannot run 32-bit programs.
  if wine_runs_32bit; then builds=("${here}/../build/win32"); else builds=("${here}/../build/win64"); fi
fi

for i in "${!builds[@]}"; do
  builds[i]="$(realpath -e "${builds[i]}")" || { echo "bench-wine: no such folder" >&2; exit 2; }
  if [[ ! -f "${builds[i]}/bench/wine/calls_bench.exe" ]]; then
    echo "bench-wine: ${builds[i]}/bench/wine/calls_bench.exe is not built" \
      "(cmake --build ${builds[i]} --target calls_bench)" >&2
    exit 2
  fi
done

wine_env_up
if [[ "${TAVORO_SOUND_SERVER}" != pulseaudio ]]; then
  echo "bench-wine: no sound server, so no ring can be heard (TAVORO_SOUND_SERVER=${TAVORO_SOUND_SERVER})" >&2
  exit 1
fi
# Stopped with the rest at the end.
[[ " ${bench_args[*]} " == *" --no-sip "* ]] || wine_sip_peer_ready

# The Linux process of this run's Tavoro.exe: the one started in this prefix.
tavoro_pid() {
  local pid
  for pid in $(pgrep -f 'Tavoro\.exe' || true); do
    if tr '\0' '\n' 2>/dev/null <"/proc/${pid}/environ" | grep -qx "WINEPREFIX=${WINEPREFIX}"; then
      echo "${pid}"
      return 0
    fi
  done
  return 1
}

# utime + stime of a process and all its threads, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Passes the bench's lines on and, over the span it announces as idle, also measures the
# whole Linux process: Windows reports only the program's own threads, while the process
# also runs Wine's (the sound server's client among them).
watch_idle_span() {
  local line pid="" ticks=0 since=""
  while IFS= read -r line; do
    line="${line%$'\r'}"
    case "${line}" in
      # The softphone stand-in's commands print the state they leave it in; not figures.
      idle | ringing | "in call") continue ;;
      "listening idle for "*)
        if pid="$(tavoro_pid)"; then
          ticks="$(cpu_ticks "${pid}")"
          since="${EPOCHREALTIME}"
        fi
        continue
        ;;
      "CPU while listening"*)
        echo "${line}"
        if [[ -n "${since}" ]] && [[ -r "/proc/${pid}/stat" ]]; then
          awk -v t="$(($(cpu_ticks "${pid}") - ticks))" -v hz="$(getconf CLK_TCK)" \
            -v a="${since}" -v b="${EPOCHREALTIME}" 'BEGIN {
              printf "%-44s %.2f %% of one CPU over %.1f s (%.0f ms of CPU)\n",
                "  the same, whole Linux process", 100 * t / hz / (b - a), b - a, 1000 * t / hz }'
        fi
        continue
        ;;
    esac
    echo "${line}"
  done
}

status=0
for build in "${builds[@]}"; do
  echo "=== $(basename "${build}"): ${build}"
  (cd "${WINE_ENV_RUN}" &&
    TAVORO_E2E_BIN="$(wine_windows_path "${build}/src/main")" \
      TAVORO_E2E_SIM="$(wine_windows_path "${build}/sim")" \
      timeout -k 10 600 wine "${build}/bench/wine/calls_bench.exe" "${bench_args[@]}") </dev/null |
    watch_idle_span || status=1
done
exit "${status}"
