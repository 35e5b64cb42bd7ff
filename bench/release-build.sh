# Sourced by the benchmark scripts: makes sure the release preset's build
# (build/release, optimised with debug info) holds the programs a benchmark
# runs, configuring and building it when something is missing.
#
#   ri_release_build ROOT TARGET...     builds TARGETs in ROOT/build/release
#                                       unless each is already in its bin/
ri_release_build() {
  local root=$1 target missing=()
  shift
  for target in "$@"; do
    [[ -x $root/build/release/bin/$target || $target == engine_files ]] || missing+=("$target")
  done
  [[ -f $root/build/release/bin/ace32.dll && -f $root/build/release/bin/Ansi.chr ]] || missing+=(engine_files)
  ((${#missing[@]} == 0)) && return 0
  echo "building ${missing[*]} in build/release" >&2
  (cd "$root" && cmake --preset release >/dev/null &&
    cmake --build --preset release --target "$@" engine_files >&2)
}
