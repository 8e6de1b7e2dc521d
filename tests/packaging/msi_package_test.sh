#!/usr/bin/env bash
# The MSI package under Wine, in a fresh temporary Wine prefix: built from the
# Windows build at VERSION and at the next patch version, installed silently
# (the files, the shortcut, the uninstall entry, the PATH entry, both
# installed programs' --version), replaced in place by the newer package,
# refused to be replaced by the older one, replaced by a rebuild of its
# version, removed silently with nothing of it left behind; then installed with ADDTOPATH=0, which leaves the PATH alone.
# Says SKIP (77) when wixl or msibuild is missing.
#
#   msi_package_test.sh WINE_RUN VIEWER_EXE LISTER_EXE VERSION
set -euo pipefail

wine_run=$1
viewer=$2
lister=$3
version=$4
here=$(cd "$(dirname "$0")" && pwd)
packaging=$here/../../packaging/windows
for tool in wixl msibuild; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (Debian packages wixl and msitools, scripts/setup)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- The packages ------------------------------------------------------------
IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"
run=$work/run
mkdir -p "$run/out"
for package in "old $version" "new $newer" "rebuilt $newer"; do
    read -r name number <<<"$package"
    "$packaging/stage" "$number" "$viewer" "$lister" "$work/$name"
    "$packaging/make-msi" "$number" "$work/$name" "$run/$name.msi" 2>"$work/make-msi.log" ||
        fail "make-msi $number: $(cat "$work/make-msi.log")"
