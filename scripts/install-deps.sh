#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need. Each
# component lists its own in scripts/packages/*.list (one package per line).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(cat "$here"/packages/*.list | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# npm tools for the tests, if any component asks for them. Debian's nodejs
# comes without npm (a package of its own); other builds of nodejs bundle it.
if [ -f "$here/../tests/node/package.json" ] && ! command -v npm >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: npm is missing and installing it needs root" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm ca-certificates >/dev/null
fi
if [ -f "$here/../tests/node/package.json" ] && [ ! -d "$here/../tests/node/node_modules" ]; then
  (cd "$here/../tests/node" && npm install --no-audit --no-fund --silent)
fi
