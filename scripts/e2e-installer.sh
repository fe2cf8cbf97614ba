#!/usr/bin/env bash
# Runs the release's installer and uninstaller end to end in a fresh, contained Wine prefix
# (scripts/wine-env.sh) and checks what they leave: a first install (program files byte for
# byte as in the zip, Start-menu entry, uninstall entry, Ondawn run and Tavoro started), an
# update and a removal refused while Tavoro runs, an update that keeps setting.ini, a silent
# removal that keeps only setting.ini, and one with /REMOVESETTINGS that leaves nothing at all.
#
# Usage: scripts/e2e-installer.sh [--release-out DIR] [--results DIR] [--timeout SECS]
#   --release-out DIR  what scripts/release.sh made (default build/release-out)
#   --results DIR      where installer_e2e.xml and .log go (default build/release/results)
#   --timeout SECS     limit for one installer or uninstaller run (default 120)
#
# Ondawn is told it runs on Windows 7, where it makes its shortcuts, and finds a "Tavorophone"
# folder on the desktop, so its shortcuts can be seen and their removal checked. Every check is
# listed as it is decided, with what remained where one failed; they are also written as one
# GoogleTest suite, so the test command's totals include them. Exits 0 when all passed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "${here}")"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"

release_out="${repo}/build/release-out"
results="${repo}/build/release/results"
timeout_s=120

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
while (($#)); do
  case "$1" in
    --release-out) release_out="${2:?}"; shift 2 ;;
    --results) results="${2:?}"; shift 2 ;;
    --timeout) timeout_s="${2:?}"; shift 2 ;;
    -h | --help) usage 0 ;;
    *) echo "e2e-installer: unknown argument $1" >&2; usage >&2 ;;
  esac
done
mkdir -p "${results}"
results="$(realpath "${results}")"
xml="${results}/installer_e2e.xml"
log="${results}/installer_e2e.log"
record="${results}/installer_e2e.checks"
rm -f "${xml}" "${log}" "${record}"
: >"${record}"
all_started="${EPOCHREALTIME}"

passed=0
failed=0
# check NAME [WHY]: records NAME as passed when WHY is empty, else as failed because of WHY.
check() {
  local name="$1" why="${2:-}"
  if [[ -z "${why}" ]]; then
    printf 'ok\t%s\n' "${name}" >>"${record}"
    printf '  ok    %s\n' "${name}"
    passed=$((passed + 1))
  else
    printf 'fail\t%s\t%s\n' "${name}" "${why//$'\n'/; }" >>"${record}"
    printf '  FAIL  %s\n' "${name}"
    printf '%s\n' "${why}" | sed 's/^/          /'
    failed=$((failed + 1))
  fi
}

phase() { echo "--- $1 (at $(wine_since "${all_started}") s)"; }

