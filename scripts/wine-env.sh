# shellcheck shell=bash
# A contained Wine for running the project's Windows programs on Linux. Source it, then:
#
#   wine_env_init [DIR]       exports HOME, XDG_*, WINE* for a fresh run folder under DIR
#                             (default $TAVORO_WINE_DIR, else build/wine in the repository)
#   trap wine_env_cleanup EXIT
#   wine_prefix_ready         copies the cached template prefix (building it on first use)
#   wine_display_ready        starts a private Xvfb with the keyboard map $TAVORO_WINE_KEYMAP
#                             (default jp), or uses $TAVORO_WINE_DISPLAY if set
#   wine_keymap_set NAME      gives the private Xvfb another keyboard map (jp, us, ...)
#   wine_sound_ready          starts a private PulseAudio whose null sink is the default output
#                             and whose monitor Wine captures from (see below)
#   wine_sip_peer_ready       starts Debian's native baresip on 127.0.0.1 as a SIP peer for the
#                             SIP client's tests: SIP on 5080, its console on UDP 5555
#                             (TAVORO_SIP_PEER_CONSOLE), its log (TAVORO_SIP_PEER_LOG, a
#                             Windows path), SIPp as a registrar with digest authentication on
#                             5090 (TAVORO_SIP_REGISTRAR) and as someone the gateway calls on
#                             5094 (TAVORO_SIP_CALLEE), and Kamailio as the account's service,
#                             registrar and proxy on 5095 (sim/sip/kamailio.cfg,
#                             TAVORO_SIP_PROXY, its log TAVORO_SIP_PROXY_LOG, a Linux path);
#                             each only where it is installed
#   wine_set_windows_version  NAME.exe winxp|vista|win7|win8|win10   (what GetVersionEx says)
#   wine_clear_windows_version NAME.exe
#   wine_env_cleanup          ends what this run started and removes its folder
#   wine_env_up [DIR]         all of the above for a whole run: the traps (cleanup on exit,
#                             the exit codes of an interrupt), the run folder, the prefix, the
#                             display and the sound server
#
# Programs then see T:\ as the root of $TAVORO_TEST_ROOT_DIR (exported, with
# TAVORO_TEST_ROOT_DRIVE=T:), for tests that need a program at a drive root: Z:\ is the Linux
# root and must never be written to.
#
# After wine_sound_ready, TAVORO_SOUND_SERVER says what programs can capture from: "pulseaudio"
# (started; TAVORO_SOUND_MONITOR is then the monitor's full device name), "none" (no
# pulseaudio installed) or "failed" (it would not start; the harness shows its log).
#
# Web addresses never reach a browser of the Linux host: the shell's "open" of an http(s)
# address runs Wine's winebrowser, which the prefix tells to start only "tavoro-web-open", a
# stand-in in the run folder's bin/ (first on PATH). It appends each address it is given, one
# line each, to the file TAVORO_WEB_OPEN_LOG names (exported as a Windows path on Z:, for the
# programs under test to read). Outside a run the stand-in is not on PATH, and nothing opens.
#
# Some machines (virtual machines without the kernel's 32-bit support) cannot start a 32-bit
# Linux program, and so not Wine's 32-bit loader, which Debian's `wine` starts first. There
# wine_env_init puts `wine` and `wine-stable` shims first on PATH that start the 64-bit loader:
# 64-bit programs run as anywhere, 32-bit ones cannot start. wine_runs_32bit tells which
# machine this is; TAVORO_WINE_32BIT (1 or 0) says it to the programs of a run.
#
# Keyboard: Wine's X11 driver builds the Windows keyboard layout (what VkKeyScanEx says, which
# character a key makes) from the X server's keyboard map, not from the Windows locale. Xvfb's
# own map is US; a Japanese user's PC has the Japanese 106 layout, so the private Xvfb gets the
# "jp" map (setxkbmap) unless TAVORO_WINE_KEYMAP names another. TAVORO_KEYMAP (exported) is the
# map the display has, for tests that expect one layout's keys; it is empty on a display the
# harness did not start, whose map it neither knows nor changes.
#
# TAVORO_WINE_LOCALE: the Linux locale Wine takes its Windows locale from (default
# ja_JP.UTF-8, code page 932, as on the Japanese Windows the program is made for).
# TAVORO_WINE_KEEP=1 keeps the run folder (prefix, home, logs) for a look afterwards; to start
# Wine in it by hand, export the same HOME, WINEPREFIX, TMPDIR and LC_CTYPE (a running
# wineserver is found through $TMPDIR).

