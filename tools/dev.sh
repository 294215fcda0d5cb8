#!/usr/bin/env bash
# The project's commands.
#   tools/dev.sh setup   install what is missing, build everything, run the host tool
#   tools/dev.sh test    build and run the tests (Linux release preset)
#   tools/dev.sh sanitize  the tests under ASan+UBSan and under TSan
#   tools/dev.sh windows   cross-build both DLLs, check their exports, run the
#                          wait-semantics table and the decoder check under Wine
#   tools/dev.sh bench     build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libturbojpeg0-dev
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64 wine wine64 wine32)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

build() {  # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

run_tests() {  # preset
  build "$1"
  ctest --preset "$1" -j2
}

windows() {
  local status=0
  for preset in mingw64 mingw32; do
    build "$preset"
    local dll="build/$preset/Driftlantern.dll"
    local exports
    exports=$(objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR>1 {print $3}' | sort | tr '\n' ' ')
    if [ "$exports" != "DL_Enable DL_Send DL_Start DL_Stop " ]; then
      echo "$dll exports: $exports" >&2
      status=1
    else
      echo "$dll exports exactly: $exports"
    fi
    local imports
    imports=$(objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
    echo "$dll imports: $imports"
    if echo "$imports" | grep -qiE 'libstdc|libgcc|libwinpthread'; then
      echo "$dll depends on a non-system DLL" >&2
      status=1
    fi
    local loader=/usr/lib/wine/wine64
    [ "$preset" = mingw32 ] && loader=/usr/lib/wine/wine
    if [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1; then
      for check in wait_semantics decoder; do
        echo "$check under Wine ($preset):"
        WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" timeout 600 \
          "$loader" "build/$preset/${check}_win.exe" 2>/dev/null || status=1
      done
    else
      echo "checks under Wine ($preset): skipped, this machine cannot run 32-bit programs ($loader)"
    fi
  done
  return $status
}

case "${1:-}" in
  setup)
    install_missing
    build linux
    windows
    if [ -x build/linux/tools/dlhost ]; then build/linux/tools/dlhost; fi
    ;;
  test) run_tests linux ;;
  sanitize) run_tests linux-asan && run_tests linux-tsan ;;
  windows) windows ;;
  bench)
    build linux
    for b in build/linux/bench/*_bench; do "$b"; done
    ;;
  deps) install_missing ;;
  *) sed -n '2,9p' "$0"; exit 2 ;;
esac
