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
