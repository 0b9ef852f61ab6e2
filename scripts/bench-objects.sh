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

# stats_tools OUT: builds tallix-publish, the log maker (tests/bench/report_log.cpp) and the
# summary timer (tests/bench/summary_times.cpp) natively with -O2, without sanitizers, into OUT.
stats_tools() {
  local out=$1 root library
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  bash "$root/scripts/configure.sh" native
  mkdir -p "$out"
  # No -Werror here: GCC's -O2 array-bounds analysis warns falsely on inlined string copies; the
  # build trees keep every warning an error.
  local flags=(-std=c++20 -O2 -DNDEBUG -Wall -Wextra -I"$root" -I"$root/build/native/generated")
  local sources
  mapfile -t sources < <(portable_sources tools/publish | grep -v '/publish_main\.cpp$')
  bench_objects "$out" "${flags[@]}" -- "$root/tools/code_page.cpp" "${sources[@]}" \
    2>"$out/build.log" || { tail -n 40 "$out/build.log"; return 1; }
  library=("${objects[@]}")
  bench_objects "$out" "${flags[@]}" -- "$root/tools/publish/publish_main.cpp" \
    "$root/tests/bench/report_log.cpp" "$root/tests/publish/synthetic_log.cpp" \
    "$root/tests/bench/summary_times.cpp" 2>>"$out/build.log" ||
    { tail -n 40 "$out/build.log"; return 1; }
  local libs=(-lpugixml -lsqlite3 -lcrypto -lcurl)
  g++ "${library[@]}" "${objects[0]}" "${libs[@]}" -o "$out/tallix-publish"
  g++ "${library[@]}" "${objects[1]}" "${objects[2]}" "${libs[@]}" -o "$out/report_log"
  g++ "${library[@]}" "${objects[3]}" "${libs[@]}" -o "$out/summary_times"
}
