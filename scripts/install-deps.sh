#!/usr/bin/env bash
# Installs what the build needs on Debian 12; does nothing for packages already present.
set -euo pipefail
packages=(cmake locales ninja-build g++ clang libclang-rt-14-dev pkg-config libsqlite3-dev zlib1g-dev libflatbuffers-dev
  flatbuffers-compiler nlohmann-json3-dev libcurl4-openssl-dev libcpp-httplib-dev libssl-dev openssl libgtest-dev
  libgmock-dev libbenchmark-dev clang-format mold)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
# A locale with a decimal comma, for the tests that check numbers never follow the process locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || echo "note: de_DE.UTF-8 could not be generated" >&2
fi
