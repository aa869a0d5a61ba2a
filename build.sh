#!/usr/bin/env bash
# Set-up for a fresh Debian 12 (bookworm) or Debian 13 (trixie) machine:
# installs the Debian packages that are missing, builds, and then either
# starts the simulator, runs every test, or builds the Debian packages.
#
#   ./build.sh run    build in Release and start the simulator
#   ./build.sh test   build, run the test suite, run it again in an
#                     AddressSanitizer + UndefinedBehaviorSanitizer build,
#                     run the fuzz targets for a bounded time, then build,
#                     check, install and purge the Debian packages; on
#                     Debian 12 also all of that in a minimal Debian 13
#   ./build.sh deb    build the Debian packages into build-deb/
#
# "./build.sh test PHASE..." runs only the phases named (release, sanitize,
# fuzz, packages, bare, debian13), in the order given.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-}
case "$mode" in
  run|test|deb) ;;
  *) echo "usage: $0 run|test|deb" >&2; exit 2 ;;
esac
shift

# qt6-translations-l10n: Qt's German texts for its own dialogs, compiled in.
# qt6-svg-dev: the artwork generator writes the scalable icons with it.
# libxkbcommon-dev: Qt's CMake files look for it; without it every configure
# prints "Could NOT find XKB", which is harmless but reads like an error.
# pkgconf is the pkg-config of both releases (Debian 12's pkg-config package is
# already pkgconf under the old name).
build_packages=(cmake ninja-build g++ pkgconf qt6-base-dev qt6-svg-dev libgl-dev libxcb1-dev qt6-translations-l10n
  libxkbcommon-dev)
# The end-to-end tests drive the real program under a virtual X server (one
# of them under valgrind), each with a session bus of its own
# (dbus-run-session); strace shows that started without a bus they start none
# of their own; the fuzz targets need clang's libFuzzer, whose run-time comes
# with the unversioned libclang-rt-dev of the release's own clang.
test_packages=(xvfb xdotool xclip x11-utils imagemagick valgrind clang libclang-rt-dev dbus-daemon strace)
# The companion pendralumovista-ansage speaks with espeak-ng (its German
# voice is in espeak-ng-data, which the library package brings) and plays
# through ALSA.
build_packages+=(libespeak-ng-dev libasound2-dev)
# Its recordings (--tonordner) are read by libsndfile and brought to the
# voice's rate by libsamplerate.
build_packages+=(libsndfile1-dev libsamplerate0-dev)
# It sees a program take the clipboard over through XFixes; its test runs
# such a program, xclipboard.
build_packages+=(libxcb-xfixes0-dev)
test_packages+=(x11-apps)
# Timetable feeds (GTFS) come as zip files, read through libzip.
build_packages+=(libzip-dev)
# The web sign (--web): HTTP and WebSockets from Qt's own modules.
build_packages+=(qt6-websockets-dev qt6-httpserver-dev)
# IBIS (--ibis, --ibis-sign): the serial line through Qt Serial Port.
build_packages+=(qt6-serialport-dev)
# The IBIS test joins both ends through a virtual serial pair made by socat.
test_packages+=(socat)
# The checks about windows run again under two window managers. Both run on a
# bare X server without a session manager or a D-Bus session.
test_packages+=(openbox metacity)
# The Debian packages: built with debhelper; dpkg-buildpackage also insists
# on build-essential, which a minimal Debian system does not have even when
# g++ and make are there. The test run checks them with lintian and the
# validators of menu entries and AppStream metadata, and looks for their
# manual pages with man.
deb_packages=(build-essential debhelper dpkg-dev)
# The packaged program carries the archive's own Liberation Sans 2: on
# Debian 12 in fonts-liberation2, on Debian 13 that package brings
# fonts-liberation, which holds it there.
deb_packages+=(fonts-liberation2)
test_packages+=(lintian desktop-file-utils appstream man-db)
# It also lints the manual pages with mandoc, runs the packages' autopkgtest
# on this system, and builds the packages once more in a minimal Debian 12
# made with debootstrap, to see that these lists hold everything.
test_packages+=(mandoc autopkgtest debootstrap)
# What a screen reader sees is read through the accessibility bus with
# pyatspi.
test_packages+=(at-spi2-core python3-pyatspi)
# The real Orca reads the program; speech-dispatcher writes its speech to a file.
test_packages+=(orca speech-dispatcher)
# The web sign is loaded in a real browser, Debian's Chromium without a
# screen, and its screenshots are compared with the sign window dot by dot.
test_packages+=(chromium)

install_missing() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
}

