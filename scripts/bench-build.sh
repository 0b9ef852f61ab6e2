# Sourced by the native benchmarks: builds a benchmark program from the program's portable code
# with g++ (through ccache when there is one), without sanitizers.

# The portable code: every .cpp of the program's folders that is not a *_win.cpp file.
portable_sources() {  # root
  local dir src
  for dir in base app ui manifest download trust apply report; do
    for src in "$1/$dir"/*.cpp; do
      case "$src" in *_win.cpp) ;; *) echo "$src" ;; esac
    done
  done
}

# Compiles every source into OUT, two at a time (each time: ccache makes a repeat cheap, and a
# changed header counts), then links OUT/PROGRAM with LIBS.
bench_build() {  # out program "flags" "libs" source...
  local out=$1 program=$2 flags=$3 libs=$4
  shift 4
  local cxx=(g++) objects=() pairs=() src obj
  command -v ccache >/dev/null && cxx=(ccache g++)
  mkdir -p "$out"
  for src in "$@"; do
    obj="$out/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    objects+=("$obj")
    pairs+=("$src" "$obj")
  done
  printf '%s\n' "${pairs[@]}" | xargs -n2 -P2 sh -c "${cxx[*]} $flags -c \"\$0\" -o \"\$1\""
  # shellcheck disable=SC2086
  "${cxx[@]}" "${objects[@]}" $libs -o "$out/$program"
}

# Builds tallix-publish, the log maker (tests/bench/report_log.cpp) and the summary timer
# (tests/bench/summary_times.cpp) natively with -O2, without sanitizers, into OUT.
stats_tools() {  # out
  local out=$1 root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  bash "$root/scripts/configure.sh" native
  # No -Werror here: GCC's -O2 array-bounds analysis warns falsely on inlined string copies; the
  # build trees keep every warning an error.
  local flags="-std=c++20 -O2 -DNDEBUG -Wall -Wextra -I$root -I$root/build/native/generated"
  local libs="-lpugixml -lsqlite3 -lcrypto -lcurl" sources
  mapfile -t sources < <(portable_sources "$root"; echo "$root/tools/code_page.cpp"
                         ls "$root"/tools/publish/*.cpp | grep -v '/publish_main\.cpp$')
  mkdir -p "$out"
  : >"$out/build.log"
  bench_build "$out" tallix-publish "$flags" "$libs" "${sources[@]}" \
    "$root/tools/publish/publish_main.cpp" 2>>"$out/build.log" &&
    bench_build "$out" report_log "$flags" "$libs" "${sources[@]}" \
      "$root/tests/bench/report_log.cpp" "$root/tests/publish/synthetic_log.cpp" 2>>"$out/build.log" &&
    bench_build "$out" summary_times "$flags" "$libs" "${sources[@]}" \
      "$root/tests/bench/summary_times.cpp" 2>>"$out/build.log" ||
    { tail -n 40 "$out/build.log"; return 1; }
}
