#!/bin/sh
# orvane.exe as built: its PE hardening flags, stack checks, system DLLs only.
# Usage: pe_flags.sh OBJDUMP ORVANE_EXE
set -eu
headers=$("$1" -p "$2")
status=0
# Catches a link without ASLR (high entropy too), DEP or the terminal-server flag.
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE; do
    printf '%s\n' "$headers" | grep -qw "$flag" || { echo "MISSING: $flag" >&2; status=1; }
done
# Catches a runtime DLL (libssp, libstdc++, libwinpthread) Windows would look for beside the program.
if printf '%s\n' "$headers" | grep -qiE '^[[:space:]]*DLL Name: lib'; then
    echo "imports a runtime DLL" >&2; status=1
fi
# Catches a build without stack canaries: nothing would call the check.
"$1" -d "$2" | grep -q 'call.*<__stack_chk_fail>' || { echo "no stack canaries" >&2; status=1; }
exit $status