_wine_env_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
_wine_env_self="${_wine_env_repo}/scripts/wine-env.sh"

wine_env_log() { echo "wine-env: $*" >&2; }

_wine_env_loader32=/usr/lib/wine/wine
_wine_env_loader64=/usr/lib/wine/wine64

# True when Wine's 32-bit loader starts on this machine (the kernel runs i386 programs).
wine_runs_32bit() { "${_wine_env_loader32}" --version >/dev/null 2>&1; }

wine_env_init() {
  local root="${1:-${TAVORO_WINE_DIR:-${_wine_env_repo}/build/wine}}"
  mkdir -p "${root}"
  WINE_ENV_ROOT="$(cd "${root}" && pwd)"
  WINE_ENV_RUN="$(mktemp -d "${WINE_ENV_ROOT}/run.XXXXXX")"
  WINE_ENV_XVFB_PID=""
  WINE_ENV_PULSE_PID=""
  WINE_ENV_PACAT_PID=""
  WINE_ENV_PEER_PID=""
  WINE_ENV_REGISTRAR_PID=""
  WINE_ENV_CALLEE_PID=""
  WINE_ENV_PROXY_PID=""
  WINE_ENV_PREFIX_MADE=0

  # Wine writes into $HOME (a missing WINEPREFIX means a 1.3 GB ~/.wine, and desktop shortcuts
  # follow $HOME), so everything points into the run folder before any Wine process starts.
  export HOME="${WINE_ENV_RUN}/home"
  export XDG_CONFIG_HOME="${HOME}/.config" XDG_DATA_HOME="${HOME}/.local/share"
  export XDG_CACHE_HOME="${HOME}/.cache"
  export WINEPREFIX="${WINE_ENV_RUN}/prefix" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
  # No .NET or HTML engine install prompts, and no menu entries or file associations written
  # into the sandboxed home.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Debian's wineserver keeps its socket in a new $TMPDIR/wine-XXXXXX folder that outlives it;
  # inside the run folder, it goes away with the run and never touches another run's.
  export TMPDIR="${WINE_ENV_RUN}/tmp"
  export TAVORO_TEST_ROOT_DRIVE="T:" TAVORO_TEST_ROOT_DIR="${WINE_ENV_RUN}/drive-t"
  # The program is made for Japanese Windows: the ANSI code page (932) and the user locale
  # come from LC_CTYPE, which Wine only honours when the Linux locale exists. Messages of the
  # Linux tools stay as they were.
  local locale="${TAVORO_WINE_LOCALE:-ja_JP.UTF-8}"
  if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
    wine_env_log "the ${locale} locale is missing (scripts/bootstrap.sh generates it);" \
      "Wine would fall back to code page 1252"
    return 1
  fi
  unset LC_ALL
  export LC_CTYPE="${locale}"
  mkdir -p "${HOME}" "${XDG_CONFIG_HOME}" "${XDG_DATA_HOME}" "${XDG_CACHE_HOME}" "${TMPDIR}" \
    "${TAVORO_TEST_ROOT_DIR}" "${WINE_ENV_RUN}/bin"
  # The browser winebrowser starts (see the template's WineBrowser key): it only takes notes.
  local opened="${WINE_ENV_RUN}/web-opened.log"
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "${opened}" >"${WINE_ENV_RUN}/bin/tavoro-web-open"
  chmod +x "${WINE_ENV_RUN}/bin/tavoro-web-open"
  if wine_runs_32bit; then
    export TAVORO_WINE_32BIT=1
  else
    export TAVORO_WINE_32BIT=0 WINELOADER="${_wine_env_loader64}"
    local shim
    for shim in wine wine-stable; do
      printf '#!/bin/sh\nexec "%s" "$@"\n' "${_wine_env_loader64}" >"${WINE_ENV_RUN}/bin/${shim}"
      chmod +x "${WINE_ENV_RUN}/bin/${shim}"
    done
  fi
  export PATH="${WINE_ENV_RUN}/bin:${PATH}"
  TAVORO_WEB_OPEN_LOG="$(wine_windows_path "${opened}")"
  export TAVORO_WEB_OPEN_LOG
}

