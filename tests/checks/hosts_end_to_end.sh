#!/usr/bin/env bash
# Item 3 as a user meets it: the program, headless, on a fresh PC (a scratch emulated PC, or a
# scratch Wine prefix for the Windows build, whose real hosts file it then repairs). A line
# that sends the bank's host elsewhere fails items 3 and 6; fix(3) removes that line only,
# keeps every other line and comment, and item 3 passes again.
#   hosts_end_to_end.sh WORKDIR PROGRAM BANK_HOST [RUNNER]   RUNNER runs PROGRAM (Wine)
set -euo pipefail
work="$1"
program="$2"
bank_host="$3"
runner=("${@:4}")
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work

machine_args=()
if [[ ${#runner[@]} -eq 0 ]]; then
  machine_args=(--machine "${work}/machine")
  hosts="${work}/machine/drive_c/Windows/System32/drivers/etc/hosts"
else
  scratch_wine_prefix  # Wine's real hosts file
  hosts="${WINEPREFIX}/drive_c/windows/system32/drivers/etc/hosts"
fi

# Runs the program once; prints the transcript (CR LF from Windows made LF).
run() {
  local name="$1"
  shift
  "${runner[@]}" "${program}" "${machine_args[@]}" --ui none --exit-when-idle --answer refuse \
    --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1 ||
    fail "${name}: the program failed: $(tail -5 "${work}/${name}.out")"
  tr -d '\r' <"${work}/${name}.jsonl"
}

# The reports of item N, in order, as "1 0" (failed, then passed).
item() { grep -oE "\"setState\",\"args\":\\[1,$1,[01]\\]" | grep -oE '[01]\]$' | tr -d ']' | tr '\n' ' '; }

# 1. The PC as it comes (the machine or prefix is made by this run): item 3 passes.
first="$(run first)"
[[ "$(item 3 <<<"${first}")" == "0 " ]] || fail "fresh PC, item 3: $(item 3 <<<"${first}")"
mkdir -p "$(dirname "${hosts}")"

# 2. A hosts file of the PC's own lines and comments, plus one line that sends the bank's host
#    elsewhere (another case, a trailing comment).
upper="$(tr 'a-z' 'A-Z' <<<"${bank_host:0:1}")${bank_host:1}"
printf '# the PC'"'"'s own comment\r\n127.0.0.1       localhost\r\n\r\n# another comment\r\n' >"${hosts}"
printf '10.1.2.3 intranet.example # kept\r\n127.0.0.1 %s # redirected\r\n' "${upper}" >>"${hosts}"
cp "${hosts}" "${work}/hosts.before"
second="$(run second --do 'fix(3)')"
[[ "$(item 3 <<<"${second}")" == "1 0 " ]] || fail "redirected, item 3: $(item 3 <<<"${second}")"
grep -q '"external":"fix","args":\[3\]' <<<"${second}" || fail "fix(3) did not run"

# Only the redirecting line is gone; the rest stays as it was, with CR LF line breaks.
grep -vi "${bank_host}" "${work}/hosts.before" >"${work}/hosts.expected"
cmp -s "${hosts}" "${work}/hosts.expected" ||
  fail "the repaired hosts file: $(diff <(od -c "${work}/hosts.expected") <(od -c "${hosts}") | head -20)"

# 3. Again: item 3 passes and a repair with nothing to remove leaves the file as it is.
third="$(run third --do 'fix(3)')"
[[ "$(item 3 <<<"${third}")" == "0 0 " ]] || fail "repaired, item 3: $(item 3 <<<"${third}")"
cmp -s "${hosts}" "${work}/hosts.expected" || fail "a repair with nothing to remove changed the file"
echo "hosts_end_to_end: item 3 failed on the redirecting line, fix(3) removed it alone"
