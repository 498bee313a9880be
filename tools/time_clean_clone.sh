#!/usr/bin/env bash
# Times a newcomer's `make demo` then `make test` on a clean clone, phase by
# phase, with nothing cached: the commit is cloned into a new folder, the
# compiler cache (CCACHE_DIR) points at a new empty folder, and warnings are
# errors as in CI (BK_WERROR=ON). Then a second clone builds `make demo`
# with the same cache, to show how often the cache hits across clones.
#
#   tools/time_clean_clone.sh [--test-only] [REV] [OUT]
#
# With --test-only, `make test` runs straight after the clone (what a
# newcomer who runs only the test command waits for), and no second clone.
#
# REV (default HEAD) is cloned from this repository; OUT (default
# /tmp/bk-clean-clone-<rev>) receives the clones, the cache, the full logs
# (demo.log, test.log: each line stamped with the seconds since its command
# started) and summary.md, the phase table docs/testing.md quotes. A phase
# runs from one command the Makefile echoes to the next; packages already
# installed cost only their check. The machine's load average is recorded
# at the start and the end: other work beside the run slows every phase.
set -euo pipefail
test_only=0
if [ "${1:-}" = --test-only ]; then
  test_only=1
  shift
fi
here=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:-HEAD}
sha=$(git -C "$here" rev-parse --short "$rev")
out=${2:-/tmp/bk-clean-clone-$sha}
rm -rf "$out"
mkdir -p "$out"
export CCACHE_DIR=$out/ccache
export BK_WERROR=ON
mkdir -p "$CCACHE_DIR"
summary=$out/summary.md

# Prefixes each line with the seconds since the start; the phase table is
# built from the lines that are commands the Makefile echoed.
stamp() {
  python3 -u -c '
import sys, time
t0 = time.monotonic()
for line in sys.stdin:
    sys.stdout.write("[%7.1f] %s" % (time.monotonic() - t0, line))
'
}

phases() {  # LOG TITLE: one row per echoed command, its wall time
  python3 - "$1" "$2" <<'PY'
import re, sys
log, title = sys.argv[1], sys.argv[2]
cmd = re.compile(r"^\[ *([0-9.]+)\] ((cmake|cd|make|python3|BKREG=|\./|sh) .*|installing:.*)$")
rows, last_t, last_c, end = [], 0.0, "(start: make's own checks)", 0.0
for line in open(log, errors="replace"):
    m = re.match(r"^\[ *([0-9.]+)\] ", line)
    if not m:
        continue
    end = float(m.group(1))
    c = cmd.match(line.rstrip("\n"))
    if c:
        rows.append((last_c, float(c.group(1)) - last_t))
        last_t, last_c = float(c.group(1)), c.group(2)
rows.append((last_c, end - last_t))
print("### " + title + "\n")
print("| Phase (command) | Wall time |")
print("| --- | ---: |")
for c, s in rows:
    if s >= 0.05 or not c.startswith("(start"):
        print("| `%s` | %dm %02ds |" % (c[:110].replace("|", "\\|"), int(s) // 60, int(s) % 60))
print("| **total** | **%dm %02ds** |\n" % (int(end) // 60, int(end) % 60))
PY
}

run() {  # NAME DIR TARGET
  local name=$1 dir=$2 target=$3 rc=0 t0 t1
  t0=$(date +%s)
  (cd "$dir" && make "$target" 2>&1) | stamp >"$out/$name.log" || rc=$?
  t1=$(date +%s)
  echo "$name: make $target exit $rc in $((t1 - t0)) s" | tee -a "$out/status.txt"
  return $rc
}

{
  echo "## Clean clone of $sha ($(git -C "$here" log -1 --format=%cd --date=short "$rev"))"
  echo
  echo "Machine: $(nproc) cores, load average at start: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
} >"$summary"

t0=$(date +%s)
git clone -q "$here" "$out/clone"
git -C "$out/clone" checkout -q "$sha"
t1=$(date +%s)
echo "clone: $((t1 - t0)) s" | tee -a "$out/status.txt"

status=0
if [ $test_only = 0 ]; then
  run demo "$out/clone" demo || status=1
  phases "$out/demo.log" "make demo" >>"$summary"
fi
run test "$out/clone" test || status=1
phases "$out/test.log" "make test" >>"$summary"
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)." >>"$summary"
echo >>"$summary"
if [ $test_only = 1 ]; then
  cat "$out/status.txt" >>"$summary"
  cat "$summary"
  exit $status
fi

# The same cache from another folder: `make demo` of a second clone.
git clone -q "$here" "$out/clone2"
git -C "$out/clone2" checkout -q "$sha"
ccache -z >/dev/null
run demo2 "$out/clone2" demo || status=1
{
  echo "Second clone's \`make demo\` with the first one's cache:"
  echo
  ccache -s | sed -n '1,8p' | sed 's/^/    /'
  echo
} >>"$summary"
cat "$out/status.txt" >>"$summary"
cat "$summary"
exit $status