# The template depends on the Wine build and on how this file prepares it.
_wine_template_key() {
  {
    wine --version
    echo "${LC_CTYPE} 32-bit:${TAVORO_WINE_32BIT}"
    dpkg-query -W -f='${Package}:${Architecture}=${Version}\n' wine64 wine32:i386 2>/dev/null || true
    cat "${_wine_env_self}"
  } | sha256sum | cut -c1-16
}

_wine_template_build() {
  local out="$1" started="${EPOCHREALTIME}"
  (
    set -euo pipefail
    export HOME="${out}/home"
    export XDG_CONFIG_HOME="${HOME}/.config" XDG_DATA_HOME="${HOME}/.local/share"
    export XDG_CACHE_HOME="${HOME}/.cache" WINEPREFIX="${out}/prefix" TMPDIR="${out}/tmp"
    mkdir -p "${HOME}" "${TMPDIR}"
    unset DISPLAY
    # An interrupted or failed build must not leave the template's server behind.
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    wineboot -i >"${out}/wineboot.log" 2>&1
    # A Wine that could not start at all may still exit 0.
    [[ -f "${WINEPREFIX}/drive_c/windows/system32/kernel32.dll" ]] || {
      tail -n 5 "${out}/wineboot.log" >&2
      exit 1
    }

    # A CJK font alone leaves the default GUI font and message boxes as boxes: Wine has to be
    # told to substitute the Japanese Windows fonts. A crash must end the program, not wait
    # for someone to close winedbg's dialog. With no window manager on the display, Wine's
    # managed windows make each message box wait about 2 s to close; unmanaged ones close at once.
    # A web address opened by a program goes to the run's stand-in, never to a real browser.
    cat >"${out}/setup.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"Meiryo"="IPAPGothic"
"Meiryo UI"="IPAPGothic"
"Yu Gothic UI"="IPAPGothic"
"MS Gothic"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineBrowser]
"Browsers"="tavoro-web-open"
EOF
    wine regedit /S "Z:${out//\//\\}\\setup.reg" >>"${out}/wineboot.log" 2>&1
    wineserver -w

    # Desktop, Documents and the other user folders link into $HOME; as real folders a
    # shortcut a test creates stays inside the prefix.
    local link
    for link in "${WINEPREFIX}"/drive_c/users/*/*; do
      if [[ -L "${link}" ]]; then
        rm "${link}"
        mkdir "${link}"
      fi
    done
    # The prefix records its server's folder name; each copy is to pick its own.
    rm -f "${WINEPREFIX}/wineserver"
    rm -rf "${HOME}" "${TMPDIR}"
  ) || return 1
  wine_env_log "prepared the template prefix in" \
    "$(awk -v a="${started}" -v b="${EPOCHREALTIME}" 'BEGIN { printf "%.1f", b - a }') s"
}

wine_prefix_ready() {
  local key template lock
  key="$(_wine_template_key)"
  template="${WINE_ENV_ROOT}/template-${key}"
  lock="${WINE_ENV_ROOT}/template.lock"
  (
    # Two harness runs started together build the template once.
    flock 9
    if [[ ! -d "${template}" ]]; then
      local stale
      for stale in "${WINE_ENV_ROOT}"/template-*; do
        [[ -e "${stale}" && "${stale}" != "${template}" ]] && rm -rf "${stale}"
      done
      local tmp="${template}.partial"
      rm -rf "${tmp}"
      mkdir -p "${tmp}"
      _wine_template_build "${tmp}" || { rm -rf "${tmp}"; exit 1; }
      mv "${tmp}" "${template}"
    fi
  ) 9>"${lock}" || { wine_env_log "could not prepare the template prefix"; return 1; }

  cp -a "${template}/prefix" "${WINEPREFIX}"
  WINE_ENV_PREFIX_MADE=1
  ln -s "${TAVORO_TEST_ROOT_DIR}" "${WINEPREFIX}/dosdevices/t:"
}

wine_display_ready() {
  if [[ -n "${TAVORO_WINE_DISPLAY:-}" ]]; then
    export DISPLAY="${TAVORO_WINE_DISPLAY}" TAVORO_KEYMAP=""
    return 0
  fi
  # -displayfd makes Xvfb pick a free display itself and write its number once it accepts
  # connections, so there is neither a guessed number nor a guessed delay. Without -noreset it
  # would go back to its own keyboard map whenever its last client left, between two programs.
  local fifo="${WINE_ENV_RUN}/xvfb.fifo" display=""
  mkfifo "${fifo}"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"${fifo}" \
    >"${WINE_ENV_RUN}/xvfb.log" 2>&1 </dev/null &
  WINE_ENV_XVFB_PID=$!
  if ! read -r -t 30 display <"${fifo}" || [[ ! "${display}" =~ ^[0-9]+$ ]]; then
    wine_env_log "Xvfb did not start:"
    cat "${WINE_ENV_RUN}/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":${display}"
  wine_keymap_set "${TAVORO_WINE_KEYMAP:-jp}"
}

# Wine programs started afterwards take their keyboard layout from the new map.
wine_keymap_set() {
  local keymap="$1"
  if [[ -z "${WINE_ENV_XVFB_PID}" ]]; then
    wine_env_log "the keyboard map of ${DISPLAY}, a display the harness did not start, stays"
    return 1
  fi
  if ! command -v setxkbmap >/dev/null; then
    wine_env_log "no setxkbmap (scripts/bootstrap.sh installs x11-xkb-utils)"
    return 1
  fi
  if ! setxkbmap -display "${DISPLAY}" "${keymap}" ||
    ! setxkbmap -display "${DISPLAY}" -query | grep -Eq "^layout: +${keymap}\$"; then
    wine_env_log "could not give ${DISPLAY} the ${keymap} keyboard map"
    return 1
  fi
  export TAVORO_KEYMAP="${keymap}"
}

wine_sound_ready() {
  if ! command -v pulseaudio >/dev/null || ! command -v pacat >/dev/null; then
    wine_env_log "no pulseaudio: Wine will have no capture device"
    export TAVORO_SOUND_SERVER=none
    return 0
  fi
  local dir="${WINE_ENV_RUN}/pulse" description="Tavoro telephone line loopback" waited=0
  mkdir -p "${dir}/runtime"
  chmod 700 "${dir}" "${dir}/runtime"
  # Wine's sound driver and the players find the server through these; XDG_RUNTIME_DIR keeps
  # its pid file and sockets out of any other server's way.
  export XDG_RUNTIME_DIR="${dir}/runtime" PULSE_RUNTIME_PATH="${dir}/runtime/pulse"
  export PULSE_SERVER="unix:${dir}/native" PULSE_CLIENTCONFIG="${dir}/client.conf"
  # Should the server die, no client may start the user's default one in its place.
  echo "autospawn = no" >"${PULSE_CLIENTCONFIG}"
  # The monitor's name ("Monitor of " and the description) is longer than the 31 bytes
  # waveInGetDevCapsA can report, as many real device names are.
  cat >"${dir}/server.pa" <<PA
load-module module-native-protocol-unix socket=${dir}/native auth-anonymous=1
load-module module-null-sink sink_name=tavoro_line rate=44100 channels=2 sink_properties="device.description='${description}'"
set-default-sink tavoro_line
set-default-source tavoro_line.monitor
PA
  pulseaudio -n --daemonize=no --exit-idle-time=-1 -F "${dir}/server.pa" \
    >"${dir}/pulseaudio.log" 2>&1 </dev/null &
  WINE_ENV_PULSE_PID=$!
  until pactl info >/dev/null 2>&1; do
    if ! kill -0 "${WINE_ENV_PULSE_PID}" 2>/dev/null || ((waited >= 200)); then
      wine_env_log "pulseaudio did not start (log: ${dir}/pulseaudio.log):"
      tail -n 20 "${dir}/pulseaudio.log" >&2
      export TAVORO_SOUND_SERVER=failed
      return 0
    fi
    sleep 0.05
    waited=$((waited + 1))
  done
  # Something always playing keeps the sink running, so capture delivers data at once
  # instead of 1.3 to 2 s after waveInStart.
  pacat --playback --latency-msec=10 </dev/zero >/dev/null 2>&1 &
  WINE_ENV_PACAT_PID=$!
  export TAVORO_SOUND_SERVER=pulseaudio TAVORO_SOUND_MONITOR="Monitor of ${description}"
}

wine_sip_peer_ready() {
  command -v baresip >/dev/null || { wine_env_log "no baresip: the SIP peer tests skip"; return 0; }
  local dir="${WINE_ENV_RUN}/sip-peer" waited=0
  mkdir -p "${dir}"
  # It plays a tone, since it sends keypad codes only while its audio flows, and it takes the
  # gateway's sound without a device.
  cat >"${dir}/config" <<CONF
sip_listen 127.0.0.1:5080
net_interface 127.0.0.1
module_path /usr/lib/baresip/modules
module g711.so
module aubridge.so
module ausine.so
module cons.so
module_app account.so
module_app menu.so
cons_listen 127.0.0.1:5555
audio_source ausine,440
audio_player aubridge,x
ausrc_srate 48000
ausrc_channels 2
CONF
  echo "<sip:peer@127.0.0.1:5080>;regint=0" >"${dir}/accounts"
  baresip -f "${dir}" >"${dir}/baresip.log" 2>&1 </dev/null &
  WINE_ENV_PEER_PID=$!
  until grep -q "baresip is ready" "${dir}/baresip.log" 2>/dev/null; do
    if ! kill -0 "${WINE_ENV_PEER_PID}" 2>/dev/null || ((waited >= 200)); then
      wine_env_log "the SIP peer did not start (log: ${dir}/baresip.log):"
      tail -n 20 "${dir}/baresip.log" >&2
      return 0
    fi
    sleep 0.05
    waited=$((waited + 1))
  done
  export TAVORO_SIP_PEER_CONSOLE=127.0.0.1:5555
  # What happened to it, for checks that read it back through Wine's Z: drive.
  TAVORO_SIP_PEER_LOG="$(wine_windows_path "${dir}/baresip.log")"
  export TAVORO_SIP_PEER_LOG
  # A registrar with digest authentication: SIPp playing sim/sip/registrar.xml.
  if command -v sipp >/dev/null; then
    (cd "${dir}" && exec sipp -sf "${_wine_env_repo}/sim/sip/registrar.xml" -i 127.0.0.1 \
      -p 5090 -nostdin >"${dir}/sipp.log" 2>&1 </dev/null) &
    WINE_ENV_REGISTRAR_PID=$!
    export TAVORO_SIP_REGISTRAR=127.0.0.1:5090
    # Someone the gateway calls, answering by the number called: SIPp playing
    # sim/sip/callee.xml.
    (cd "${dir}" && exec sipp -sf "${_wine_env_repo}/sim/sip/callee.xml" -i 127.0.0.1 \
      -p 5094 -mp 6094 -nostdin >"${dir}/callee.log" 2>&1 </dev/null) &
    WINE_ENV_CALLEE_PID=$!
    export TAVORO_SIP_CALLEE=127.0.0.1:5094
  else
    wine_env_log "no sipp: the registrar tests skip"
  fi
  _wine_sip_service_ready "${dir}"
}

# Kamailio as a provider's server: registrar and stateful proxy for the account gw, which it
# authenticates by digest, in front of the peer. In the foreground, so ending it ends its
# children; its log (stderr) is how the run tells it listens.
_wine_sip_service_ready() {
  command -v kamailio >/dev/null || { wine_env_log "no kamailio: the SIP demo skips"; return 0; }
  local dir="$1/kamailio" waited=0
  mkdir -p "${dir}"
  kamailio -DD -E -f "${_wine_env_repo}/sim/sip/kamailio.cfg" -w "${dir}" -Y "${dir}" \
    >"${dir}/kamailio.log" 2>&1 </dev/null &
  WINE_ENV_PROXY_PID=$!
  # The line that follows binding its socket: from then on requests wait in the socket.
  until grep -q "SO_RCVBUF is finally" "${dir}/kamailio.log" 2>/dev/null; do
    if ! kill -0 "${WINE_ENV_PROXY_PID}" 2>/dev/null || ((waited >= 200)); then
      wine_env_log "kamailio did not start (log: ${dir}/kamailio.log):"
      tail -n 20 "${dir}/kamailio.log" >&2
      return 0
    fi
    sleep 0.05
    waited=$((waited + 1))
  done
  export TAVORO_SIP_PROXY=127.0.0.1:5095 TAVORO_SIP_PROXY_LOG="${dir}/kamailio.log"
}

wine_set_windows_version() {
  # HKCU\Software is shared by the 32- and 64-bit views, so one value serves both builds.
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f >/dev/null
}

wine_clear_windows_version() {
  wine reg delete "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /f >/dev/null 2>&1 || true
}

wine_env_cleanup() {
  [[ -n "${WINE_ENV_RUN:-}" ]] || return 0
  if ((WINE_ENV_PREFIX_MADE)) && [[ -d "${WINEPREFIX}" ]]; then
    # Kills every process of this prefix (a timed-out test, a dialog left open) and its
    # server, and nothing that belongs to another prefix.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  # After Wine, whose sound driver is a client of the server.
  local pid
  for pid in "${WINE_ENV_PROXY_PID}" "${WINE_ENV_CALLEE_PID}" "${WINE_ENV_REGISTRAR_PID}" \
    "${WINE_ENV_PEER_PID}" \
    "${WINE_ENV_PACAT_PID}" "${WINE_ENV_PULSE_PID}"; do
    [[ -n "${pid}" ]] || continue
    kill "${pid}" 2>/dev/null || true
    wait "${pid}" 2>/dev/null || true
  done
  WINE_ENV_CALLEE_PID="" WINE_ENV_REGISTRAR_PID="" WINE_ENV_PEER_PID=""
  WINE_ENV_PACAT_PID="" WINE_ENV_PULSE_PID="" WINE_ENV_PROXY_PID=""
  if [[ -n "${WINE_ENV_XVFB_PID}" ]]; then
    kill "${WINE_ENV_XVFB_PID}" 2>/dev/null || true
    wait "${WINE_ENV_XVFB_PID}" 2>/dev/null || true
    WINE_ENV_XVFB_PID=""
  fi
  if [[ "${TAVORO_WINE_KEEP:-0}" == 1 ]]; then
    wine_env_log "kept ${WINE_ENV_RUN}"
  else
    rm -rf "${WINE_ENV_RUN}"
  fi
  WINE_ENV_RUN=""
}

# Seconds since EPOCHREALTIME was $1, to a tenth.
wine_since() { awk -v a="$1" -v b="${EPOCHREALTIME}" 'BEGIN { printf "%.1f", b - a }'; }

# Windows programs get Linux paths as paths on Z:.
wine_windows_path() { local p; p="$(realpath -m "$1")"; echo "Z:${p//\//\\}"; }

# wine_run_gtest LABEL XML LOG LIMIT DIR EXE [ARGS...]: runs a GoogleTest program under Wine
# from DIR, at most LIMIT seconds, writing its results to XML and its output to LOG, and judges
# the run. A program that timed out, crashed, or failed without a failed test gets a result
# file with one failure (<xml>-exit.xml beside a real one), so totals over the results folder
# cannot look green. Prints the output without the per-test progress lines (all of it with
# WINE_RUN_VERBOSE=1), then the summary; returns non-zero if anything went wrong. Variables
# the program needs can be set on the call: `NAME=value wine_run_gtest ...`.
wine_run_gtest() {
  local label="$1" xml="$2" log="$3" limit="$4" dir="$5" rc=0 problem="" name totals
  local started="${EPOCHREALTIME}"
  shift 5
  name="$(basename "${xml}" .xml)"
  mkdir -p "$(dirname "${xml}")" "$(dirname "${log}")"
  rm -f "${xml}" "${xml%.xml}-exit.xml"
  # In the background, so that an interrupt reaches the caller's trap at once instead of after
  # the program ends.
  (cd "${dir}" && exec timeout -k 10 "${limit}" wine "$@" \
    "--gtest_output=xml:$(wine_windows_path "${xml}")") </dev/null >"${log}" 2>&1 &
  wait $! || rc=$?
  sed -i 's/\r$//' "${log}"
  if [[ "${WINE_RUN_VERBOSE:-0}" == 1 ]]; then
    cat "${log}"
  else
    grep -Ev '^\[ (RUN {6}| {6}OK )\]' "${log}" || true
  fi
  if ((rc == 124 || rc == 137)); then
    problem="timed out after ${limit} s"
    echo "--- last lines before the time limit:"
    tail -n 20 "${log}"
    # The run's processes may outlive the launcher that timeout killed.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  elif [[ ! -s "${xml}" ]]; then
    problem="exited with code ${rc} and wrote no results (crash?)"
  elif ((rc != 0)); then
    read -r -a totals < <(python3 "${_wine_env_repo}/scripts/gtest-xml.py" total "${xml}")
    ((totals[1] > 0)) || problem="exited with code ${rc} although no test failed"
  fi
  if [[ -n "${problem}" ]]; then
    wine_record_problem "${label}" "${xml}" "${name}" "${problem}"
  fi
  python3 "${_wine_env_repo}/scripts/gtest-xml.py" summary "${xml}"
  echo "${label}: ${name} took $(wine_since "${started}") s (log: ${log})"
  [[ -z "${problem}" && "${rc}" == 0 ]]
}

# wine_record_problem LABEL XML NAME PROBLEM: a result with one failure for a run that went wrong.
wine_record_problem() {
  local label="$1" xml="$2" name="$3" problem="$4" extra="$2"
  [[ -s "${xml}" ]] && extra="${xml%.xml}-exit.xml"
  python3 "${_wine_env_repo}/scripts/gtest-xml.py" missing "${extra}" "${name}" "${name}: ${problem}"
  echo "${label}: ${name}: ${problem}"
}

wine_env_up() {
  trap wine_env_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  wine_env_init "$@"
  wine_prefix_ready
  wine_display_ready
  wine_sound_ready
}
