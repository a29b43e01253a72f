#!/bin/sh
# Fuzzes the loaders. Builds the libFuzzer targets (clang, with the address and
# undefined-behaviour sanitizers) into build-fuzz, makes their seed corpus from
# the files the loader tests write, and runs each target for a fixed time.
#   ./scripts/fuzz.sh              30 s per target (what CI runs)
#   ./scripts/fuzz.sh 600          a longer campaign: 10 minutes per target
#   ./scripts/fuzz.sh 100 ors load only the targets named
# Corpora grow in build-fuzz/work/corpus across runs; inputs that fail a check
# land in build-fuzz/work/crashes/<target>/. Exits non-zero when any did.
set -e
cd "$(dirname "$0")/.."
EACH="${1:-30}"
[ $# -gt 0 ] && shift
TARGETS="${*:-ors optunastorage optunacsv dakota table load}"
FUZZ="${VANTIX_FUZZ_DIR:-build-fuzz}"
TESTS="${VANTIX_BUILD_DIR:-build}"
WORK="$FUZZ/work"

[ -f "$FUZZ/CMakeCache.txt" ] || cmake -S . -B "$FUZZ" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVANTIX_FUZZ=ON -DVANTIX_BUILD_TESTS=OFF -DVANTIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$FUZZ" --target fuzzers

# Seeds: the small files the loader tests write, kept as they leave them.
seeds="$WORK/seeds"
if [ ! -d "$seeds" ]; then
    cmake --build "$TESTS" --target ors_provider_tests ors_import_tests vantix-convert
    rm -rf "$TESTS"/test-tmp/ors-*
    VANTIX_KEEP_TEST_FILES=1 ctest --test-dir "$TESTS" -R '^ors_(provider|import)_tests$' -j2 >/dev/null
    mkdir -p "$seeds.new"
    find "$TESTS"/test-tmp/ors-* -type f -size -128k | while read -r f; do
        cp "$f" "$seeds.new/$(sha1sum < "$f" | cut -c1-16)"
    done
    rm -rf "$TESTS"/test-tmp/ors-*
    mv "$seeds.new" "$seeds"
fi
cat fuzz/dict/*.dict > "$WORK/all.dict"

# Inputs are written to files and saves are synced: in memory (tmpfs) a target
# runs about fifteen times faster than on a disk.
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm || scratch="${TMPDIR:-/tmp}"
TMPDIR=$(mktemp -d "$scratch/vantix-fuzz.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

# Leaks of the system's libraries are not ours; the sanitizers stop at the first error.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=""
printf '%-14s %10s %8s %8s %8s %7s\n' target executions cov ft corpus crashes
for t in $TARGETS; do
    bin="$FUZZ/bin/fuzz_$t"
    corpus="$WORK/corpus/$t"
    crashes="$WORK/crashes/$t"
    mkdir -p "$corpus" "$crashes"
    dict="fuzz/dict/$t.dict"
    [ -f "$dict" ] || dict="$WORK/all.dict"
    # A new corpus starts from the seeds the target takes (it refuses the others).
    [ -n "$(ls -A "$corpus")" ] || "$bin" -merge=1 "$corpus" "$seeds" >"$WORK/$t.merge.log" 2>&1
    before=$(ls "$crashes" | wc -l)
    status=0
    "$bin" -max_total_time="$EACH" -timeout=30 -dict="$dict" -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" >"$WORK/$t.log" 2>&1 || status=$?
    done_line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$WORK/$t.log" | tail -1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$WORK/$t.log")
    cov=$(echo "$done_line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$done_line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    found=$(($(ls "$crashes" | wc -l) - before))
    printf '%-14s %10s %8s %8s %8s %7s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$(ls "$corpus" | wc -l)" "$found"
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        failed="$failed $t"
        tail -40 "$WORK/$t.log"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzzing found failures in:$failed (inputs in $WORK/crashes)" >&2
    exit 1
fi
