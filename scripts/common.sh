# Shared by run.sh and test.sh: configure and build one build folder.
# locket_configure DIR [cmake options...]: configures DIR unless it is configured already.
locket_configure() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$LOCKET_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  fi
}
# locket_build DIR [cmake options...]: configures DIR and builds every target of it.
locket_build() {
  locket_configure "$@"
  cmake --build "$1" -j"$(nproc)"
}
