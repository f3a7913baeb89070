# Shared by run.sh and test.sh: configure and build one build folder.
# locket_build DIR [cmake options...]
locket_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$LOCKET_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir" -j"$(nproc)"
}
