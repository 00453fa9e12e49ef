#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan; `cmake --preset fuzz`) and runs each for a
# fixed time. Fails when a target crashes, leaks, hangs, runs out of memory or does not build.
#
#   FUZZ_SECONDS    time per target (default 60)
#   FUZZ_BUILD_DIR  build folder (default build/fuzz, the preset's)
#
# A failing input is kept in $FUZZ_BUILD_DIR/fuzz-artifacts/ to reproduce with
#   $FUZZ_BUILD_DIR/fuzz/<target> <input>
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
targets=(fuzz_carve fuzz_signatures fuzz_config fuzz_legacy fuzz_mbdb fuzz_plist)

(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

failed=()
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus"
    seeds=("$root/fuzz/corpus/$target")
    # The signature reader also starts from the application's own signature file.
    if [[ $target == fuzz_signatures ]]; then
        mkdir -p "$work/resource-seeds"
        cp "$root/resources/RecoverySignatures.xml" "$work/resource-seeds/"
        seeds+=("$work/resource-seeds")
    fi
    # The XML reader also starts from the configuration and language files.
    if [[ $target == fuzz_config ]]; then
        mkdir -p "$work/config-seeds"
        cp "$root"/resources/*Configuration.xml "$root"/resources/TM640R-*.xml "$work/config-seeds/"
        seeds+=("$work/config-seeds")
    fi
    echo "== $target: ${seconds}s"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$corpus" "${seeds[@]}"; then
        failed+=("$target")
    fi
done

if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]} (inputs in $artifacts)" >&2
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"
