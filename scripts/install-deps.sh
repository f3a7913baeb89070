#!/usr/bin/env bash
# Installs everything the viewer, its tools and its tests need. Safe to run again.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  build-essential cmake pkg-config ninja-build git
  # GUI, skin images, map page host; Qt's own buttons in Korean
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-webengine-dev libgl-dev qt6-translations-l10n
  # decoding, scaling, encoding for the recorder tool, reading videos to import
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  # clip export: sound resampling for AAC, checksums
  libswresample-dev libssl-dev
  # pictures and JPEG stills
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  # sound
  libasound2-dev
  # the recordings' packet checksums
  libdeflate-dev
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  # readers nobody here wrote, for the exported clip files
  libxml2-utils gpsbabel chromium python3
  # Korean glyphs; headless windows; the smoke test on a real X server with a window manager
  fonts-nanum xvfb xauth openbox xdotool x11-utils imagemagick
  # the map page's drawing library comes from npm (nodejs brings npm, or ships it separately)
  nodejs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! command -v npm >/dev/null 2>&1; then
  ${SUDO:-} apt-get install -y -qq --no-install-recommends npm
fi

# Leaflet is bundled into the map page's resources at build time, never committed.
leaflet_dir="$here/third_party_cache/node_modules/leaflet/dist"
if [ ! -f "$leaflet_dir/leaflet.js" ]; then
  mkdir -p "$here/third_party_cache"
  (cd "$here/third_party_cache" && npm install --no-audit --no-fund --silent leaflet@1.9.4 >/dev/null)
fi
