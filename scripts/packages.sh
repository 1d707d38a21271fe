# Sourced by the scripts: installs the Debian packages they need.
missing_packages() {
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$pkg"
    fi
  done
}

# check_packages PKG...: names what is missing and fails; installs nothing.
check_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "missing packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  return 1
}

# ensure_packages PKG...: installs what is missing when run as root; otherwise names it and fails.
ensure_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || check_packages "$@" || return 1
  echo "==> installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null || echo "apt-get update failed; trying the install anyway" >&2
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building the launcher needs.
BUILD_PACKAGES=(cmake ninja-build g++ libtomlplusplus-dev)
# clang with libFuzzer, and clang-tidy, of the release this runs on (scripts/releases.sh).
source "$(dirname "${BASH_SOURCE[0]}")/releases.sh"
CLANG_VERSION=$(clang_version_of "$(release_of_host)")
FUZZ_PACKAGES=("clang-$CLANG_VERSION" "libclang-rt-$CLANG_VERSION-dev")
LINT_PACKAGES=("clang-$CLANG_VERSION" "clang-tidy-$CLANG_VERSION" cppcheck)
# LibreOffice for a desktop (X11, and Wayland through gtk3), Writer, and the UNO module for the
# system python3. They replace the display-less -nogui packages, which ignore a document that
# the user opens in the running instance.
LIBREOFFICE_PACKAGES=(libreoffice-core libreoffice-writer libreoffice-gtk3 python3-uno)
# Display servers without a screen, and the tools that look at their windows.
DESKTOP_PACKAGES=(xvfb xdotool x11-utils x11-apps netpbm weston)
# Making and checking the Debian package (its completion builds on bash-completion's helpers).
PACKAGE_PACKAGES=(build-essential dpkg-dev lintian git bash-completion)
# What the tests need on top: the real LibreOffice test, man page and package checks, and a FUSE
# file system (bindfs) for the record on a file system without unnamed files.
TEST_PACKAGES=(libgtest-dev util-linux bindfs "${LIBREOFFICE_PACKAGES[@]}" "${DESKTOP_PACKAGES[@]}"
  groff-base dpkg valgrind tmux "${PACKAGE_PACKAGES[@]}")