done
size_kb=$(du -k --apparent-size -c "$work/old"/* | tail -n 1 | cut -f 1)
# The codes the installer registers, as written and in its packed form.
packed() { # {8-4-4-4-12}: the first three groups reversed, the rest swapped in pairs
    local hex=${1//[\{\}-]/}
    printf '%s%s%s' "$(rev <<<"${hex:0:8}")" "$(rev <<<"${hex:8:4}")" "$(rev <<<"${hex:12:4}")"
    sed 's/\(.\)\(.\)/\2\1/g' <<<"${hex:16}"
}
codes=()
for name in old new rebuilt; do
    for property in ProductCode UpgradeCode; do
        code=$(msiinfo export "$run/$name.msi" Property | tr -d '\r' | awk -v p="$property" '$1 == p {print $2}')
        [ -n "$code" ] || fail "$name.msi has no $property"
        codes+=("${code//[\{\}]/}" "$(packed "$code")")
    done
done

# Wine's removal takes the PATH entry out even without the flag that tells
# Windows to: the row itself is checked.
msiinfo export "$run/new.msi" Environment | tr -d '\r' |
    grep -qxF $'PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tPathEntry' ||
    fail "the PATH entry is not appended to the system PATH and removed with the package"

# --- The steps in Wine -------------------------------------------------------
sed 's/$/\r/' "$here/msi_steps.bat" >"$run/steps.bat"
# No menu entries of the test prefix's shortcuts in the desktop's menus.
WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d" \
    "$wine_run" cmd /c "Z:$(tr / '\\' <<<"$run/steps.bat")" >"$work/wine.log" 2>&1 ||
    fail "the steps did not run under Wine: $(tail -n 20 "$work/wine.log")"
out=$run/out
text() { tr -d '\r' <"$out/$1" 2>/dev/null || true; }
registry() { iconv -f UTF-16 -t UTF-8 "$out/$1" | tr -d '\r'; }

expected_status="install 0
upgrade 0
downgrade 1603
rebuild 0
remove 0
install-without-path 0
remove-without-path 0"
[ "$(text status.txt)" = "$expected_status" ] ||
    fail "msiexec's exit codes differ:"$'\n'"$(text status.txt)"

# The PATH's folders, one a line, empty ones left out (Wine's removal leaves
# the separator of an appended folder behind).
path_folders() { text "$1-path.txt" | sed -n 's/^ *Path *REG_[A-Z_]* *//p' | tr ';' '\n' | sed '/^$/d'; }
folder='C:\Program Files\Quellkamp\'
before_path=$(path_folders removed-without-path)
[ -n "$before_path" ] || fail "no PATH in the registry"

# What an installation of version $2 shows in state $1.
check_installed() { # STATE VERSION
    local state=$1 number=$2
    [ "$(text "$state-files.txt" | sort)" = "$(printf '%s\n' LICENSE.txt README.txt quellkamp-list.exe quellkamp.exe)" ] ||
        fail "$state: the installation folder holds: $(text "$state-files.txt" | tr '\n' ' ')"
    [ "$(text "$state-readme.txt" | head -n 1)" = "Quellkamp $number for Windows" ] ||
        fail "$state: README.txt is not the one of $number"
    [ -f "$out/$state.lnk" ] || fail "$state: no shortcut Quellkamp in the Start menu"
    iconv -f UTF-16LE -t UTF-8 "$out/$state.lnk" 2>/dev/null | grep -aqF 'Program Files\Quellkamp\quellkamp.exe' ||
        grep -aqF 'Program Files\Quellkamp\quellkamp.exe' "$out/$state.lnk" ||
        fail "$state: the shortcut does not point at the installed quellkamp.exe"
    local entries
    entries=$(text "$state-uninstall.txt" | grep -c 'DisplayName *REG_SZ *Quellkamp$' || true)
    [ "$entries" = 1 ] || fail "$state: $entries entries Quellkamp in the installed programs, not 1"
    local entry
    entry=$(text "$state-uninstall.txt" | awk 'BEGIN { RS = "" } /DisplayName +REG_SZ +Quellkamp\n/')
    for value in "DisplayVersion *REG_SZ *$number" "Publisher *REG_SZ *Quellkamp developers" \
        "Size *REG_SZ *$size_kb"; do
        grep -q "^ *$value\$" <<<"$entry" || fail "$state: the uninstall entry lacks $value:"$'\n'"$entry"
    done
    text "$state-products.txt" | grep -q 'ProductIcon *REG_SZ .*\\quellkamp.ico$' ||
        fail "$state: the installed program has no icon"
}
check_installed installed "$version"
[ "$(text lister-version.txt)" = "quellkamp-list $version" ] ||
    fail "the installed quellkamp-list.exe --version says: $(text lister-version.txt)"
[ "$(text viewer-version.txt)" = "quellkamp $version" ] ||
    fail "the installed quellkamp.exe --version says: $(text viewer-version.txt)"
check_installed upgraded "$newer"
check_installed downgraded "$newer"
check_installed rebuilt "$newer"
check_installed without-path "$newer"
for state in installed upgraded downgraded rebuilt; do
    [ "$(path_folders "$state")" = "$before_path"$'\n'"$folder" ] ||
        fail "$state: the PATH is not the system's with $folder once at its end: $(path_folders "$state" | tr '\n' ';')"
done
[ "$(path_folders without-path)" = "$before_path" ] || fail "ADDTOPATH=0 changed the PATH"

# Nothing of the package left after its removal.
for state in removed removed-without-path; do
    [ ! -s "$out/$state-files.txt" ] || fail "$state: the installation folder is still there"
    [ ! -f "$out/$state.lnk" ] || fail "$state: the shortcut is still there"
    ! text "$state-uninstall.txt" | grep -qi quellkamp || fail "$state: the uninstall entry is still there"
    [ "$(path_folders "$state")" = "$before_path" ] || fail "$state: the PATH still names the folder"
done
for hive in hklm hkcu; do
    registry "after-$hive.reg" >"$work/after-$hive"
    for word in Quellkamp "${codes[@]}"; do
        ! grep -qiF "$word" "$work/after-$hive" ||
            fail "$hive still holds $word: $(grep -iF "$word" "$work/after-$hive" | head -n 3)"
    done
done
text before-files.txt | sort >"$work/before-files"
text after-files.txt | sort >"$work/after-files"
# The installer's own cache folder, which every Windows has, stays (empty).
left=$(comm -13 "$work/before-files" "$work/after-files" | grep -vx 'C:\\windows\\Installer' || true)
[ -z "$left" ] || fail "files left after the removal:"$'\n'"$left"
echo "msi package: ok ($version, then $newer over it)"