finish() {
  local rc=$?
  wine_env_cleanup
  python3 "${here}/gtest-xml.py" checks "${xml}" InstallerE2E <"${record}"
  echo "e2e-installer: took $(wine_since "${all_started}") s (results: ${xml}, log: ${log})"
  echo "e2e-installer: ${passed} passed, ${failed} failed"
  ((rc == 0 && failed == 0)) || exit 1
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

shopt -s nullglob
installers=("${release_out}"/Tavorophone-*-setup.exe)
zips=("${release_out}"/Tavorophone-*.zip)
shopt -u nullglob
if ((${#installers[@]} != 1 || ${#zips[@]} != 1)); then
  check "release: one installer and one zip in ${release_out}" \
    "found ${#installers[@]} installers and ${#zips[@]} zips (scripts/release.sh makes them)"
  exit 1
fi
installer="${installers[0]}"
zip="${zips[0]}"
echo "e2e-installer: ${installer}"

# The files the installer must put in place, and their SHA-256, as released in the zip.
declare -A released=()
while read -r sum file; do
  released[${file}]="${sum}"
done < <(python3 -c '
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
for name in archive.namelist():
    if name.endswith("/SHA256SUMS"):
        sys.stdout.write(archive.read(name).decode())
' "${zip}")
if ((${#released[@]} == 0)); then
  check "release: the zip lists its files in SHA256SUMS" "no SHA256SUMS in ${zip}"
  exit 1
fi

wine_env_init
wine_prefix_ready
wine_display_ready
sim_log="${WINE_ENV_RUN}/tavoro-stand-in.log"
# Read by sim's tavoro.exe stand-in, ignored by the real program.
TAVORO_SIM_LOG="$(wine_windows_path "${sim_log}")"
export TAVORO_SIM_LOG
: >"${sim_log}"

users=("${WINEPREFIX}"/drive_c/users/*/AppData)
user_dir="$(dirname "${users[0]}")"
program_dir="${user_dir}/AppData/Local/Programs/Tavorophone"
start_menu="${user_dir}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavorophone"
desktop="${user_dir}/Desktop/Tavorophone"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorophone'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
program_files=("${!released[@]}" uninstall.exe)

# Ondawn makes its shortcuts on this version, into folders that exist.
wine_set_windows_version Ondawn.exe win7
mkdir -p "${desktop}"
# What the prefix holds before the first install, to tell afterwards what was left behind.
find "${WINEPREFIX}/drive_c/users" -mindepth 1 | sort >"${WINE_ENV_RUN}/files-before"
registry_naming_tavoro() {
  # Key lines end in their write time, which is no part of what was left.
  grep -ahi 'tavoro' "${WINEPREFIX}/user.reg" "${WINEPREFIX}/system.reg" | sed 's/\] [0-9]*$/]/' | sort
}
registry_naming_tavoro >"${WINE_ENV_RUN}/registry-before"

# mark_starts: from here on, only a new start of Tavoro counts for tavoro_started. (Not inside
# $(...), whose assignments the script never sees.)
mark_starts() { lines_seen="$(wc -l <"${sim_log}")"; }

# run_wine EXE ARGS...: one installer or uninstaller run under the time limit; prints the
# launcher's exit code.
run_wine() {
  local rc=0
  timeout -k 10 "${timeout_s}" wine "$@" </dev/null >>"${log}" 2>&1 || rc=$?
  echo "${rc}"
}

# prefix_pids REGEX: Linux ids of this prefix's processes whose command line matches (in any
# case). The whole line counts: while Wine starts a program, its name is not yet the first word.
prefix_pids() {
  local file
  # grep reads every command line in one go; only its few hits are looked at closer.
  while read -r file; do
    tr '\0' '\n' 2>/dev/null <"${file%/cmdline}/environ" |
      grep -qxF "WINEPREFIX=${WINEPREFIX}" || continue
    file="${file#/proc/}"
    echo "${file%/cmdline}"
  done < <(grep -laiE "$1" /proc/[0-9]*/cmdline 2>/dev/null)
}
tavoro_pids() { prefix_pids '[\\/]tavoro\.exe'; }

# The uninstaller hands over to a copy of itself in TEMP (~nsuN.tmp) and returns at once; the
# copy does the work.
wait_for_uninstaller() {
  local give_up=$((SECONDS + timeout_s))
  while [[ -n "$(prefix_pids '[\\/]~nsu[^\\/]*\.tmp[\\/]')" ]]; do
    ((SECONDS < give_up)) || { echo "the uninstaller still runs after ${timeout_s} s"; return 1; }
    sleep 0.1
  done
}

# Waits until every process of the prefix has ended and the server has written the registry.
settle() {
  timeout "${timeout_s}" wineserver -w >/dev/null 2>&1 || echo "processes of the prefix still run"
}

# Waits until Tavoro has started from the program folder since mark_starts: the
# stand-in logged its start (it ends at once) or a Tavoro.exe of this prefix runs (the real one
# stays, showing why it cannot reach the chat client). Prints how it was seen; fails after 60 s.
lines_seen=0
tavoro_started() {
  local give_up=$((SECONDS + 60)) line
  while ((SECONDS < give_up)); do
    line="$(tail -n "+$((lines_seen + 1))" "${sim_log}" | grep -ai 'Programs\\Tavorophone\\Tavoro.exe' | head -n 1)" || true
    if [[ -n "${line}" ]]; then
      echo "stand-in logged: ${line#*$'\t'}"
      return 0
    fi
    if [[ -n "$(tavoro_pids)" ]]; then
      echo "running: $(tavoro_pids | paste -sd' ')"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

end_tavoro() {
  local pids give_up=$((SECONDS + 10))
  pids="$(tavoro_pids)"
  [[ -z "${pids}" ]] && return 0
  # shellcheck disable=SC2086
  kill ${pids} 2>/dev/null || true
  while [[ -n "$(tavoro_pids)" ]] && ((SECONDS < give_up)); do sleep 0.1; done
  pids="$(tavoro_pids)"
  # shellcheck disable=SC2086
  [[ -n "${pids}" ]] && kill -KILL ${pids} 2>/dev/null
  return 0
}

# What differs between the program files and the release; empty when all match.
program_files_differ() {
  local file
  for file in "${!released[@]}"; do
    if [[ ! -f "${program_dir}/${file}" ]]; then
      echo "missing: ${file}"
    elif [[ "$(sha256sum <"${program_dir}/${file}" | cut -d' ' -f1)" != "${released[${file}]}" ]]; then
      echo "differs from the release: ${file}"
    fi
  done
  [[ -f "${program_dir}/uninstall.exe" ]] || echo "missing: uninstall.exe"
}

# A shortcut's show command (a 32-bit number at 0x3C) and whether it names the target.
shortcut_says() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
target = sys.argv[2].lower()
text = data.decode("latin-1").lower() + data.decode("utf-16-le", "replace").lower()
show = struct.unpack_from("<i", data, 0x3C)[0]
print(f"show={show} target={'yes' if target in text else 'no'}")
PY
}

# The registry as the 32-bit programs see it: HKLM's Run key is one of the keys a 64-bit
# system keeps apart for them.
reg32() { wine 'C:\windows\syswow64\reg.exe' "$@"; }

# reg_value KEY NAME: the data of one value, or nothing (and failure) when it is not there.
reg_value() {
  reg32 query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | grep . || return 1
}

windows_program_dir='C:\users\'"$(basename "${user_dir}")"'\AppData\Local\Programs\Tavorophone'

uninstall_quietly() {
  local command args=() rc
  command="$(reg_value "${uninstall_key}" QuietUninstallString)" || {
    echo "no QuietUninstallString"
    return 1
  }
  # "<path>" /S, as the system's app list runs it.
  [[ "${command}" =~ ^\"([^\"]+)\"(.*)$ ]] || { echo "unexpected: ${command}"; return 1; }
  read -r -a args <<<"${BASH_REMATCH[2]}"
  rc="$(run_wine "${BASH_REMATCH[1]}" "${args[@]}" "$@")"
  wait_for_uninstaller
  ((rc == 0)) || echo "the uninstaller's launcher exited with ${rc}"
}

# --- a first install, silent, in a fresh prefix ---------------------------------------------
phase "install"
mark_starts
rc="$(run_wine "${installer}" /S)"
check "install: the silent installer exits 0" "$([[ "${rc}" == 0 ]] || echo "exit code ${rc}")"
check "install: every release file and the uninstaller in %LOCALAPPDATA%\\Programs\\Tavorophone, as in the zip" \
  "$(program_files_differ)"
seen="$(tavoro_started)" || seen=""
check "install: Ondawn ran at the end and started Tavoro from the program folder" \
  "$([[ -n "${seen}" ]] || echo "no start of Tavoro.exe seen within 60 s")"
[[ -n "${seen}" ]] && echo "          (${seen})"
says="$(shortcut_says "${start_menu}/Tavorophone.lnk" "${windows_program_dir,,}\\tavoro.exe" 2>&1)" || says="missing"
check "install: Start-menu entry Programs\\Tavorophone\\Tavorophone.lnk to Tavoro.exe, replaced by Ondawn's (show command 4)" \
  "$([[ "${says}" == "show=4 target=yes" ]] || echo "${says}")"
says="$(shortcut_says "${desktop}/Tavorophone.lnk" "${windows_program_dir,,}\\tavoro.exe" 2>&1)" || says="missing"
check "install: Ondawn's desktop shortcut Desktop\\Tavorophone\\Tavorophone.lnk" \
  "$([[ "${says}" == "show=4 target=yes" ]] || echo "${says}")"
entry="$(reg32 query "${uninstall_key}" 2>/dev/null | tr -d '\r')" || entry=""
problems=""
for want in "DisplayName REG_SZ Tavorophone" "DisplayVersion REG_SZ 1.00" "Publisher REG_SZ Tavorophone" \
  "DisplayIcon REG_SZ ${windows_program_dir}\\Tavoro.exe,0" \
  "UninstallString REG_SZ \"${windows_program_dir}\\uninstall.exe\"" \
  "QuietUninstallString REG_SZ \"${windows_program_dir}\\uninstall.exe\" /S" \
  "InstallLocation REG_SZ ${windows_program_dir}" "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1"; do
  grep -qxF "${want}" < <(sed 's/^ *//; s/  */ /g' <<<"${entry}") || problems+="${want}"$'\n'
done
size="$(sed -n 's/^ *EstimatedSize *REG_DWORD *//p' <<<"${entry}")"
((${size:-0})) || problems+="EstimatedSize (got '${size}')"$'\n'
check "install: uninstall entry in HKCU with its values" \
  "$([[ -z "${problems}" ]] || printf 'missing or wrong:\n%s' "${problems%$'\n'}")"

# --- update and removal while Tavoro runs ---------------------------------------------------
phase "while Tavoro runs"
settings=$'[Skype]\r\nCallTo=echo123\r\nAcceptFrom-1=\x83e\x83X\x83g\r\n[Startup]\r\nWithWindows=1\r\n'
printf '%s' "${settings}" >"${program_dir}/setting.ini"
settings_sum="$(sha256sum <"${program_dir}/setting.ini")"
stand_in=""
if [[ -z "$(tavoro_pids)" ]]; then
  # The stand-in ends at once; a program that stays, put in its place, is what Windows
  # protects the same way: no running image can be opened for writing or deleted.
  stand_in=" (Wine's notepad.exe in Tavoro.exe's place)"
  cp "${WINEPREFIX}/drive_c/windows/syswow64/notepad.exe" "${program_dir}/Tavoro.exe"
  (cd "${program_dir}" && exec wine "${program_dir}/Tavoro.exe" </dev/null >>"${log}" 2>&1 &)
  give_up=$((SECONDS + 10))
  while [[ -z "$(tavoro_pids)" ]] && ((SECONDS < give_up)); do sleep 0.1; done
fi
if [[ -z "$(tavoro_pids)" ]]; then
  check "while Tavoro runs: it could be started${stand_in}" "no Tavoro.exe process"
else
  before="$(cd "${program_dir}" && sha256sum -- *)"
  mark_starts
  rc="$(run_wine "${installer}" /S)"
  check "while Tavoro runs${stand_in}: the silent installer refuses with exit code 2" \
    "$([[ "${rc}" == 2 ]] || echo "exit code ${rc}")"
  check "while Tavoro runs: the refused update changed no file of the program folder" \
    "$(diff <(echo "${before}") <(cd "${program_dir}" && sha256sum -- *) || true)"
  why="$(uninstall_quietly)" || true
  after="$(cd "${program_dir}" 2>/dev/null && sha256sum -- *)" || after=""
  problems="$(diff <(echo "${before}") <(echo "${after}") || true)"
  reg_value "${uninstall_key}" DisplayName >/dev/null || problems+=$'\n'"the uninstall entry is gone"
  [[ -f "${start_menu}/Tavorophone.lnk" ]] || problems+=$'\n'"the Start-menu entry is gone"
  check "while Tavoro runs: the silent uninstaller removes nothing" "${problems#$'\n'}${why:+ (${why})}"
fi
end_tavoro

# --- an update keeps the settings -----------------------------------------------------------
phase "update"
mark_starts
rc="$(run_wine "${installer}" /S)"
check "update: the silent installer over the first install exits 0" \
  "$([[ "${rc}" == 0 ]] || echo "exit code ${rc}")"
check "update: setting.ini written by the user is kept byte for byte" \
  "$([[ "$(sha256sum <"${program_dir}/setting.ini" 2>/dev/null)" == "${settings_sum}" ]] || echo "changed or gone")"
check "update: every release file again as in the zip" "$(program_files_differ)"
seen="$(tavoro_started)" || seen=""
check "update: Ondawn ran again and started Tavoro" \
  "$([[ -n "${seen}" ]] || echo "no start of Tavoro.exe seen within 60 s")"
end_tavoro

# --- a silent removal keeps only the settings ----------------------------------------------
phase "uninstall"
# Start with Windows, as the settings dialog registers it: per user, and (XP) per machine.
reg32 add "HKCU\\${run_key}" /v Tavoro /d "\"${windows_program_dir}\\Tavoro.exe\"" /f >/dev/null
reg32 add "HKLM\\${run_key}" /v Tavoro /d "\"${windows_program_dir}\\Tavoro.exe\"" /f >/dev/null
why="$(uninstall_quietly)" || true
[[ -z "${why}" ]] || echo "  (${why})"
remained=""
for file in "${program_files[@]}"; do
  [[ -e "${program_dir}/${file}" ]] && remained+="${file} "
done
check "uninstall: the program files and the uninstaller are removed" \
  "$([[ -z "${remained}" ]] || echo "remained: ${remained}")"
check "uninstall: setting.ini is kept, and the program folder with it" \
  "$([[ "$(sha256sum <"${program_dir}/setting.ini" 2>/dev/null)" == "${settings_sum}" ]] || echo "setting.ini changed or gone")"
check "uninstall: the Start-menu entry and its folder are removed" \
  "$([[ ! -e "${start_menu}" ]] || (cd "${start_menu}" && echo "remained: Programs\\Tavorophone $(ls -A)"))"
check "uninstall: Ondawn's desktop shortcut and its folder are removed" \
  "$([[ ! -e "${desktop}" ]] || (cd "${desktop}" && echo "remained: Desktop\\Tavorophone $(ls -A)"))"
value="$(reg_value "HKCU\\${run_key}" Tavoro)" || value=""
check "uninstall: the Run value Tavoro is removed (HKCU)" "${value:+remained: ${value}}"
value="$(reg_value "HKLM\\${run_key}" Tavoro)" || value=""
check "uninstall: the Run value Tavoro naming this copy is removed (HKLM)" "${value:+remained: ${value}}"
value="$(reg_value "${uninstall_key}" DisplayName)" || value=""
check "uninstall: the uninstall entry is removed" "${value:+remained: ${uninstall_key}}"

# --- /REMOVESETTINGS leaves nothing behind --------------------------------------------------
phase "uninstall /REMOVESETTINGS"
mkdir -p "${desktop}"
mark_starts
rc="$(run_wine "${installer}" /S)"
seen="$(tavoro_started)" || seen=""
check "reinstall: the silent installer exits 0 and Tavoro starts" \
  "$([[ "${rc}" == 0 && -n "${seen}" ]] || echo "exit code ${rc}, Tavoro ${seen:-not seen}")"
end_tavoro
why="$(uninstall_quietly /REMOVESETTINGS)" || true
[[ -z "${why}" ]] || echo "  (${why})"
check "uninstall /REMOVESETTINGS: setting.ini and the program folder are removed" \
  "$([[ ! -e "${program_dir}" ]] || (cd "${program_dir}" && echo "remained: $(ls -A)"))"
wine_clear_windows_version Ondawn.exe
settle
# The uninstaller cannot delete the copy of itself that it runs from; it leaves that to the
# next start of Windows, which a restart of the prefix plays.
pending="$(cd "${user_dir}/Temp" && find . -mindepth 1 | sed 's|^\./|Temp\\|')" || pending=""
[[ -z "${pending}" ]] || echo "  (before the restart, the user's Temp holds: ${pending//$'\n'/ })"
wine wineboot -r >>"${log}" 2>&1 || true
settle
find "${WINEPREFIX}/drive_c/users" -mindepth 1 | sort >"${WINE_ENV_RUN}/files-after"
# %LOCALAPPDATA%\Programs is the system's folder for every per-user program (Windows makes it
# with the first such install); a fresh prefix lacks it, and it is not ours to remove. The
# uninstaller's copy leaves its empty ~nsuN.tmp folder in TEMP: NSIS asks for the folder's
# removal at the next start before the file's, so the folder is not yet empty then.
added="$(comm -13 "${WINE_ENV_RUN}/files-before" "${WINE_ENV_RUN}/files-after" |
  grep -vxF "${user_dir}/AppData/Local/Programs")" || added=""
temp_folders=""
while read -r path; do
  if [[ -d "${path}" && "${path}" =~ /Temp/~nsu[^/]*\.tmp$ && -z "$(ls -A "${path}")" ]]; then
    temp_folders+="${path##*/} "
    added="$(grep -vxF "${path}" <<<"${added}")" || added=""
  fi
done <<<"${added}"
[[ -z "${temp_folders}" ]] || echo "  (empty folders NSIS leaves in the user's Temp: ${temp_folders})"
added="${added//${WINEPREFIX}\//}"
check "uninstall: after the next start of Windows, no file or folder is left in the user's folders that was not there before" \
  "${added:+remained: ${added}}"
# The server has written the hives out (settle waited for it to end).
left="$(comm -13 "${WINE_ENV_RUN}/registry-before" <(registry_naming_tavoro))" || left=""
check "uninstall: no registry key or value naming Tavoro or Tavorophone is left" "${left:+remained: ${left}}"
