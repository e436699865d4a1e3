#!/bin/bash
# Usage: bench/run.sh <build-dir> [N] [--server]
#
# Runs the store benchmark on a data file of N records (default 1,000,000),
# then times the sqlite3 shell running the six period statements on the same
# file, as a reference for what the engine alone needs. Builds nothing: build
# tallimo_gen and tallimo_bench in <build-dir> first. The data file is made
# in <build-dir> and made again when the template or the generator is newer.
# SQLITE3 names another sqlite3 shell; SHELL_RUNS how often each set runs (3).
# With --server the store benchmark runs on a throwaway PostgreSQL cluster as
# well (scripts/pgcluster.sh, stopped at the end) and prints both side by side.
set -euo pipefail

server=0
args=()
for a in "$@"; do
    if [ "$a" = --server ]; then server=1; else args+=("$a"); fi
done
if [ ${#args[@]} -lt 1 ] || [ ${#args[@]} -gt 2 ]; then
    echo "usage: $0 <build-dir> [N] [--server]" >&2
    exit 2
fi
build=$(cd "${args[0]}" && pwd)
n=${args[1]:-1000000}
bin=$build/bin
sqlite=${SQLITE3:-sqlite3}
shell_runs=${SHELL_RUNS:-3}
file=$build/bench-$n.tlmdb

for prog in tallimo_gen tallimo_bench; do
    if [ ! -x "$bin/$prog" ]; then
        echo "$bin/$prog is missing: build it first (make $prog)" >&2
        exit 1
    fi
done

if [ ! -f "$file" ] || [ "$bin/db.tlmdb" -nt "$file" ] || [ "$bin/tallimo_gen" -nt "$file" ]; then
    "$bin/tallimo_gen" "$file" "$n"
fi

server_args=()
if [ "$server" = 1 ]; then
    pgdir=$(mktemp -d -t tallimo-pgbench.XXXXXX)
    trap '"$(dirname "$0")/../scripts/pgcluster.sh" stop "$pgdir" >/dev/null 2>&1 || true' EXIT
    "$(dirname "$0")/../scripts/pgcluster.sh" start "$pgdir" >/dev/null
    server_args=(--server "$(cat "$pgdir/url")")
    # The automatic copy an import makes goes to a data folder of its own.
    export XDG_DATA_HOME="$pgdir/xdg"
fi

echo "== store (tallimo_bench)"
"$bin/tallimo_bench" "$file" 5 "${server_args[@]}" | tee "$build/bench-store.txt"
echo "== store, a process running only the ten-year query"
"$bin/tallimo_bench" --ten-years-only "$file"
if [ "$server" = 1 ]; then
    echo "== server, a process running only the ten-year query"
    "$bin/tallimo_bench" --ten-years-only "$file" "${server_args[@]}"
fi

if [ -x "$bin/tallimo_bench_recycle" ]; then
    echo "== recycle bin: delete, edit and save (tallimo_bench_recycle)"
    "$bin/tallimo_bench_recycle" "$file"
    if [ "$server" = 1 ]; then
        echo "== recycle bin on the server"
        "$bin/tallimo_bench_recycle" "$file" 200 3 "${server_args[@]}"
    fi
fi

# The user with the most records, in its stored (encoded) form.
user=$("$sqlite" "$file" "select [user] from [data] group by [user] order by count(*) desc limit 1")

statements() { # <start> <end>
    local w="[user]='$user' and [date]>='$1' and [date]<='$2'"
    local sums="sum(case when [type]='支出' then [amount] else 0 end) as outsum,sum(case when [type]='收入' then [amount] else 0 end) as insum"
    cat <<EOF
.output /dev/null
.timer on
select [user],$sums from [data] where $w group by [user];
select [date],$sums from [data] where $w group by [date] order by [date];
select substr([date],1,4) as yyyy,substr([date],6,2) as mm,$sums from [data] where $w group by 1,2 order by 1,2;
select * from [data] where $w order by [date] asc,[type] asc,[id] asc;
select [cate],sum(1) as qty,sum([amount]) as outsum from [data] where $w and [type]='支出' group by [cate] order by sum([amount]) desc;
select [cate],sum(1) as qty,sum([amount]) as outsum from [data] where $w and [type]='收入' group by [cate] order by sum([amount]) desc;
EOF
}

# Prints the per-statement times of each run and the median of the run totals.
shell_period() { # <label> <start> <end>
    local script totals=() i
    script=$(statements "$2" "$3")
    "$sqlite" "$file" <<<"$script" >/dev/null # warm the page cache
    for ((i = 0; i < shell_runs; i++)); do
        totals+=("$("$sqlite" "$file" <<<"$script" |
            awk '/^Run Time:/ { ms = $4 * 1000; t += ms; s = s sprintf(" %.0f", ms) }
                 END { printf "%.0f (a-f:%s)", t, s }')")
    done
    printf '%s\n' "${totals[@]}" | sort -n | awk -v label="$1" '
        { line[NR] = $0 }
        END { split(line[int((NR + 1) / 2)], m, " ")
              printf "%-26s median %9.2f ms  runs (ms):", label, m[1]
              for (i = 1; i <= NR; i++) printf "  %s", line[i]
              printf "\n" }'
}

echo "== sqlite3 shell, six period statements ($("$sqlite" --version | cut -d' ' -f1))"
shell_period "shell one year" 2020-01-01 2020-12-31 | tee "$build/bench-shell.txt"
shell_period "shell ten years" 2015-01-01 2024-12-31

# The store's one-year query against the engine alone on the same file.
store_ms=$(awk '/^QueryPeriod one year/ { print $5 }' "$build/bench-store.txt")
shell_ms=$(awk '/^shell one year/ { print $5 }' "$build/bench-shell.txt")
awk -v s="$store_ms" -v e="$shell_ms" 'BEGIN { printf "one year, store / shell: %.2f (target <= 0.35)\n", s / e }'
rm -f "$build/bench-store.txt" "$build/bench-shell.txt"
if [ -x "$bin/tallimo_bench_browser" ]; then
    echo "== browser window (tallimo_bench_browser)"
    QT_QPA_PLATFORM=offscreen "$bin/tallimo_bench_browser" "$file"
fi

if [ -x "$bin/tallimo_bench_find" ]; then
    echo "== find bar: filter keystrokes and search all years (tallimo_bench_find)"
    QT_QPA_PLATFORM=offscreen "$bin/tallimo_bench_find" "$file" 5 "${server_args[@]}"
fi

if [ -x "$bin/tallimo_bench_export" ]; then
    echo "== exports of 100,000 records (tallimo_bench_export)"
    "$bin/tallimo_bench_export" all 100000
fi

if [ -x "$bin/tallimo_bench_bills" ]; then
    echo "== a 50,000-line Alipay bill read for the preview (tallimo_bench_bills)"
    "$bin/tallimo_bench_bills" "${server_args[@]}"
fi
