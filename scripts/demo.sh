#!/usr/bin/env bash
# The demo: Tavoro.exe doing its whole job under Wine, between a stand-in for the Skype
# client's automation library and a stand-in for X-Lite, both directions of a call:
#   (a) the Skype user "alice" calls, is answered, keys 0312345678# on the dial pad, X-Lite
#       dials it; alice hangs up and X-Lite is hung up;
#   (b) the home line rings (X-Lite rings on the capture device Tavoro listens to), Tavoro
#       calls the Skype user "home.user", who answers; Tavoro takes the call on X-Lite; when
#       home.user hangs up, X-Lite is hung up.
# It installs what is missing (scripts/bootstrap.sh), builds the win32 programs, prepares a
# contained Wine (scripts/wine-env.sh) with a virtual desktop, plays the calls with pauses a
# person can follow, prints a timeline of what Skype, Tavoro and X-Lite each saw, writes
# screenshots of the two windows at the key moments, and ends with a verdict line.
#
# With --sip the remote side is a SIP account instead, and its far end a real SIP program on
# 127.0.0.1 (scripts/wine-env.sh, wine_sip_peer_ready): Debian's baresip as peer@127.0.0.1 and
# Kamailio as the account's service (sim/sip/kamailio.cfg), registrar and proxy with digest
# authentication. Tavoro registers gw@127.0.0.1 there, then
#   (a) the peer calls gw at the service, which hands the call to Tavoro; it is answered, keys
#       the PIN 2468 and "#", then 0312345678#, X-Lite dials it; the peer hangs up and
#       X-Lite is hung up;
#   (b) the home line rings, Tavoro calls the peer, who answers; Tavoro takes the call on
#       X-Lite; when the peer hangs up, X-Lite is hung up.
# The main window as it looks in SIP mode also goes to build/screenshots/sip-main-window.png.
# The service's log goes to kamailio.log in the output folder: its challenges (401, 407) and
# the requests it then let through.
# It uses fixed ports of 127.0.0.1 (the peer 5080 and 5081, its console 5555, SIPp 5090, the
# service 5095, Tavoro 5070), which nothing else may hold meanwhile. They all stop at the end.
#
# Usage: scripts/demo.sh [--sip] [--xvfb] [--out DIR] [--build DIR] [--pace MS]
#   --sip         a SIP account as the remote side (default: the Skype stand-in)
#   --xvfb        play on a private Xvfb even when $DISPLAY is set (by default the windows
#                 show on $DISPLAY, so you can watch)
#   --out DIR     screenshots (PNG), timeline.txt and the program's folder (default build/demo,
#                 or build/demo-sip with --sip)
#   --build DIR   the Windows build folder (default build/win32, or build/win64 on a machine
#                 that cannot run 32-bit programs)
#   --pace MS     the pause between steps (default 1500)
#
# Exits 0 when both directions worked.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "${here}/.." && pwd)"
out=""
build=""
pace=1500
use_xvfb=0
use_sip=0

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
while (($#)); do
  case "$1" in
    --sip) use_sip=1; shift ;;
    --xvfb) use_xvfb=1; shift ;;
    --out) out="${2:?}"; shift 2 ;;
    --build) build="${2:?}"; shift 2 ;;
    --pace) pace="${2:?}"; shift 2 ;;
    -h | --help) usage 0 ;;
    *) echo "demo: unknown argument $1" >&2; usage >&2 ;;
  esac
done
if [[ ! "${pace}" =~ ^[0-9]+$ ]] || ((pace == 0)); then
  echo "demo: --pace takes milliseconds" >&2
  exit 2
fi
if [[ -z "${out}" ]]; then
  out="${repo}/build/demo"
  ((use_sip)) && out="${repo}/build/demo-sip"
fi

started="${EPOCHREALTIME}"
user_home="${HOME}"
since() { awk -v a="$1" -v b="${EPOCHREALTIME}" 'BEGIN { printf "%.1f", b - a }'; }

echo "== demo: packages"
"${here}/bootstrap.sh"

# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"
preset=win32
if [[ -z "${build}" ]]; then
  # The release is i686; where this machine cannot run 32-bit programs, the x86_64 build of
  # the same sources plays instead.
  wine_runs_32bit || preset=win64
  build="${repo}/build/${preset}"
