#!/usr/bin/env bash
# Runs the corvane program as a user would, headless, and checks its transcript: the whole
# check sequence in order, then the --do commands in order.
#   end_to_end.sh WORKDIR PROGRAM [RUNNER]   RUNNER runs PROGRAM (Wine for Windows builds)
set -euo pipefail
work="$1"
program="$2"
runner=("${@:3}")
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
transcript="${work}/transcript.jsonl"

# Windows (Wine here) keeps the certificates that fix(4) installs in the user's registry:
# remove the program's five before and after, so the prefix stays fresh for the other tests.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
remove_carried_certificates() {
  local commands=() name store thumbprint
  for name in ROOT_CA POLICY_CA OPERATION_CA OPERATION_CA1 OPERATION_CA2; do
    store=CA
    [[ ${name} == ROOT_CA ]] && store=ROOT
    thumbprint="$(sha1sum "${here}/../../res/certs/${name}.cer" | cut -c1-40 | tr a-f A-F)"
    commands+=("reg delete HKCU\\Software\\Microsoft\\SystemCertificates\\${store}\\Certificates\\${thumbprint} /f")
  done
  local IFS='&'
  "${runner[@]}" cmd /c "${commands[*]}" >/dev/null 2>&1 || true
}

machine_args=()
if [[ ${#runner[@]} -eq 0 ]]; then
  machine_args=(--machine "${work}/machine")  # the emulated PC; Windows uses itself
else
  remove_carried_certificates
  trap remove_carried_certificates EXIT
fi
"${runner[@]}" "${program}" "${machine_args[@]}" --ui none --exit-when-idle \
  --transcript "${transcript}" --do 'check(0)' --do 'fix(0)' --do 'stop(1)'
[[ -s "${transcript}" ]] || fail "no transcript"
tr -d '\r' <"${transcript}" >"${work}/t.jsonl"
if grep -vqE '^\{"t":[0-9]+,.*\}$' "${work}/t.jsonl"; then
  fail "a transcript line is not a JSON object: $(grep -vE '^\{"t":[0-9]+,.*\}$' "${work}/t.jsonl" | head -1)"
fi

# The statuses of the first run, in order, then the summary after it.
statuses="$(grep -oE '"call":"setState","args":\[0,2,[0-9]+\]' "${work}/t.jsonl" |
  grep -oE '[0-9]+\]$' | tr -d ']' | tr '\n' ' ')"
expected="1002 1003 1004 1005 1006 1007 1013 1009 1010 1011 1999"
[[ " ${statuses}" == *" ${expected} "* ]] || fail "statuses out of order: ${statuses}"
for item in 1 2 3 4 5 6 7 8 9 10 11; do
  grep -qE "\"args\":\[1,${item}," "${work}/t.jsonl" || fail "item ${item} never reported"
done
for percent in 9 18 27 36 45 54 63 72 81 90 100; do
  grep -qE "\"args\":\[0,0,${percent}\]" "${work}/t.jsonl" || fail "progress ${percent} missing"
done
grep -qE '"args":\[0,3,[0-9]+\]' "${work}/t.jsonl" || fail "no result line"

# The commands ran in the order given, each after the previous one settled.
commands="$(grep -oE '"external":"[a-z]+","args":\[[0-9,]*\]' "${work}/t.jsonl" | tr '\n' ' ')"
[[ "${commands}" == '"external":"check","args":[0] "external":"fix","args":[0] "external":"stop","args":[1] ' ]] ||
  fail "commands: ${commands}"
first_fix="$(grep -n '"external":"fix"' "${work}/t.jsonl" | head -1 | cut -d: -f1)"
# (grep reads to the end: grep -q could close the pipe early and sed's SIGPIPE fail it)
sed -n "${first_fix},\$p" "${work}/t.jsonl" | grep -E '"args":\[0,2,2999\]' >/dev/null ||
  fail "the one-click setup did not end with status 2999"

# Item 4: missing at first; the one-click setup installs the certificates, after the emulated
# PC's question (answered with consent here), which Windows asks in its own dialog instead.
item4="$(grep -oE '"args":\[1,4,[01]\]' "${work}/t.jsonl" | tr -d '\n')"
[[ "${item4}" == '"args":[1,4,1]'*'"args":[1,4,0]' ]] || fail "item 4 reports: ${item4}"
root_prompts="$(grep -c '"title":"安全警告","answer":6' "${work}/t.jsonl" || true)"
[[ ${root_prompts} -eq $((${#runner[@]} == 0 ? 1 : 0)) ]] ||
  fail "${root_prompts} root certificate questions"
echo "end_to_end: transcript of $(wc -l <"${work}/t.jsonl") lines checked"

# A refusal leaves item 4 failed and the store empty (the emulated PC: Windows asks itself).
if [[ ${#runner[@]} -eq 0 ]]; then
  "${program}" --machine "${work}/refusing" --ui none --exit-when-idle --answer refuse \
    --transcript "${work}/refuse.jsonl" --do 'fix(4)'
  tr -d '\r' <"${work}/refuse.jsonl" >"${work}/r.jsonl"
  grep -qE '"prompt":"choice","ids":\[\],"title":"安全警告","answer":7' "${work}/r.jsonl" ||
    fail "the refusal run asked no root certificate question"
  [[ "$(grep -oE '"args":\[1,4,[01]\]' "${work}/r.jsonl" | tail -1)" == '"args":[1,4,1]' ]] ||
    fail "item 4 passed although the root certificate was refused"
  [[ -z "$(find "${work}/refusing/certs" -type f)" ]] || fail "a refused certificate was written"
  echo "end_to_end: the refused root certificate left item 4 failed"
fi
