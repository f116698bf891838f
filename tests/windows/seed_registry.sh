#!/usr/bin/env bash
# Seeds Wine's machine registry for the registry reader and the system
# information launcher: values of every kind under a test key, and the tool's
# place pointing at the probe program.
# Usage: seed_registry.sh PROBE_EXE
set -euo pipefail
probe=$1
: "${WINEPREFIX:?run under the Windows test environment (scripts/test.d/60-windows.sh)}"
win() { printf 'Z:%s' "${1//\//\\}"; }

values='HKLM\SOFTWARE\Dorvane Tests\Values'
wine reg delete "$values" /f >/dev/null 2>&1 || true
wine reg add "$values" /v Text /d 'C:\Tools\tool.exe' /f >/dev/null
wine reg add "$values" /v Empty /d '' /f >/dev/null
wine reg add "$values" /v Number /t REG_DWORD /d 0x1f2e /f >/dev/null
wine reg add "$values" /v Long /d "$(printf 'x%.0s' $(seq 1500))" /f >/dev/null
# Text of no bytes at all, and binary data: only an import writes those. (Text
# without its NUL is written by the test itself: an import adds the NUL.)
reg_file=$(mktemp /tmp/dorvane-seed.XXXXXX.reg)
trap 'rm -f "$reg_file"' EXIT
cat > "$reg_file" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Dorvane Tests\Values]
"NoData"=hex(1):
"Binary"=hex:01,02
REG
wine reg import "$(win "$reg_file")" >/dev/null 2>&1

wine reg add 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO' /v PATH /d "$(win "$probe")" /f >/dev/null
wine reg delete 'HKLM\SOFTWARE\Microsoft\Shared Tools Location' /v MSINFO /f >/dev/null 2>&1 || true
echo "seed_registry: done"