# build/ has one configuration, the one the README's commands give by hand
# too, spelled out in full because CMake keeps whatever a folder was last
# configured with: "run" and "test" and the commands of the README may then
# follow one another in any order.
release_options=(-DCMAKE_BUILD_TYPE=Release -DPENDRALUMOVISTA_TESTS=ON -DPENDRALUMOVISTA_BENCH=ON
  -DPENDRALUMOVISTA_SANITIZE=OFF -DPENDRALUMOVISTA_FUZZ=OFF)

# The source package and both binary packages, built from a copy of the source tree in build-deb/
# (dpkg-buildpackage writes its results beside the tree it builds, and so
# into build-deb/ too), without the benchmarks and debug symbol packages.
# The folder can be chosen, so that a second build elsewhere shows whether
# the packages depend on where they were built.
deb_folder=${PENDRALUMOVISTA_DEB_FOLDER:-build-deb}
# Their version names the Debian release they were built on and for
# (2.2~deb12, 2.2~deb13), so that the two can meet in one archive and the
# newer release's sorts above the older's, both below a plain 2.2.
deb_release=$(. /etc/os-release && echo "${VERSION_ID:-}")
build_debs() {
  rm -rf "$deb_folder"
  mkdir -p "$deb_folder/source"
  tar -c --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./.cache . | tar -x -C "$deb_folder/source"
  if [ -n "$deb_release" ]; then
    sed -i "1s/^pendralumovista (\([^)~]*\))/pendralumovista (\1~deb$deb_release)/" "$deb_folder/source/debian/changelog"
  fi
  (cd "$deb_folder/source" &&
    DEB_BUILD_OPTIONS="noautodbgsym parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc)
  rm -rf "$deb_folder/source"
}

if [ "$mode" = deb ]; then
  install_missing "${build_packages[@]}" "${deb_packages[@]}"
  build_debs
  sudo=
  [ "$(id -u)" -ne 0 ] && sudo="sudo "
  echo
  echo "The packages are in $deb_folder/. To install them:"
  echo "  ${sudo}apt install $(printf './%s ' "$deb_folder"/pendralumovista*.deb)"
  exit 0
fi

if [ "$mode" = run ]; then
  install_missing "${build_packages[@]}"
  cmake -S . -B build -G Ninja "${release_options[@]}"
  # The companion too, so that it can be started beside the simulator (and
  # "cmake --install build" finds both) without a build of the tests.
  cmake --build build --target pendralumovista pendralumovista-ansage
  exec ./build/app/pendralumovista
fi

install_missing "${build_packages[@]}" "${test_packages[@]}" "${deb_packages[@]}"

# The phases of the test command. Each prints how long it took, and the end
# lists them all, so that the slow one shows.
release_phase() {
  configure_and_build build "${release_options[@]}"
  ctest --test-dir build --output-on-failure
}
sanitize_phase() {
  configure_and_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPENDRALUMOVISTA_SANITIZE=ON -DPENDRALUMOVISTA_BENCH=OFF
  ctest --test-dir build-sanitize --output-on-failure
}
fuzz_phase() {
  CXX=clang++ configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENDRALUMOVISTA_FUZZ=ON \
    -DPENDRALUMOVISTA_TESTS=OFF -DPENDRALUMOVISTA_BENCH=OFF
  ctest --test-dir build-fuzz --output-on-failure
}
# The Debian packages as a user meets them (built with the same function as
# "./build.sh deb").
packages_phase() { tests/check_packages.sh; }
# Built on a bare Debian 12, which shows a package these lists forget.
bare_phase() { tests/check_bare_system.sh; }
# The release suite and the packages once more on Debian 13, in a minimal
# system of its own.
debian13_phase() { tests/check_debian13.sh; }

phases=("$@")
if [ ${#phases[@]} -eq 0 ]; then
  phases=(release sanitize fuzz packages bare)
  # Debian 13 checks itself in its own run; from Debian 12 it is checked in
  # a system made for it.
  [ "$(. /etc/os-release && echo "${VERSION_ID:-}")" = 12 ] && phases+=(debian13)
fi
timings=()
for phase in "${phases[@]}"; do
  declare -F "${phase}_phase" > /dev/null || { echo "build.sh: no test phase \"$phase\"" >&2; exit 2; }
  echo "=== build.sh test: $phase"
  started=$SECONDS
  "${phase}_phase"
  timings+=("$phase $((SECONDS - started)) s")
  echo "=== build.sh test: $phase took $((SECONDS - started)) s"
done
echo "=== build.sh test: all passed (${timings[*]/%/;} $SECONDS s in all)"
