#!/usr/bin/env bash
# quellkamp-list prints the same bytes on every system: each case's output
# (standard output, standard error and exit status) is compared with the one
# recorded in same_bytes/. The Linux build runs the program directly, the
# Windows build through Wine.
#
#   same_bytes_test.sh EXAMPLES_DIR LISTER [LISTER_PREFIX...]
#   QK_RECORD=1 same_bytes_test.sh ...   records the outputs anew
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples=$1
shift
cd "$examples"

cases=(
    "count|--count dubletten.txt"
    "find_sort_json|--find Flansch --sort Byte dubletten.txt"
    "same_name_csv|--csv --same-name Flansch-19359.psm dubletten.txt"
    "spreadsheet_csv|--spreadsheet-csv --find Flansch --sort Byte dubletten.txt"
    "umlaut_argument|--find Spannbügel --sort Datum dubletten.txt"
    "groups_json|--find Flansch --groups dubletten.txt"
    "folder_pairs_spreadsheet|--spreadsheet-csv --folder-pairs dubletten.txt"
    "missing_log|fehlt.txt"
    "bad_column|--sort Farbe dubletten.txt"
)
failed=0
for entry in "${cases[@]}"; do
    name=${entry%%|*}
    read -r -a arguments <<<"${entry#*|}"
    status=0
    "$@" "${arguments[@]}" >"/tmp/qk-same-$$.out" 2>"/tmp/qk-same-$$.err" || status=$?
    # Wine's own notes on standard error are not the program's.
    grep -v '^wine: ' "/tmp/qk-same-$$.err" >"/tmp/qk-same-$$.err2" || true
    { cat "/tmp/qk-same-$$.out"; echo "--- stderr"; cat "/tmp/qk-same-$$.err2"; echo "--- status $status"; } \
        >"/tmp/qk-same-$$.all"
    if [ -n "${QK_RECORD:-}" ]; then
        cp "/tmp/qk-same-$$.all" "$here/same_bytes/$name.txt"
    elif ! cmp -s "/tmp/qk-same-$$.all" "$here/same_bytes/$name.txt"; then
        echo "FAIL: $name differs:" >&2
        diff <(od -c "$here/same_bytes/$name.txt") <(od -c "/tmp/qk-same-$$.all") | head -20 >&2
        failed=$((failed + 1))
    fi
done
rm -f /tmp/qk-same-$$.*
[ "$failed" = 0 ] || exit 1
echo "same bytes: ${#cases[@]} cases passed"
