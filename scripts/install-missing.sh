#!/usr/bin/env bash
# Installs those of the given Debian packages that are not installed yet
# (as root). Every script of the project that needs packages calls this.
set -euo pipefail

missing=()
for p in "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
