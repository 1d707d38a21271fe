# Sourced by the scripts: what differs between the Debian releases the project is built on, in
# one place. A release is named by its codename; the host's comes from /etc/os-release.
release_of_host() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-unknown}")
}

# The clang (and its clang-tidy and compiler runtime) that a release has: 16 is Debian 12's
# newest that compiles libstdc++ 12's <expected> (its default 14 cannot); Debian 13 has 19 and
# the next release 21, and neither has 16.
clang_version_of() {
  case "$1" in
    bookworm) echo 16 ;;
    trixie) echo 19 ;;
    *) echo 21 ;;
  esac
}

# debootstrap's script for a release: Debian 12's debootstrap has none for the next release,
# whose archive has the layout of sid's.
debootstrap_script_of() {
  case "$1" in
    bookworm | trixie) echo "" ;;
    *) echo /usr/share/debootstrap/scripts/sid ;;
  esac
}

# A release that moves daily may be served by a mirror whose snapshot is past its Valid-Until:
# apt is told to take it all the same (the signatures are still checked).
moving_release() {
  case "$1" in
    bookworm | trixie) return 1 ;;
    *) return 0 ;;
  esac
}

# debian/control as a release's tools want it, in a copy of the source: the next release's
# debhelper and dpkg make Priority: optional and Rules-Requires-Root: no the defaults (its lintian
# calls the fields redundant) and compat 13 old, while Debian 12's and 13's lintian ask for both
# fields and call compat 14 experimental. The checkout keeps what Debian 12 and 13 want.
adapt_debian_control() {  # RELEASE CONTROL-FILE
  case "$1" in
    bookworm | trixie) ;;
    *) sed -i -e 's/debhelper-compat (= 13)/debhelper-compat (= 14)/' \
         -e '/^Priority: optional$/d' -e '/^Rules-Requires-Root: no$/d' "$2" ;;
  esac
}
