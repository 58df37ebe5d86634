#!/bin/sh
# orvane.exe as built: the hardening flags of its PE header, the stack
# protector linked in, and imports of system DLLs only.
# Usage: pe_flags.sh OBJDUMP ORVANE_EXE
set -eu
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe")
status=0
# Catches a link without ASLR (high entropy too), DEP or the terminal-server flag.
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE; do
    if printf '%s\n' "$headers" | grep -qw "$flag"; then
        echo "has $flag"
    else
        echo "MISSING: $flag" >&2
        status=1
    fi
done
# Catches a runtime DLL (the stack protector's libssp, libstdc++, libgcc,
# libwinpthread) that Windows would look for beside the program.
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports:" $imports
if printf '%s\n' "$imports" | grep -qi '^lib'; then
    echo "IMPORTS A RUNTIME DLL" >&2
    status=1
fi
# Catches a build without stack canaries: nothing would call the check.
if "$objdump" -d "$exe" | grep -q 'call.*<__stack_chk_fail>'; then
    echo "has stack canaries"
else
    echo "NO STACK CANARIES" >&2
    status=1
fi
exit $status
