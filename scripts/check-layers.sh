#!/usr/bin/env bash
# Checks that no folder includes from a folder above it. The floors, lowest first:
#
#   src/product src/platform   who the program is; the contracts with everything outside it
#   src/forms src/audio        the form runtime; the sound level meter
#   src/settings src/ui        the settings file and dialog; the About, wait and help windows
#   src/app src/setup          the main window and its call bridge; the first-run tool
#   src/win32                  the real platform
#   src/main                   the entry points that wire the real platform to the program
#
# A file may include from its own folder and from the floors below its folder's, never from a
# folder beside it on the same floor. Outside the product: testing/ (the headless platform and
# what the stand-ins share) builds on the contracts and the form runtime only; sim/ (the
# stand-ins) on the real platform and testing/; tests/, bench/ and tools/ may include anything.
#
# Inside the real platform, a form's window calls back into the window system that made it
# only through FormWindowHost, an interface the form window declares.
#
# Usage: scripts/check-layers.sh   (exits 1 and names every upward include)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

floors=(
  "src/product src/platform"
  "src/forms src/audio"
  "src/settings src/ui"
  "src/app src/setup"
  "src/win32"
  "src/sip"
  "src/main"
)
declare -A floor_of=()
for i in "${!floors[@]}"; do
  for folder in ${floors[i]}; do floor_of[${folder}]=${i}; done
done
# Where a quoted include is looked for, after the including file's own folder.
roots=(src testing sim tests)

# The folder a file belongs to for this check, into $zone: src/<name>, or the top folder
# elsewhere. (A variable, not output: this runs once per include and forks nothing.)
zone_of() {
  case "$1" in
    src/*) local rest="${1#src/}"; zone="src/${rest%%/*}" ;;
    *) zone="${1%%/*}" ;;
  esac
}

# May a file of zone $1 include a file of zone $2?
allowed() {
  local from="$1" to="$2"
  [[ "${from}" == "${to}" ]] && return 0
  case "${from}" in
    tests | bench | tools) return 0 ;;
    testing) [[ " src/product src/platform src/forms " == *" ${to} "* ]]; return ;;
    sim) [[ "${to}" == testing || ( -n "${floor_of[${to}]:-}" && "${floor_of[${to}]}" -le "${floor_of[src/win32]}" ) ]]; return ;;
  esac
  [[ -n "${floor_of[${from}]:-}" && -n "${floor_of[${to}]:-}" ]] || return 1
  ((floor_of[${to}] < floor_of[${from}]))
}

problems=0
checked=0
last=""
# One grep over every file: "path:name" for each quoted include.
while IFS=: read -r file included; do
  if [[ "${file}" != "${last}" ]]; then
    last="${file}"
    zone_of "${file}"
    from="${zone}"
    if [[ "${from}" == src/* && -z "${floor_of[${from}]:-}" ]]; then
      echo "check-layers: ${file}: the folder ${from} is on no floor (add it above)"
      problems=$((problems + 1))
    fi
  fi
  target=""
  for root in "${file%/*}" "${roots[@]}"; do
    if [[ -f "${root}/${included}" ]]; then
      target="${root}/${included}"
      break
    fi
  done
  # Generated headers (the stand-in's type library) are not in the tree.
  [[ -n "${target}" ]] || continue
  [[ "${target}" != *..* ]] || target="$(realpath --relative-to=. "${target}")"
  checked=$((checked + 1))
  zone_of "${target}"
  if ! allowed "${from}" "${zone}"; then
    echo "check-layers: ${file} includes ${included}: ${from} may not include from ${zone}"
    problems=$((problems + 1))
  fi
done < <(git ls-files -co --exclude-standard src testing sim tests bench tools | grep -E '\.(h|cpp)$' |
  xargs -d '\n' grep -H -o '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*"' |
  sed 's/:[^"]*"\([^"]*\)"$/:\1/')

if ((problems)); then
  echo "check-layers: ${problems} includes against the floors (of ${checked})"
  exit 1
fi
echo "check-layers: ${checked} includes, none against the floors"
