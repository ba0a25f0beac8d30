#!/usr/bin/env bash
# Items 9, 10 and 11 and the cache clearings as a user meets them: the program, headless, on
# a fresh PC (a scratch emulated PC, or a scratch Wine prefix for the Windows build, whose
# real zone manager then does the work).
#   browser_end_to_end.sh WORKDIR PROGRAM BANK_HOST CORPORATE_HOST [RUNNER]
set -euo pipefail
work="$1"
program="$2"
bank_host="$3"
corporate_host="$4"
runner=("${@:5}")
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work

settings='Software\Microsoft\Windows\CurrentVersion\Internet Settings'
policy_key='Software\Policies\Microsoft\Internet Explorer\Control Panel'
machine_args=()
if [[ ${#runner[@]} -eq 0 ]]; then
  machine_args=(--machine "${work}/machine")
  hkcu="${work}/machine/registry/HKCU.reg"
else
  scratch_wine_prefix  # Wine's real registry
fi

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
# Windows' reg, under the runner.
reg() { "${runner[@]}" reg "$@" >/dev/null 2>&1; }
# The status, summary and item 2/10 reports from the command fix(N) to the next command.
after_fix() {
  awk -v n="$1" '/"external":/ { inside = ($0 ~ "\"external\":\"fix\",\"args\":\\[" n "\\]") ; next }
                 inside' | grep -oE '"args":\[(0,[23]|1,(2|10)),[0-9]+\]' | cut -d: -f2 | tr '\n' ' '
}

if [[ ${#runner[@]} -eq 0 ]]; then
  # 1. The new machine: Trusted sites at Medium, the bank's sites not trusted; no policy.
  # fix(0) with the built-in configuration also runs the checks again afterwards, so only
  # the first two reports of each item are the check and the repair's check.
  first="$(run first --do 'fix(0)')"
  [[ "$(item 9 <<<"${first}")" == "0 0 "* ]] || fail "fresh PC, item 9: $(item 9 <<<"${first}")"
  [[ "$(item 10 <<<"${first}")" == "1 0 "* ]] || fail "fresh PC, item 10: $(item 10 <<<"${first}")"
  [[ "$(item 11 <<<"${first}")" == "1 0 "* ]] || fail "fresh PC, item 11: $(item 11 <<<"${first}")"
  # The one-click setup clears both caches without a message.
  ! grep -q '"prompt":"info","ids":\[1[34][15]' <<<"${first}" || fail "fix(0) showed a cache message"

  second="$(run second)"
  for n in 9 10 11; do
    [[ "$(item "${n}" <<<"${second}")" == "0 " ]] || fail "repaired PC, item ${n}: $(item "${n}" <<<"${second}")"
  done
  zone2="$(awk '/^\[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2\]/{on=1;next} /^\[/{on=0} on' "${hkcu}")"
  grep -q '^"CurrentLevel"=dword:00010000' <<<"${zone2}" || fail "Trusted sites not at Low"
  grep -q '^"RecommendedLevel"=dword:00010000' <<<"${zone2}" || fail "Trusted sites' recommended level not Low"
  grep -q '^"1400"=dword:00000000' <<<"${zone2}" || fail "Trusted sites lack the Low template's values"
  grep -q '^"1201"=dword:00000000' <<<"${zone2}" || fail "item 2's value of Trusted sites not written again"
  for host in "${bank_host}" "${corporate_host}"; do
    key="${settings}\\ZoneMap\\Domains\\${host#*.}\\${host%%.*}"
    grep -A1 -F "[HKEY_CURRENT_USER\\${key}]" "${hkcu}" | grep -q '^"https"=dword:00000002' ||
      fail "${host} is not mapped to zone 2 in HKCU.reg"
  done

  # 2. The home-page policy fails item 9; fix(9) deletes the value.
  printf '\n[HKEY_CURRENT_USER\\%s]\n"Homepage"=dword:00000001\n' "${policy_key}" >>"${hkcu}"
  third="$(run third --do 'fix(9)')"
  [[ "$(item 9 <<<"${third}")" == "1 0 " ]] || fail "policy on, item 9: $(item 9 <<<"${third}")"
  ! grep -q '"Homepage"' "${hkcu}" || fail "HKCU.reg still holds the home-page policy"

  # 3. fix(10) alone, on a PC whose Trusted sites zone is off again: its own status, the
  #    nested fix(2) with its report and completion, then item 10 and the completion.
  sed -i 's/^"CurrentLevel"=dword:00010000/"CurrentLevel"=dword:00011000/' "${hkcu}"
  fourth="$(run fourth --do 'fix(10)' --do 'fix(12)' --do 'fix(16)')"
  order="$(after_fix 10 <<<"${fourth}")"
  [[ "${order}" == "[0,2,2010] [0,2,2002] [1,2,0] [0,2,2999] [0,3,3] [1,10,0] [0,2,2999] [0,3,3] " ]] ||
    fail "fix(10) reported: ${order}"
  grep -q '"prompt":"info","ids":\[141,0\]' <<<"${fourth}" || fail "fix(12) showed no message"
  grep -q '"prompt":"info","ids":\[135,0\]' <<<"${fourth}" || fail "fix(16) showed no message"
else
  # Wine: Trusted sites starts at Low, so it is set to Medium as the emulated PC has it.
  first="$(run first)"
  reg add "HKCU\\${settings}\\Zones\\2" /v CurrentLevel /t REG_DWORD /d 0x11000 /f || fail "reg add failed"
  second="$(run second --do 'fix(10)')"
  [[ "$(item 10 <<<"${second}")" == "1 0 " ]] || fail "Trusted sites at Medium, item 10: $(item 10 <<<"${second}")"
  reg query "HKCU\\${settings}\\Zones\\2" /v CurrentLevel || fail "zone 2 lost its level"
  "${runner[@]}" reg query "HKCU\\${settings}\\Zones\\2" /v CurrentLevel 2>/dev/null | tr -d '\r' |
    grep -qi '0x10000' || fail "Wine's zone 2 is not at Low after fix(10)"
  # Item 11: Wine cannot map sites (its SetZoneMapping is a stub), so the test writes them.
  [[ "$(item 11 <<<"${second}")" == "1 " ]] || fail "fresh prefix, item 11: $(item 11 <<<"${second}")"
  for host in "${bank_host}" "${corporate_host}"; do
    reg add "HKCU\\${settings}\\ZoneMap\\Domains\\${host#*.}\\${host%%.*}" /v https /t REG_DWORD /d 2 /f ||
      fail "reg add failed"
  done
  third="$(run third)"
  [[ "$(item 11 <<<"${third}")" == "0 " ]] || fail "sites mapped, item 11: $(item 11 <<<"${third}")"
  [[ "$(item 10 <<<"${third}")" == "0 " ]] || fail "after fix(10), item 10: $(item 10 <<<"${third}")"
  # Item 9 as on the emulated PC.
  [[ "$(item 9 <<<"${third}")" == "0 " ]] || fail "no policy, item 9: $(item 9 <<<"${third}")"
  reg add "HKCU\\${policy_key}" /v Homepage /t REG_DWORD /d 1 /f || fail "reg add failed"
  fourth="$(run fourth --do 'fix(9)')"
  [[ "$(item 9 <<<"${fourth}")" == "1 0 " ]] || fail "policy on, item 9: $(item 9 <<<"${fourth}")"
  if reg query "HKCU\\${policy_key}" /v Homepage; then fail "the policy value is still in Wine's registry"; fi
fi
echo "browser_end_to_end: items 9, 10 and 11 failed where they should, were repaired and passed"
