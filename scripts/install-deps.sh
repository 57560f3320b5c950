#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs, from Debian's archive, every package Orvane needs to build, test and run, or
# only the packages named: install-deps.sh [PACKAGE ...]. Idempotent: packages already
# present are left alone, so a second run is quick.
set -euo pipefail

packages=("$@")
[ $# -gt 0 ] || packages=(
  # toolchain and test tools
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  # display and MIME database
  qt6-base-dev libgl-dev shared-mime-info
  # codec libraries
  libpng-dev libspng-dev libjpeg62-turbo-dev libwebp-dev libtiff-dev libgif-dev
  libimagequant-dev libavif-dev libjxl-dev libheif-dev libexif-dev libqoi-dev libdeflate-dev
  # colour management and metadata
  liblcms2-dev libexiv2-dev
  # resampling
  libpixman-1-dev libstb-dev
  # tools that make and check test files (TIFF pages, APNG, JPEG, AVIF, JPEG XL, HEIF, WebP
  # animations, metadata, profiles)
  imagemagick libtiff-tools apngasm apngdis libjpeg-turbo-progs libimage-exiftool-perl
  icc-profiles-free libavif-bin libjxl-tools libheif-examples webp
  # end-to-end tests on a virtual display
  xvfb xdotool xauth attr
  # a private session bus for the desktop-notification tests
  dbus-daemon
  # WebP's own tools: the tests check our decoder on the files they write
  webp
  # the Debian package and its checks (CI)
  git file lintian appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run as root (or with sudo) to install them" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
