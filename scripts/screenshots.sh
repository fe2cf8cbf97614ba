#!/usr/bin/env bash
# Photographs every window and message of Tavoro.exe under Wine, with frames and titles: the
# request for settings, the settings dialog filled in, the wait window's countdown, the main
# window at rest and lit, the SIP settings over the settings dialog (filled in, a port they
# refuse, the settings dialog naming SIP once it is chosen), the About box (and its link under
# the pointer), and each message that ends the start. The program runs in a Wine virtual
# desktop with the stand-ins of sim/, played by the build's tools/screenshots.exe, which asks
# for each picture.
#
# Usage: scripts/screenshots.sh [--out DIR] [BUILD_DIR]
#   BUILD_DIR   a built Windows build folder (default build/win32; built here if missing)
#   --out DIR   where the PNG files go (default build/screenshots), outside the sources
#
# Exits 0 when every picture was taken.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "${here}/.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"

out="${repo}/build/screenshots"
build="${repo}/build/win32"
# The release is i686; where this machine cannot run 32-bit programs, the x86_64 build of the
# same sources plays instead.
wine_runs_32bit || build="${repo}/build/win64"
desktop_size=1024x768
while (($#)); do
  case "$1" in
    --out) out="${2:?}"; shift 2 ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) echo "screenshots: unknown option $1" >&2; exit 2 ;;
    *) build="$1"; shift ;;
  esac
done

# The player runs from Wine's run folder, so the build is named from the root.
[[ -d "${build}" ]] && build="$(cd "${build}" && pwd)"
checker="${build}/tools/screenshots.exe"
if [[ ! -f "${checker}" ]]; then
  preset="$(basename "${build}")"
  echo "screenshots: building ${preset}"
  (cd "${repo}" && cmake --preset "${preset}" >/dev/null &&
    cmake --build --preset "${preset}" --target screenshots)
fi
mkdir -p "${out}"
out="$(cd "${out}" && pwd)"
rm -f "${out}"/*.png "${out}"/*.request

wine_env_up

# The player asks for a picture with NAME.request and waits for NAME.png; the desktop sits at
# the screen's top left corner.
photographer() {
  local request name
  while :; do
    for request in "${out}"/*.request; do
      [[ -e "${request}" ]] || continue
      name="$(basename "${request}" .request)"
      /usr/bin/import -window root -crop "${desktop_size}+0+0" +repage "${out}/${name}.tmp.png"
      mv "${out}/${name}.tmp.png" "${out}/${name}.png"
      rm -f "${request}"
      echo "screenshots: ${name}.png"
    done
    sleep 0.1
  done
}
photographer &
photographer_pid=$!

rc=0
(cd "${WINE_ENV_RUN}" &&
  TAVORO_E2E_BIN="$(wine_windows_path "${build}/src/main")" \
  TAVORO_E2E_SIM="$(wine_windows_path "${build}/sim")" \
    timeout -k 10 600 wine explorer "/desktop=tavoro,${desktop_size}" "${checker}" \
    "$(wine_windows_path "${out}")" >"${WINE_ENV_RUN}/screenshots.log" 2>&1) || rc=$?
kill "${photographer_pid}" 2>/dev/null || true
wait "${photographer_pid}" 2>/dev/null || true
sed -i 's/\r$//' "${WINE_ENV_RUN}/screenshots.log"
grep 'FAILED' "${WINE_ENV_RUN}/screenshots.log" || true

count="$(find "${out}" -name '*.png' | wc -l)"
echo "screenshots: ${count} pictures in ${out}"
if ((rc != 0)) || grep -q 'FAILED' "${WINE_ENV_RUN}/screenshots.log"; then
  echo "screenshots: not every picture could be taken (log above)" >&2
  exit 1
fi
