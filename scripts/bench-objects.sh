# Sourced by the benchmark scripts: compiles sources natively, without sanitizers, two at a time
# and through ccache when there is one. Every source is compiled each time (ccache makes a repeat
# cheap), so a changed header counts.

# The updater's portable sources (the .cpp files of its folders but the Win32 ones) and those of
# any further folders named, one a line.
portable_sources() {
  local root dir src
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  for dir in base app ui manifest download trust apply report "$@"; do
    for src in "$root/$dir"/*.cpp; do
      case "$src" in *_win.cpp) ;; *) echo "$src" ;; esac
    done
  done
}

# bench_objects OUT FLAG... -- SOURCE...: compiles each source into OUT and sets the array
# `objects` to the object files, in the order of the sources.
bench_objects() {
  local out=$1 src obj
  shift
  local flags=() pairs=() cxx=(g++)
  while [ "$1" != "--" ]; do flags+=("$1"); shift; done
  shift
  command -v ccache >/dev/null && cxx=(ccache g++)
  objects=()
  for src in "$@"; do
    obj="$out/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    objects+=("$obj")
    pairs+=("$src" "$obj")
  done
  printf '%s\n' "${pairs[@]}" | xargs -n2 -P2 sh -c "${cxx[*]} ${flags[*]} -c \"\$0\" -o \"\$1\""
}
