#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need, and prepares the Wine prefix.
# Idempotent: a second run finds everything in place and does nothing. Run as root on Debian 12.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-env.sh
. "$here/wine-env.sh"

packages=(
  cmake ninja-build make
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64
  xvfb xauth x11-utils
  googletest
  imagemagick
  clang
  fp-utils        # chmcmd: compiles the help file Sentrio.CHM
  wixl            # builds the installer packages Sentrio-x86.msi and Sentrio-x64.msi
  osslsigncode    # signs the images (with a test certificate unless a real one is given)
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# A Debian mirror in the middle of its sync serves index files of the wrong size for a minute or two
# ("Mirror sync in progress?"); apt-get update then fails. Try again a few times before giving up.
apt_update() {
  local try
  for try in 1 2 3; do
    if as_root apt-get update -qq; then return 0; fi
    echo "setup: apt-get update failed (try $try of 3), trying again in $((try * 15)) s" >&2
    sleep $((try * 15))
  done
  # An index that stays broken (one suite of one architecture, say) need not stop the install: apt
  # uses the indexes it did get, and the install below fails clearly if a package is then missing.
  as_root apt-get update -qq ||
    echo "setup: apt-get update still fails; installing from the package lists it did fetch" >&2
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

install_packages() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  install_packages "${missing[@]}"
fi

# Where this machine can start 32-bit processes, the tests also run as the 32-bit images that ship,
# under the 32-bit Wine (Debian's i386 architecture). Where it cannot, nothing 32-bit is installed.
# The 32-bit Wine is a second step: when the mirror cannot give it (its i386 lists behind the amd64
# ones, so the two halves of a library do not match), the 64-bit set still runs, and the test command
# says that the 32-bit set is skipped.
can_run_32bit=0
if bash "$here/probe-32bit.sh"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    apt_update
  fi
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    can_run_32bit=1
  else
    echo "setup: installing wine32:i386"
    apt_update
    if install_packages wine32:i386; then
      can_run_32bit=1
    else
      echo "setup: the 32-bit Wine could not be installed; only the 64-bit tests can run here" >&2
    fi
  fi
fi

# The cross compiler comes in two thread models; the posix one gives the C++ threading library
# (linked statically, so no libwinpthread-1.dll is ever needed beside a deliverable).
for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
  for tool in gcc g++; do
    want=/usr/bin/$triple-$tool-posix
    if [ -x "$want" ] && [ "$(readlink -f /usr/bin/$triple-$tool)" != "$(readlink -f "$want")" ]; then
      as_root update-alternatives --set $triple-$tool "$want" >/dev/null
    fi
  done
done

# A Wine prefix of our own per Wine (64-bit, and 32-bit where it runs), made once. mscoree and
# mshtml are switched off so that wineboot never asks to download Mono or Gecko (there is no network
# for it anyway). Wine does not hand its windows to a window manager there: under a bare Xvfb there
# is none, and Wine would wait 2 s for each window that goes away for a confirmation that never
# comes (a quarter of the window tests' time). A prefix made before this setting gets it too.
unmanaged_windows() {
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  fi
}
prepare_prefix() {
  (
    export SENTRIO_WINE_ARCH=$1
    # shellcheck source=scripts/wine-env.sh
    . "$here/wine-env.sh"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "setup: preparing the $1 Wine prefix in $WINEPREFIX"
      mkdir -p "$WINEPREFIX"
      "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
      "$WINESERVER" -w || true
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "setup: the $1 Wine prefix could not be prepared in $WINEPREFIX" >&2
      exit 1
    fi
    unmanaged_windows
  )
}
prepare_prefix win64
if [ "$can_run_32bit" -eq 1 ]; then
  prepare_prefix win32
fi
