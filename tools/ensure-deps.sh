#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are installed. As root it installs what is
# missing (one apt-get update first); otherwise it names the missing packages and fails.
# Usage: tools/ensure-deps.sh [extra packages...] [--optional packages...]
# Optional packages are installed too when running as root; otherwise a missing one is only
# named (the tests that need it skip themselves).
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev)
optional=()
in_optional=0
for arg in "$@"; do
  if [ "$arg" = --optional ]; then
    in_optional=1
  elif [ "$in_optional" -eq 1 ]; then
    optional+=("$arg")
  else
    packages+=("$arg")
  fi
done

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
for p in "${optional[@]+"${optional[@]}"}"; do installed "$p" || missing_optional+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing_optional[@]} -ne 0 ]; then
    echo "Optional Debian packages not installed (some tests will skip): ${missing_optional[*]}" >&2
  fi
  [ ${#missing[@]} -eq 0 ] && exit 0
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
all=("${missing[@]+"${missing[@]}"}" "${missing_optional[@]+"${missing_optional[@]}"}")
echo "Installing missing Debian packages: ${all[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${all[@]}" >/dev/null
