#!/bin/sh
# The debarcode program from a shell, as a facility scripts it: synth, run,
# verify, another input refused without --force, --settings from a record,
# report.
# Usage: commands_end_to_end.sh PATH/TO/debarcode
set -eu
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/err" 2>/dev/null; exit 1; }

"$bin" synth "$work/a.fcs" --events 3000 --seed 1 >/dev/null
"$bin" synth "$work/b.fcs" --events 2000 --seed 2 >/dev/null

"$bin" run "$work/a.fcs" --out "$work/out" --threshold 1=0.5 >/dev/null 2>"$work/err" || fail "run a"
[ "$(head -n 1 "$work/err")" = "Done" ] || fail "Done is not the first line"
grep -q "^The files are in $work/out\$" "$work/err" || fail "where the files went"
"$bin" verify "$work/out" >"$work/verify" || fail "verify of a fresh run"
grep -q '^OK: ' "$work/verify" || fail "verify says OK"

# The settings of a's run applied to b: bit 1's threshold comes along.
"$bin" run "$work/b.fcs" --out "$work/b-out" --settings "$work/out" >/dev/null 2>"$work/err" || fail "run --settings"
grep -q '"threshold": 0.5' "$work/b-out/debarcode-run.json" || fail "threshold from the record"

# b into a's folder: refused, a's outputs kept; then replaced with --force.
if "$bin" run "$work/b.fcs" --out "$work/out" >/dev/null 2>"$work/err"; then fail "b replaced a without --force"; fi
grep -q 'Add --force to replace them' "$work/err" || fail "the refusal names --force"
"$bin" verify "$work/out" >/dev/null || fail "a's folder untouched"
"$bin" run "$work/b.fcs" --out "$work/out" --force >/dev/null 2>"$work/err" || fail "run --force"
grep -q "\"path\": \"$work/b.fcs\"" "$work/out/debarcode-run.json" || fail "b's record"
"$bin" verify "$work/out" >/dev/null || fail "verify after --force"

# The report: written by run, rebuilt by report (the input is still there).
cp "$work/out/report.html" "$work/report.first"
rm "$work/out/report.html"
"$bin" report "$work/out" >"$work/said" 2>"$work/err" || fail "report"
[ "$(cat "$work/said")" = "Wrote $work/out/report.html" ] || fail "report says where"
cmp -s "$work/out/report.html" "$work/report.first" || fail "the rebuilt report differs"
if "$bin" report "$work/nowhere" >/dev/null 2>"$work/err"; then fail "report without a record"; fi

# A removed output: verify says so and exits 1.
rm "$work/out/Well_A01.fcs"
if "$bin" verify "$work/out" >"$work/verify"; then fail "verify missed a removed file"; fi
grep -q '^Well_A01.fcs: missing$' "$work/verify" || fail "verify names the missing file"
echo "all commands behave"
