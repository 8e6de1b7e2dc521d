#!/usr/bin/env bash
# The Debian package unpacked into a scratch root (dpkg -x) and checked: its
# control fields and dependencies, exactly the expected files, the programs
# running from there, the desktop entry, the icon and the manual page.
#
#   deb_package_test.sh DEB VERSION viewer|no-viewer
#   deb_package_test.sh BUILD_DIR VERSION viewer|no-viewer   (runs cpack there first)
#
# Exits 77 (skipped) when the Debian tools it needs are missing.
set -euo pipefail

source=$1
version=$2
with_viewer=$3

for tool in dpkg-deb dpkg-shlibdeps file cpack desktop-file-validate man gzip; do
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
expected=(./usr/bin/quellkamp-list ./usr/share/man/man1/quellkamp-list.1.gz)
[ "$with_viewer" = viewer ] && expected+=(./usr/bin/quellkamp
    ./usr/share/applications/quellkamp.desktop
    ./usr/share/icons/hicolor/scalable/apps/quellkamp.svg)
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package holds other files than expected"

root="$work/root"
dpkg -x "$deb" "$root"

[ "$("$root/usr/bin/quellkamp-list" --version)" = "quellkamp-list $version" ] ||
    fail "quellkamp-list --version from the package"

man_out=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/quellkamp-list.1.gz" \
    2>"$work/man.err") || fail "man -l failed: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man page warnings: $(cat "$work/man.err")"
for text in "QUELLKAMP-LIST(1)" "--version" "--same-name TEXT" "EXIT STATUS" "Quellkamp $version"; do
    [[ "$man_out" == *"$text"* ]] || fail "the man page lacks '$text'"
done

if [ "$with_viewer" = viewer ]; then
    [ "$("$root/usr/bin/quellkamp" --version)" = "quellkamp $version" ] ||
        fail "quellkamp --version from the package"
    desktop="$root/usr/share/applications/quellkamp.desktop"
    # Hints (such as two main categories, on purpose) are fine; errors and warnings not.
    desktop-file-validate "$desktop" >"$work/validate" 2>&1 || fail "$(cat "$work/validate")"
    ! grep -v ': hint: ' "$work/validate" || fail "desktop-file-validate complains"
    for line in "Exec=quellkamp %f" "Icon=quellkamp" "MimeType=text/plain;" "Type=Application"; do
        grep -qxF "$line" "$desktop" || fail "the desktop entry lacks '$line'"
    done
    categories=$(sed -n 's/^Categories=//p' "$desktop")
    [[ ";$categories" == *";Utility;"* && ";$categories" == *";Office;"* ]] ||
        fail "Categories: $categories"
    icon="$root/usr/share/icons/hicolor/scalable/apps/quellkamp.svg"
    file -b "$icon" | grep -q '^SVG' || fail "the icon is no SVG: $(file -b "$icon")"
fi
echo "deb package: ok ($(basename "$deb"))"
