#!/usr/bin/env bash
# Installs what the builds, the tests and the demo need on Debian 12, and nothing when it is all
# there already: the package database is asked first, so a second run takes well under a second
# and never touches the network.
#
# Usage: scripts/bootstrap.sh [--check]
#   --check   only report what is missing; exit 1 if anything is
#
# Runs as root (as CI does) or through sudo.
set -euo pipefail

packages=(
  # host builds, tests, sanitizers and the INI fuzzer
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev python3
  # the Windows cross-builds; widl comes with the tools
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  # running the Windows programs: a 64-bit prefix runs the 32-bit release build under WoW64,
  # which needs the i386 half of Wine
  wine wine64 wine32:i386
  # a display with a Japanese keyboard map, Japanese glyphs, screenshots, and a private sound
  # server for wave-in
  xvfb x11-utils x11-xkb-utils xauth fonts-ipafont-gothic imagemagick pulseaudio
  pulseaudio-utils sox
  # the SIP stack (scripts/sip-stack.sh): its own make files, and the archive keys that check
  # trixie's source index; apt-get fetches the tarballs without dpkg-dev
  make debian-archive-keyring
  # a real SIP peer and a registrar for the SIP client's tests: Debian's native user agent
  # and SIPp, and a provider's server (registrar and proxy)
  baresip-core sip-tester kamailio
  # the help file and the per-user installer
  fp-utils nsis
  # the Japanese locale Wine takes its ANSI code page (932) from
  locales
)
locale_name="ja_JP.UTF-8"

check_only=0
case "${1:-}" in
  --check) check_only=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

# dpkg-query prints one line per name it knows; names it has never seen only go to stderr, so
# both "unknown" and "known but not installed" end up missing.
missing=()
installed="$(dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' \
  "${packages[@]}" 2>/dev/null || true)"
native_arch="$(dpkg --print-architecture)"
for pkg in "${packages[@]}"; do
  name="${pkg%%:*}"
  arch="${native_arch}"
  [[ "${pkg}" == *:* ]] && arch="${pkg#*:}"
  # Architecture-independent packages report "all".
  if ! grep -Eq "^${name//+/\\+}:(${arch}|all) ii " <<<"${installed}"; then
    missing+=("${pkg}")
  fi
done

# Enabled in locale.gen rather than compiled alone, so that a later locale-gen (a glibc
# upgrade runs one) keeps it.
install_locale() {
  "${as_root[@]}" sed -i "s/^# *\(${locale_name} UTF-8\)/\1/" /etc/locale.gen
  grep -qx "${locale_name} UTF-8" /etc/locale.gen ||
    echo "${locale_name} UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  "${as_root[@]}" locale-gen
}

has_locale() { locale -a 2>/dev/null | grep -qix "${locale_name/UTF-8/utf8}"; }

if ((${#missing[@]} == 0)) && has_locale; then
  echo "bootstrap: all ${#packages[@]} packages and the ${locale_name} locale present"
  exit 0
fi
((${#missing[@]})) && echo "bootstrap: missing: ${missing[*]}"
has_locale || echo "bootstrap: missing: the ${locale_name} locale"
((check_only)) && exit 1

as_root=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || { echo "bootstrap: need root or sudo" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

if ((${#missing[@]} == 0)); then
  install_locale
  exit 0
fi

needs_i386=0
for pkg in "${missing[@]}"; do [[ "${pkg}" == *:i386 ]] && needs_i386=1; done
if ((needs_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi

"${as_root[@]}" apt-get update -q
# Installing wine32 upgrades some amd64 libraries to keep both halves at one version, so the
# whole set goes in one transaction. Recommends stay on: Wine loads the X extensions it merely
# recommends (XRandR, XInput, ...) at run time, and behaves differently without them.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
echo "bootstrap: installed ${#missing[@]} packages"
has_locale || install_locale
