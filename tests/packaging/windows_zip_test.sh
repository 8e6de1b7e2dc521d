#!/usr/bin/env bash
# The Windows zip checked: exactly the two programs, the read-me and the
# licence in one folder, both programs 64-bit Windows executables (the viewer without a
# console window), every DLL they need either part of Windows or in the zip,
# and the texts with Windows line ends.
#
#   windows_zip_test.sh ZIP
set -euo pipefail

zip=$1
folder=$(basename "$zip" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

unzip -Z1 "$zip" | sort >"$work/files"
printf '%s\n' "$folder/" "$folder/LICENSE.txt" "$folder/README.txt" "$folder/quellkamp-list.exe" \
    "$folder/quellkamp.exe" |
    sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the zip holds other files than expected"
unzip -q "$zip" -d "$work"
dir="$work/$folder"

file -b "$dir/quellkamp.exe" | grep -q '^PE32+ executable (GUI) x86-64' ||
    fail "quellkamp.exe: $(file -b "$dir/quellkamp.exe")"
file -b "$dir/quellkamp-list.exe" | grep -q '^PE32+ executable (console) x86-64' ||
    fail "quellkamp-list.exe: $(file -b "$dir/quellkamp-list.exe")"

# The MinGW run-time (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll)
# is not part of Windows: linked statically, or shipped along.
for exe in "$dir"/*.exe; do
    for dll in $(objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
        case "${dll,,}" in
        lib*.dll) [ -f "$dir/$dll" ] || fail "$(basename "$exe") needs $dll, which is not in the zip" ;;
        esac
    done
done

readme="$dir/README.txt"
grep -q "^Quellkamp [0-9][0-9.]* for Windows"$'\r'"\$" "$readme" || fail "README.txt lacks its title line"
! grep -q '@VERSION@' "$readme" || fail "README.txt has no version"
for text in "$readme" "$dir/LICENSE.txt"; do
    [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] || fail "$(basename "$text") has lines without CR LF"
done
# The licence as in the source tree.
[ "$(tr -d '\r' <"$dir/LICENSE.txt")" = "$(cat "$(dirname "$0")/../../LICENSE")" ] ||
    fail "LICENSE.txt is not the project's licence"
echo "windows zip: ok ($(basename "$zip"))"
