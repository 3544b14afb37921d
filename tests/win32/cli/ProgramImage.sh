#!/usr/bin/env bash
# What a Windows program of the project must carry, read from its file: ASLR (with 64-bit
# entropy) and DEP in the PE header's DllCharacteristics, imports from system DLLs only, the
# flash kernels as FLASH resources 134 and 148, and a version resource with the project version.
# Usage: ProgramImage.sh PROGRAM.exe VERSION
set -euo pipefail
exe=$1 version=$2
fail() { echo "FAIL ($(basename "$exe")): $*" >&2; exit 1; }

headers=$(x86_64-w64-mingw32-objdump -p "$exe")
flags=$(awk '/^DllCharacteristics/ { print $2 }' <<<"$headers")
# 0x20 HIGH_ENTROPY_VA, 0x40 DYNAMIC_BASE, 0x100 NX_COMPAT
(( (0x$flags & 0x160) == 0x160 )) || fail "DllCharacteristics $flags lacks ASLR or DEP"
grep -q 'There is a base relocation table\|\.reloc' <<<"$headers" ||
  x86_64-w64-mingw32-objdump -h "$exe" | grep '\.reloc' > /dev/null || fail "no relocations: ASLR cannot move it"

# Windows' KnownDLLs, which the loader takes from System32 whatever lies beside the program, and
# comctl32, which the manifest takes from the side-by-side store.
system_dlls=' kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll setupapi.dll comctl32.dll comdlg32.dll shell32.dll ole32.dll '
while read -r dll; do
  [[ $system_dlls == *" ${dll,,} "* ]] || fail "imports $dll, which is not a system DLL"
done < <(awk '/DLL Name:/ { print $3 }' <<<"$headers")

resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc)
for id in 134 148; do
  grep -q "^$id \"FLASH\"" <<<"$resources" || fail "no FLASH resource $id"
done
grep -q "FILEVERSION ${version//./, }, 0" <<<"$resources" || fail "no version resource for $version"
echo "ok"
