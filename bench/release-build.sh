# Sourced by the benchmark scripts: brings the release preset's build
# (build/release, optimised with debug info) up to date for the programs a
# benchmark runs, configuring it first on a fresh clone. Up to date, the
# build is a quick no-op; a stale program is never measured.
#
#   ri_release_build ROOT TARGET...     builds TARGETs (and the engine's
#                                       files) in ROOT/build/release
ri_release_build() {
  local root=$1
  shift
  echo "bringing build/release up to date ($*)" >&2
  (cd "$root" &&
    { [[ -f build/release/build.ninja ]] || cmake --preset release >/dev/null; } &&
    cmake --build --preset release --target "$@" engine_files >&2) || {
    echo "the release build failed: cmake --build --preset release --target $* engine_files" >&2
    return 2
  }
}