else
  # The player runs from Wine's run folder, so the build is named from the root.
  build="$(realpath -m "${build}")"
  [[ "$(basename "${build}")" == win64 ]] && preset=win64
fi
echo "== demo: building the ${preset} programs in ${build}"
phase="${EPOCHREALTIME}"
if [[ ! -f "${build}/CMakeCache.txt" ]]; then
  (cd "${repo}" && cmake --preset "${preset}" -B "${build}" >/dev/null)
fi
cmake --build "${build}" --target Tavoro sim_skype4com sim_skypectl sim_xlite demo_driver \
  -j "${TAVORO_JOBS:-2}"
echo "demo: built in $(since "${phase}") s"

# Wine's home moves into the run folder; the user's display must still let it in.
if ((!use_xvfb)) && [[ -n "${DISPLAY:-}" ]]; then
  export TAVORO_WINE_DISPLAY="${DISPLAY}"
  export XAUTHORITY="${XAUTHORITY:-${user_home}/.Xauthority}"
fi

echo "== demo: preparing Wine"
phase="${EPOCHREALTIME}"
wine_env_up
if [[ "${TAVORO_SOUND_SERVER}" != pulseaudio ]]; then
  echo "demo: FAILED: no sound server, so Tavoro could not hear the home line ring" >&2
  exit 1
fi
# Every window of the run inside one virtual desktop: frames and titles show, and one
# screen holds the whole play.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d TavoroDemo /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v TavoroDemo /d 1024x768 /f >/dev/null
driver_args=(--pace "${pace}")
if ((use_sip)); then
  wine_sip_peer_ready
  if [[ -z "${TAVORO_SIP_PEER_CONSOLE:-}" || -z "${TAVORO_SIP_PROXY:-}" ]]; then
    echo "demo: FAILED: the SIP peer (baresip) or the service (kamailio) did not start; are" \
      "they installed (scripts/bootstrap.sh), or ports 5080, 5555 or 5095 taken?" >&2
    exit 1
  fi
  driver_args+=(--sip)
fi
echo "demo: Wine ready on display ${DISPLAY} in $(since "${phase}") s"

rm -rf "${out}"
mkdir -p "${out}"
out="$(cd "${out}" && pwd)"

echo "== demo: playing (pace ${pace} ms)"
phase="${EPOCHREALTIME}"
rc=0
# The softphone stand-in's commands print the state they leave it in; the play says more.
(cd "${WINE_ENV_RUN}" &&
  TAVORO_E2E_BIN="$(wine_windows_path "${build}/src/main")" \
    TAVORO_E2E_SIM="$(wine_windows_path "${build}/sim")" \
    timeout -k 10 300 wine "${build}/tools/demo_driver.exe" "$(wine_windows_path "${out}")" \
    "${driver_args[@]}") </dev/null | tr -d '\r' | grep -Ev '^(idle|ringing|in call)$' |
  tee "${out}/demo.log" || rc=$?
echo "demo: played in $(since "${phase}") s"

if [[ -n "${TAVORO_SIP_PROXY_LOG:-}" ]]; then
  cp "${TAVORO_SIP_PROXY_LOG}" "${out}/kamailio.log"
  echo "demo: the service challenged $(grep -c ' challenged ' "${out}/kamailio.log") requests" \
    "and let $(grep -c ' authenticated as ' "${out}/kamailio.log") authenticated ones through"
fi
for shot in "${out}"/*.bmp; do
  [[ -e "${shot}" ]] || continue
  convert "${shot}" "${shot%.bmp}.png" && rm "${shot}"
done
for shot in "${out}"/*-sip-main-window.png; do
  [[ -e "${shot}" ]] || continue
  mkdir -p "${repo}/build/screenshots"
  cp "${shot}" "${repo}/build/screenshots/sip-main-window.png"
  echo "demo: the main window in SIP mode: build/screenshots/sip-main-window.png"
done
echo
echo "demo: screenshots and timeline in ${out}:"
for file in "${out}"/*.png "${out}/timeline.txt" "${out}/kamailio.log"; do
  if [[ -e "${file}" ]]; then echo "  ${file##*/}"; fi
done
echo "demo: $(since "${started}") s in all"
if ! grep -q '^demo: ' "${out}/demo.log"; then
  echo "demo: FAILED: the player ended without a verdict (exit code ${rc})"
  exit 1
fi
grep '^demo: ' "${out}/demo.log"
((rc == 0))
