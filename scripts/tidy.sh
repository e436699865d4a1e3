#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the program's own .cpp files
# with the compile commands of a configured build folder (BUILD_DIR, default
# build/, configured by scripts/build.sh). Every finding fails the run.
# Uses run-clang-tidy to spread the files over the machine's cores when it is
# installed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
if [ ! -f "$dir/compile_commands.json" ]; then
    echo "No $dir/compile_commands.json: run scripts/build.sh first" >&2
    exit 1
fi

mapfile -t files < <(git ls-files 'main/*.cpp' 'app/*.cpp' 'store/*.cpp' 'output/*.cpp' 'forms/*.cpp' 'skin/*.cpp')
# Only files the build knows (a file on its way out of the build is skipped).
known=()
for f in "${files[@]}"; do
    grep -q "\"file\": \"$PWD/$f\"" "$dir/compile_commands.json" && known+=("$PWD/$f")
done

if command -v run-clang-tidy >/dev/null; then
    # run-clang-tidy takes regular expressions; the files' full paths, escaped.
    regex=()
    for f in "${known[@]}"; do regex+=("$(printf '%s' "$f" | sed 's/[.[\*^$+?(){}|]/\\&/g')\$"); done
    # Its exit status says whether any file failed; only the findings are shown.
    status=0
    out=$(run-clang-tidy -quiet -p "$dir" -j"$(nproc)" "${regex[@]}" 2>&1) || status=$?
    printf '%s\n' "$out" | sed 's/\x1b\[[0-9;]*m//g' |
        grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Suppressed [0-9]+ warnings|^Use -header-filter|^Running clang-tidy|^clang-tidy(-[0-9]+)? ' || true
    exit $status
else
    status=0
    for f in "${known[@]}"; do
        clang-tidy --quiet -p "$dir" "$f" || status=1
    done
    exit $status
fi
