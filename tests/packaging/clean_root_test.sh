#!/usr/bin/env bash
# The Debian package installed with apt into a fresh minimal Debian 12 root,
# one that has no fonts-wine and only the fonts its other packages bring: the
# package's dependencies must bring every font file the viewer loads, and
# both programs must run there.
#
#   clean_root_test.sh DEB CACHE_DIR
#   clean_root_test.sh BUILD_DIR CACHE_DIR   (runs cpack there first)
#
# The minimal root is made once with debootstrap and kept in CACHE_DIR as a
# tar file, the packages apt fetches for it too; each run starts from a fresh
# copy. Needs root and the network the first time; exits 77 (skipped) when
# either is missing.
set -euo pipefail

source=$1
cache=$2
suite=bookworm
mirror=${QK_DEBIAN_MIRROR:-http://deb.debian.org/debian}

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || skip "needs root for chroot"
for tool in debootstrap chroot dpkg-deb fc-scan strings; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup installs it)"
done

if [ -d "$source" ]; then
    command -v cpack >/dev/null || skip "cpack is missing"
    packed=$(mktemp -d)
    trap 'rm -rf "$packed"' EXIT
    (cd "$source" && cpack -G DEB -B "$packed" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
        >"$packed/cpack.log" 2>&1) || { cat "$packed/cpack.log"; fail "cpack failed"; }
    deb=$(ls "$packed"/quellkamp_*.deb)
else
    deb=$(realpath "$source")
fi

mkdir -p "$cache/archives/partial"
cache=$(realpath "$cache")
pristine="$cache/$suite-minbase.tar"
if [ ! -f "$pristine" ]; then
    staging="$cache/staging"
    rm -rf "$staging"
    debootstrap --variant=minbase --cache-dir="$cache/archives" "$suite" "$staging" "$mirror" \
        >"$cache/debootstrap.log" 2>&1 ||
        skip "debootstrap failed (no network?): $(tail -n 3 "$cache/debootstrap.log")"
    chroot "$staging" apt-get update -qq >>"$cache/debootstrap.log" 2>&1 ||
        skip "apt-get update in the root failed (no network?)"
    tar -C "$staging" -cf "$pristine.part" . && mv "$pristine.part" "$pristine"
    rm -rf "$staging"
fi

work=$(mktemp -d "$cache/run.XXXXXX")
root="$work/root"
cleanup() {
    for mount in "$root/var/cache/apt/archives" "$root/proc"; do
        if mountpoint -q "$mount"; then umount "$mount"; fi
    done
    rm -rf "$work" "${packed:-}"
}
trap cleanup EXIT
mkdir "$root"
tar -C "$root" -xf "$pristine"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

! in_root dpkg -s fonts-wine >/dev/null 2>&1 || fail "the fresh root already has fonts-wine"
cp "$deb" "$root/tmp/"
# Only what the package depends on: a stock system may leave out recommends.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }

version=$(dpkg-deb --field "$deb" Version)
[ "$(in_root quellkamp-list --version)" = "quellkamp-list $version" ] || fail "quellkamp-list --version"
if [ -e "$root/usr/bin/quellkamp" ]; then
    [ "$(in_root quellkamp --version)" = "quellkamp $version" ] || fail "quellkamp --version"
    # The font files the viewer loads by their path.
    mapfile -t fonts < <(strings "$root/usr/bin/quellkamp" | grep -E '^/usr/share/.*\.(ttf|otf)$' | sort -u)
    [ ${#fonts[@]} -gt 0 ] || fail "the viewer names no font file"
    for font in "${fonts[@]}"; do
        [ -f "$root$font" ] || fail "$font, which the viewer loads, is not in the root"
        family=$(fc-scan --format '%{family}' "$root$font")
        [ -n "$family" ] || fail "$font is no font fontconfig can read"
        echo "clean root: $font ($family)"
    done
fi
echo "clean root: ok ($(basename "$deb") in a fresh $suite root)"
