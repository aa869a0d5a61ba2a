#!/usr/bin/env bash
# The README's set-up on a bare Debian 12: a minimal bookworm (debootstrap
# --variant=minbase) gets a copy of the source tree and nothing else. There
# "./build.sh deb" must install whatever it needs and build both packages,
# and an ordinary user's "dpkg-buildpackage -us -uc -b" in a clean copy must
# build them too, with the tests as debian/rules has them and no nocheck.
# A package that build.sh's lists forget shows up here and nowhere else,
# since the machines that run the other checks have more installed.
#
#   tests/check_bare_system.sh [SYSTEM.tar]
#
# SYSTEM.tar, a tar of such a minimal system made earlier, saves the
# debootstrap. Without it, the fresh minimal system that debootstrap makes is
# kept as such a tar outside the source tree, in
# /var/cache/pendralumovista/bookworm-minbase.tar (or under
# $PENDRALUMOVISTA_CACHE), for a week: nothing is ever installed into the
# tar, so each run still starts from a bare system. Runs as root
# (debootstrap and chroot need it).
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check_bare_system: needs root" >&2; exit 1; }
scratch=$(mktemp -d /tmp/pendralumovista-bare.XXXXXX)
root=$scratch/root
clean_up() {
  umount "$root/proc" 2>/dev/null || true
  # Never a removal through a folder still mounted from outside.
  if umount "$root/var/cache/apt/archives" 2>/dev/null || ! findmnt -rn -o TARGET | grep -qF "$root/"; then
    rm -rf "$scratch"
  fi
}
trap clean_up EXIT
fail() { echo "check_bare_system: $*" >&2; exit 1; }

mkdir "$root"
system=${1:-}
if [ -z "$system" ]; then
  cache=${PENDRALUMOVISTA_CACHE:-/var/cache/pendralumovista}
  system=$cache/bookworm-minbase.tar
  mkdir -p "$cache"
  exec 9> "$cache/bookworm-minbase.lock"
  flock 9
  if [ ! -f "$system" ] || [ -n "$(find "$system" -mtime +7)" ]; then
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$scratch/debootstrap.log" ||
      { tail -20 "$scratch/debootstrap.log"; fail "debootstrap failed"; }
    tar -cf "$system.part" -C "$root" . && mv "$system.part" "$system"
    rm -rf "$root" && mkdir "$root"
  fi
  flock -u 9
fi
tar -xf "$system" -C "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
# The packages apt fetches are kept beside the tar, so that a later run
# installs the same ones without downloading them again.
archives=${PENDRALUMOVISTA_CACHE:-/var/cache/pendralumovista}/bookworm-archives
mkdir -p "$archives/partial"
mount --bind "$archives" "$root/var/cache/apt/archives"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
copy_source() {
  mkdir -p "$root/$1"
  tar -c --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./.cache . | tar -x -C "$root/$1"
}

# As the README says, as root. The tests at build time run in the build
# daemon's build below; here they would only repeat.
copy_source /src
in_root bash -c 'cd /src && DEB_BUILD_OPTIONS=nocheck ./build.sh deb' > "$scratch/deb.log" 2>&1 ||
  { tail -30 "$scratch/deb.log"; fail "./build.sh deb failed on a minimal Debian 12"; }
ls "$root"/src/build-deb/pendralumovista_*.deb "$root"/src/build-deb/pendralumovista-ansage_*.deb > /dev/null ||
  fail "./build.sh deb left no packages"

# As a build daemon does: a clean tree, an ordinary user, nothing but what
# the Build-Depends and build-essential bring (build.sh installed those).
in_root useradd --create-home builder
copy_source /home/builder/src
in_root chown -R builder: /home/builder/src
in_root su builder -c 'cd /home/builder/src && dpkg-buildpackage -us -uc -b' > "$scratch/buildpackage.log" 2>&1 ||
  { tail -30 "$scratch/buildpackage.log"; fail "dpkg-buildpackage -us -uc -b failed on a minimal Debian 12"; }
ls "$root"/home/builder/pendralumovista_*.deb > /dev/null || fail "dpkg-buildpackage left no packages"
echo "check_bare_system: ./build.sh deb and dpkg-buildpackage -us -uc -b build both packages on a minimal Debian 12"
