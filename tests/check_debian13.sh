#!/usr/bin/env bash
# The program on Debian 13 (trixie), from a Debian 12 machine: a minimal
# trixie (debootstrap --variant=minbase) gets a copy of the source tree and
# runs "./build.sh test release packages" there. build.sh installs what it
# needs, builds in Release and runs the whole Release suite (end-to-end
# under Xvfb, the window managers, the companion, Chromium, the
# accessibility tree), then builds the Debian 13 packages (once: the second
# build that compares their bytes is the Debian 12 run's), checks them with
# lintian, installs them with apt, runs their autopkgtest and purges them.
#
#   tests/check_debian13.sh
#
# The system is kept between runs, with whatever build.sh installed into it,
# outside the source tree, so that each new clone (CI makes one per run)
# finds it: in /var/cache/pendralumovista/debian13, or under
# $PENDRALUMOVISTA_CACHE. It is made anew when it is missing, was left half
# made, or is more than a week old (so that Debian's point releases and
# security updates come in); making it costs about six minutes more. One run
# at a time uses it. Runs as root (debootstrap and chroot need it).
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check_debian13: needs root" >&2; exit 1; }
fail() { echo "check_debian13: $*" >&2; exit 1; }

source=$PWD
folder=${PENDRALUMOVISTA_CACHE:-/var/cache/pendralumovista}/debian13
root=$folder/root
mkdir -p "$folder"
exec 9> "$folder/lock"
flock 9

# Whatever was mounted into the system, and whatever still runs in it, goes
# before anything there is removed: a removal under a mounted /dev would
# reach the host's devices.
release_root() {
  local process
  for process in /proc/[0-9]*; do
    [ "$(readlink "$process/root" 2>/dev/null)" = "$root" ] && kill -9 "${process#/proc/}" 2>/dev/null || true
  done
  local mounted
  for mounted in $(findmnt -rn -o TARGET | grep -F "$root/" | sort -r); do
    umount -l "$mounted" 2>/dev/null || true
  done
}
trap release_root EXIT
release_root
if findmnt -rn -o TARGET | grep -qF "$root/"; then
  fail "something is still mounted under $root"
fi

if [ -f "$folder/made" ] && [ -n "$(find "$folder/made" -mtime +7)" ]; then
  echo "check_debian13: the kept Debian 13 is more than a week old, made anew"
  rm -f "$folder/made"
fi
if [ ! -f "$folder/made" ]; then
  rm -rf "$root"
  started=$SECONDS
  debootstrap --variant=minbase trixie "$root" http://deb.debian.org/debian > "$folder/debootstrap.log" 2>&1 ||
    { tail -20 "$folder/debootstrap.log"; fail "debootstrap of trixie failed"; }
  touch "$folder/made"
  echo "check_debian13: a minimal Debian 13 made in $((SECONDS - started)) s"
fi
grep -q '^VERSION_ID="13"' "$root/etc/os-release" || fail "$root is not Debian 13"

cp /etc/resolv.conf "$root/etc/resolv.conf"
# What the suite needs of a running system: processes, devices with shared
# memory (Xvfb, Chromium) and pseudo-terminals, and the kernel's view.
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mkdir -p "$root/dev/shm"

# The source anew, and the build from scratch: a build folder kept from an
# earlier run would take a source file whose time is older than its object
# (another checkout, another clone) for one already built, and test code
# that is not the source's.
mkdir -p "$root/src"
find "$root/src" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
(cd "$source" && tar -c --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./.cache .) | tar -x -C "$root/src"
status=0
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM=dumb PENDRALUMOVISTA_SAME_BYTES=skip \
  bash -c 'cd /src && ./build.sh test release packages' || status=$?
[ "$status" -eq 0 ] || fail "./build.sh test release packages failed on Debian 13 (status $status)"
echo "check_debian13: the Release suite passed on Debian 13, and its packages built, installed and purged"
