#!/usr/bin/env bash
# Installs what building and testing brosk needs on Debian 12 (as root, or through sudo).
# Does nothing when everything is already in place.
set -euo pipefail

packages=(
  build-essential cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev clang-format locales python3-xlrd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests and the example run under Spanish and English conventions.
if ! locale -a 2>/dev/null | grep -qx 'es_ES.utf8' || ! locale -a 2>/dev/null | grep -qx 'en_US.utf8'; then
  echo "setup: generating the es_ES.UTF-8 and en_US.UTF-8 locales" >&2
  "${sudo[@]}" sed -i -E 's/^# *(es_ES.UTF-8 UTF-8|en_US.UTF-8 UTF-8)/\1/' /etc/locale.gen
  grep -qx 'es_ES.UTF-8 UTF-8' /etc/locale.gen || echo 'es_ES.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  grep -qx 'en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
fi
