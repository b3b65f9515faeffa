#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail
# Build: compilers (clang for the fuzz harnesses), CMake, Ninja, GoogleTest, Google Benchmark, libX11, FreeType, libusb, libcups and fonts.
# Tests and fixture scripts: Xvfb, a window manager and the X tools that drive and inspect
# windows; Debian's python3 with PIL, pyproj and GDAL; the image, PDF, GPS and archive tools
# that produce or check fixtures; the CUPS scheduler and its tools, which the printing tests run privately.
packages=(g++ clang libclang-rt-14-dev cmake ninja-build make pkg-config googletest libgtest-dev libbenchmark-dev
          libx11-dev libfreetype-dev fonts-dejavu-core zlib1g-dev
          xvfb xdotool x11-utils x11-apps openbox
          python3 python3-pil python3-numpy python3-pyproj python3-gdal gdal-bin proj-bin
          imagemagick netpbm x11-common libjpeg-turbo-progs libtiff-tools poppler-utils libimage-exiftool-perl
          gpsbabel socat lrzsz osmium-tool zip unzip libusb-1.0-0-dev python3-nmea2
          cups cups-client libcups2-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
