#!/usr/bin/env bash
# Installs every Debian package the build, the program and the test suite need.
# Quick and silent when everything is already present; refreshes the package
# lists only when something has to be installed.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build make pkg-config ccache
  # platform layer
  qt6-base-dev qt6-qpa-plugins libgl-dev libxcb1-dev
  # media engine: FFmpeg 5.1 headers (the libraries are bound at run time)
  libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev libavdevice-dev
  libswscale-dev libswresample-dev
  # imaging codecs and services
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libdeflate-dev libopenjp2-7-dev liblcms2-dev libcurl4-openssl-dev
  # the internet library, loaded at run time for downloads by address
  libcurl4
  # tests and benchmarks; clang with libFuzzer for the fuzzing targets
  libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
  # test oracles and peers
  ffmpeg ffmpeg-doc imagemagick netpbm libtiff-tools giflib-tools libjpeg-turbo-progs pngcheck
  dcmtk ghostscript qpdf poppler-utils icoutils libimage-exiftool-perl libopenjp2-tools
  # resampling peers of the benchmarks
  python3-pil libvips-tools
  # ICC profiles (version 2 and 4, some with texts in many languages) whose texts the
  # colour-profile tests compare with exiftool
  libgs-common colord-data
  # the measurements the built-in CMYK profile is made from, and the tool that makes it
  icc-profiles-free argyll
  # an independent metafile player the metafile tests compare with
  libwmf-bin
  python3 fonts-dejavu-core xvfb x11-utils locales
  # the FTP server of the download tests (the HTTP and HTTPS ones are python3's own, with openssl)
  python3-pyftpdlib openssl
  # a screen reader's view of the windows: the accessibility bus and a reader of it
  dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
