# shellcheck shell=bash
# Sourced by the benchmark scripts (from the repository's folder): builds the
# programs they run and says where they are.
#   folder=$(bench_build TARGET...)
# builds the targets with the release preset, or in BUILD_DIR when that names
# an already configured build folder (relative to the repository's folder,
# such as build/native for a quick run), and prints the folder's absolute
# path. CMake's output goes to stderr; a failed build returns its status
# (set -e does not reach into the command substitution).
bench_build() {
  if [ -n "${BUILD_DIR:-}" ]; then
    cmake --build "$BUILD_DIR" --target "$@" >&2 || return
    (cd "$BUILD_DIR" && pwd)
  else
    cmake --preset release >&2 || return
    cmake --build --preset release --target "$@" >&2 || return
    echo "$PWD/build/release"
  fi
}
