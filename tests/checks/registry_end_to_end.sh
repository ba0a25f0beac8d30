#!/usr/bin/env bash
# Item 2 as a user meets it: the program, headless, on a fresh PC (a scratch emulated PC, or a
# scratch Wine prefix for the Windows build). The registry check fails, fix(2) makes it pass;
# with the policy "Disableregistrytools" = 1 it fails again and fix(2) deletes the value.
# Natively it also checks items 1 and 8 of the default machine and the hive files on disk.
#   registry_end_to_end.sh WORKDIR PROGRAM [RUNNER]   RUNNER runs PROGRAM (Wine)
set -euo pipefail
work="$1"
program="$2"
runner=("${@:3}")
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work

policy_key='Software\Microsoft\Windows\CurrentVersion\Policies\System'
machine_args=()
if [[ ${#runner[@]} -eq 0 ]]; then
  machine_args=(--machine "${work}/machine")
else
  scratch_wine_prefix  # Wine's real registry
fi

# Runs the program once; prints the transcript (CR LF from Windows made LF).
run() {
  local name="$1"
  shift
  "${runner[@]}" "${program}" "${machine_args[@]}" --ui none --exit-when-idle \
    --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1 ||
    fail "${name}: the program failed: $(tail -5 "${work}/${name}.out")"
  tr -d '\r' <"${work}/${name}.jsonl"
}

# The reports of item 2, in order, as "1 0" (failed, then passed).
item2() { grep -oE '"setState","args":\[1,2,[01]\]' | grep -oE '[01]\]$' | tr -d ']' | tr '\n' ' '; }

# 1. A fresh PC: the registry check fails (the compatibility-view list and the configured
#    values are missing); fix(2) writes them and the re-check passes.
first="$(run first --do 'fix(2)')"
[[ "$(item2 <<<"${first}")" == "1 0 " ]] || fail "fresh PC, item 2: $(item2 <<<"${first}")"
grep -q '"external":"fix","args":\[2\]' <<<"${first}" || fail "fix(2) did not run"
if [[ ${#runner[@]} -eq 0 ]]; then
  grep -qF '"args":[1,1,"Microsoft Windows 7 旗舰版 SP1 (build 7601) 64位"]' <<<"${first}" ||
    fail "item 1: $(grep -oE '"args":\[1,1,[^]]*\]' <<<"${first}")"
  grep -qF '"args":[1,8,"8.0.7601.17514"]' <<<"${first}" ||
    fail "item 8: $(grep -oE '"args":\[1,8,[^]]*\]' <<<"${first}")"
  hklm="${work}/machine/registry/HKLM.reg"
  hkcu="${work}/machine/registry/HKCU.reg"
  grep -q '^"DisableRenegoOnClient"=dword:00000000' "${hklm}" || fail "HKLM.reg lacks the SCHANNEL values"
  # TLS 1.2 on, SSL 2.0 and 3.0 off, TLS 1.0 and 1.1 left as the PC had them (on).
  grep -q '^"SecureProtocols"=dword:00000a80' "${hkcu}" || fail "HKCU.reg lacks SecureProtocols 0xa80"
  grep -q '^"UserFilter"=hex:41,1f,00,00,53,08,ad,ba,01,00,00,00,' "${hkcu}" ||
    fail "HKCU.reg lacks the compatibility-view list"
else
  grep -qE '"args":\[1,1,"Microsoft [^"]*\(build [0-9]+\)' <<<"${first}" ||
    fail "item 1: $(grep -oE '"args":\[1,1,[^]]*\]' <<<"${first}")"
fi

# 2. The same PC again: everything the configuration asks for is set, so item 2 passes.
second="$(run second)"
[[ "$(item2 <<<"${second}")" == "0 " ]] || fail "configured PC, item 2: $(item2 <<<"${second}")"

# 3. The policy that disables the registry tools fails item 2; fix(2) deletes it.
if [[ ${#runner[@]} -eq 0 ]]; then
  printf '\n[HKEY_CURRENT_USER\\%s]\n"Disableregistrytools"=dword:00000001\n' "${policy_key}" >>"${hkcu}"
else
  "${runner[@]}" reg add "HKCU\\${policy_key}" /v Disableregistrytools /t REG_DWORD /d 1 /f \
    >/dev/null 2>&1 || fail "reg add failed"
fi
third="$(run third --do 'fix(2)')"
[[ "$(item2 <<<"${third}")" == "1 0 " ]] || fail "policy on, item 2: $(item2 <<<"${third}")"
if [[ ${#runner[@]} -eq 0 ]]; then
  ! grep -qi 'Disableregistrytools' "${hkcu}" || fail "HKCU.reg still holds the policy value"
else
  if "${runner[@]}" reg query "HKCU\\${policy_key}" /v Disableregistrytools >/dev/null 2>&1; then
    fail "the policy value is still in Wine's registry"
  fi
fi
fourth="$(run fourth)"
[[ "$(item2 <<<"${fourth}")" == "0 " ]] || fail "policy removed, item 2: $(item2 <<<"${fourth}")"
echo "registry_end_to_end: item 2 failed, was repaired, failed with the policy and was repaired"
