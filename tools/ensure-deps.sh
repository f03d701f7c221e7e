#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are installed. As root it installs what is
# missing (one apt-get update first); otherwise it names the missing packages and fails.
# Usage: tools/ensure-deps.sh [extra packages...]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
