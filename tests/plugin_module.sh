#!/usr/bin/env bash
# Checks the file structure of zavol.dlf without running it: the export directory's module name
# and its four names, the COMCTL32 import by ordinal 17 without a name, the host SDK DLLs it
# imports, no compiler runtime DLL beside them, and the two dialogs as its only resources.
# Usage: plugin_module.sh OBJDUMP zavol.dlf
set -uo pipefail
objdump=${1:?usage: plugin_module.sh OBJDUMP DLL}
dll=${2:?usage: plugin_module.sh OBJDUMP DLL}
dump=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The export directory names the module.
grep -Eq '^Name[[:space:]]+[0-9a-fA-F]+ RUVAZ\.ero$' <<<"$dump" \
  || fail "export directory module name is not RUVAZ.ero"

# Exactly the four undecorated names, nothing else exported.
exports=$(echo "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next}
  on && /^[[:space:]]*\[/ {print $NF; next} on {exit}' | sort | tr '\n' ' ')
[ "$exports" = "LibClassDesc LibDescription LibNumberClasses LibVersion " ] \
  || fail "exports are '$exports'"

# One section per imported DLL: "DLL Name: X" followed by its entries up to a blank line.
imports_of() {
  echo "$dump" | awk -v want="$1" '
    /^[[:space:]]*DLL Name: / {on = (tolower($3) == tolower(want)); next}
    on && /vma:/ {next}
    on && /^[[:space:]]*$/ {on = 0; next}
    on {print}'
}

comctl=$(imports_of COMCTL32.dll)
[ -n "$comctl" ] || fail "no import from COMCTL32.dll"
[ "$(grep -c . <<<"$comctl")" -eq 1 ] || fail "COMCTL32.dll imports more than one entry: $comctl"
# By ordinal: the thunk has its top bit set and the ordinal 17 (0x11) below it; no name.
grep -Eq '^[[:space:]]*80*11[[:space:]].*<none>[[:space:]]*$' <<<"$comctl" \
  || fail "COMCTL32.dll entry is not ordinal 17 without a name: $comctl"
grep -q InitCommonControls <<<"$comctl" && fail "COMCTL32.dll imported by name"

dlls=$(echo "$dump" | awk '/^[[:space:]]*DLL Name: / {print tolower($3)}')
for host in core.dll bmm.dll flt.dll util.dll; do
  grep -qx "$host" <<<"$dlls" || fail "does not import $host"
done
for runtime in 'libgcc_s.*' 'libstdc\+\+.*' 'libwinpthread.*'; do
  grep -Eqx "$runtime" <<<"$dlls" && fail "imports a compiler runtime DLL ($runtime)"
done

# The only resources are the two dialog templates (type 5, ids 101 and 102): nothing a runtime
# library carries, such as a version resource, is linked in.
rsrc=$(echo "$dump" | sed -n '/^The .rsrc Resource Directory section:/,/^ *Resources start at/p')
types=$(grep -E '^[0-9a-f]+ {3}Entry: ID: ' <<<"$rsrc" | awk '{print $4}' | tr -d ',' | tr '\n' ' ')
names=$(grep -E '^[0-9a-f]+ {5}Entry: ID: ' <<<"$rsrc" | awk '{print $4}' | tr -d ',' | tr '\n' ' ')
[ "$types" = "0x000005 " ] && [ "$names" = "0x000065 0x000066 " ] \
  || fail "resources are types '$types' names '$names', not dialogs 101 and 102 alone"

case "$dll" in *.dlf) ;; *) fail "file name $dll does not end in .dlf" ;; esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $dll"
  exit 1
fi
echo "zavol.dlf structure: module name, 4 exports, COMCTL32 ordinal 17, host DLLs, resources: all as expected"
