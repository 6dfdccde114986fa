#!/usr/bin/env bash
# Installs from Debian's archive whatever the build and the tests need and this machine lacks.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libboost-dev nlohmann-json3-dev libcli11-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
    valgrind clang-format python3 zip unzip file locales
)

# A locale whose decimal separator is a comma, for the reader's number test (it skips without
# one). Made once; later runs find it and do nothing.
comma_locale=de_DE.UTF-8
make_comma_locale() {
    if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "No $comma_locale locale and no root to make it: the comma-locale test will skip." >&2
        return 0
    fi
    echo "Making the $comma_locale locale"
    localedef -i de_DE -c -f UTF-8 "$comma_locale" || echo "Could not make $comma_locale." >&2
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    make_comma_locale
    exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
make_comma_locale
