#!/usr/bin/env bash
# The Debian package unpacked into a scratch root (dpkg -x) and checked: its
# control fields and dependencies, exactly the expected files, the programs
# running from there, the desktop entry, the icon, the manual pages, the
# AppStream metainfo, the package of the viewer's font among the
# dependencies, and lintian --pedantic with no error or warning.
#
#   deb_package_test.sh DEB VERSION viewer|no-viewer
#   deb_package_test.sh BUILD_DIR VERSION viewer|no-viewer   (runs cpack there first)
#
# Exits 77 (skipped) when the Debian tools it needs are missing.
set -euo pipefail

source=$1
version=$2
with_viewer=$3

for tool in dpkg-deb dpkg-shlibdeps file cpack desktop-file-validate man gzip lintian appstreamcli \
    strings; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/setup installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

deb_name="quellkamp_${version}_$(dpkg --print-architecture).deb"
if [ -d "$source" ]; then
    # gzip rather than xz: the same package, made quicker.
    (cd "$source" && cpack -G DEB -B "$work/cpack" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
        >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
    deb="$work/cpack/$deb_name"
else
    deb=$source
fi
[ -f "$deb" ] || fail "no package $deb_name"
[ "$(basename "$deb")" = "$deb_name" ] || fail "package named $(basename "$deb"), not $deb_name"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = quellkamp ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
expected_libraries=(libc6 libstdc++6)
[ "$with_viewer" = viewer ] && expected_libraries+=(libqt6widgets6 libqt6gui6 libqt6core6)
for library in "${expected_libraries[@]}"; do
    [[ ", $depends" == *", $library "* || ", $depends," == *", $library,"* ]] ||
        fail "Depends lacks $library: $depends"
done

# Exactly these files, nothing from the build or the tests.
expected=(./usr/bin/quellkamp-list ./usr/share/man/man1/quellkamp-list.1.gz
    ./usr/share/doc/quellkamp/copyright ./usr/share/doc/quellkamp/changelog.gz)
[ "$with_viewer" = viewer ] && expected+=(./usr/bin/quellkamp ./usr/share/man/man1/quellkamp.1.gz
    ./usr/share/applications/quellkamp.desktop
    ./usr/share/icons/hicolor/scalable/apps/quellkamp.svg
    ./usr/share/metainfo/org.example.quellkamp.metainfo.xml)
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package holds other files than expected"

root="$work/root"
dpkg -x "$deb" "$root"

[ "$("$root/usr/bin/quellkamp-list" --version)" = "quellkamp-list $version" ] ||
    fail "quellkamp-list --version from the package"

# Each manual page renders without warnings and holds these texts.
check_manual() {
    local page=$1
    shift
    man_out=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" \
        2>"$work/man.err") || fail "man -l $page failed: $(cat "$work/man.err")"
    [ ! -s "$work/man.err" ] || fail "$page: man page warnings: $(cat "$work/man.err")"
    for text in "$@" "EXIT STATUS" "Quellkamp $version"; do
        [[ "$man_out" == *"$text"* ]] || fail "the man page $page lacks '$text'"
    done
}
check_manual quellkamp-list "QUELLKAMP-LIST(1)" "--version" "--same-name TEXT"

# The changelog's latest entry is this version.
[ "$(gzip -dc "$root/usr/share/doc/quellkamp/changelog.gz" | head -n 1)" = \
    "quellkamp ($version) unstable; urgency=medium" ] || fail "the changelog's latest entry is not $version"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
    "$root/usr/share/doc/quellkamp/copyright" || fail "the copyright file is not machine-readable"

# No error or warning, pedantic and experimental tags included. A build
# folder's package is not built with the distribution's hardening flags (only
# scripts/package's is), so those tags are left to the release package.
lintian_args=(--pedantic --display-experimental --fail-on error,warning,info,pedantic)
[ -d "$source" ] && lintian_args+=(--suppress-tags hardening-no-fortify-functions,hardening-no-bindnow)
lintian "${lintian_args[@]}" "$deb" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"
! grep -E '^[EWIPX]: ' "$work/lintian" || fail "lintian complains"

if [ "$with_viewer" = viewer ]; then
    [ "$("$root/usr/bin/quellkamp" --version)" = "quellkamp $version" ] ||
        fail "quellkamp --version from the package"
    desktop="$root/usr/share/applications/quellkamp.desktop"
    desktop-file-validate "$desktop" >"$work/validate" 2>&1 || fail "$(cat "$work/validate")"
    [ ! -s "$work/validate" ] || fail "desktop-file-validate: $(cat "$work/validate")"
    for line in "Exec=quellkamp %f" "Icon=quellkamp" "MimeType=text/plain;" "Type=Application"; do
        grep -qxF "$line" "$desktop" || fail "the desktop entry lacks '$line'"
    done
    [ "$(sed -n 's/^Categories=//p' "$desktop")" = "Office;Viewer;" ] || fail "Categories"
    icon="$root/usr/share/icons/hicolor/scalable/apps/quellkamp.svg"
    file -b "$icon" | grep -q '^SVG' || fail "the icon is no SVG: $(file -b "$icon")"
    check_manual quellkamp "QUELLKAMP(1)" "--version" "[LOG]"

    metainfo="$root/usr/share/metainfo/org.example.quellkamp.metainfo.xml"
    appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream" 2>&1 ||
        fail "appstreamcli: $(cat "$work/appstream")"
    grep -qF '<launchable type="desktop-id">quellkamp.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not launch quellkamp.desktop"
    grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
    # The screenshot it shows is one of the repository's.
    shot=$(sed -n 's|.*<image>https://[^/]*/\(.*\)</image>.*|\1|p' "$metainfo")
    [ -n "$shot" ] && [ -f "$(dirname "$0")/../../$shot" ] || fail "the metainfo's screenshot '$shot' is not in the tree"

    # Every font file the viewer loads belongs to a package the viewer
    # depends on (the host's dpkg says which; skipped for fonts it lacks).
    mapfile -t fonts < <(strings "$root/usr/bin/quellkamp" | grep -E '^/usr/share/.*\.(ttf|otf)$' | sort -u)
    [ ${#fonts[@]} -gt 0 ] || fail "the viewer names no font file"
    for font in "${fonts[@]}"; do
        owner=$(dpkg-query -S "$font" 2>/dev/null | cut -d: -f1) || continue
        [[ ", $depends," == *", $owner,"* || ", $depends" == *", $owner "* ]] ||
            fail "the viewer loads $font from $owner, which Depends lacks: $depends"
    done
fi
echo "deb package: ok ($(basename "$deb"))"
