# Sourced by the build and Wine scripts: what this machine's Wine can run.

# Debian's loaders: Wine's 32-bit side is a 32-bit Linux program (wine32:i386), and every 32-bit
# Windows program runs in one.
tallix_wine32_loader=/usr/lib/wine/wine
tallix_wine64_loader=/usr/lib/wine/wine64

# True when this machine runs 32-bit Windows programs: 32-bit Wine is installed and the kernel
# executes 32-bit code (some virtual machines run 64-bit user code only; there the loader fails
# with "Exec format error").
tallix_wine32_runs() {
  "$tallix_wine32_loader" --version >/dev/null 2>&1
}

# The build tree whose programs run under Wine in the tests, the demo and the benchmarks. The
# x86_64 build with the test hosts is the one whose whole test run has been seen to pass; the
# 32-bit build that ships (win32-test) runs where it is asked for with TALLIX_WINE_TREE=win32-test
# on a machine that runs 32-bit programs. It becomes the default once its run has passed on such
# a machine: until then a run that nobody has watched would decide whether the rest can land.
tallix_wine_tree() {
  if [ -n "${TALLIX_WINE_TREE:-}" ]; then
    echo "$TALLIX_WINE_TREE"
  else
    echo win64
  fi
}
