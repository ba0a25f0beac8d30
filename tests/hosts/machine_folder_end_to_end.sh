#!/usr/bin/env bash
# The programs on machine folders as a user meets them: a folder that cannot be read whole is
# refused (status 2, the file and line on stderr, the folder left as it was); two machines run
# at once; the same machine twice is refused with status 3 and a message; a preset machine.
#   machine_folder_end_to_end.sh WORKDIR CORVANE CORVANE_MACHINE
set -euo pipefail
work="$1"
corvane="$2"
machine_tool="$3"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work

# Every path, type and content below a folder, so that any write shows.
fingerprint() {
  (cd "$1" && find . -printf '%y %p %l\n' | LC_ALL=C sort &&
    find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum)
}

# A complete machine as corvane-machine creates it; creating one is not an error, and the
# program runs on a copy of it (the copy then has certificate stores too).
good="${work}/good"
"${machine_tool}" --machine "${good}" show >/dev/null || fail "creating a machine failed"
cp -a "${good}" "${work}/ran"
"${corvane}" --machine "${work}/new" --ui none --exit-when-idle >/dev/null 2>"${work}/stderr" ||
  fail "corvane did not create and run a new machine: $(cat "${work}/stderr")"
"${corvane}" --machine "${work}/ran" --ui none --exit-when-idle >/dev/null 2>"${work}/stderr" ||
  fail "a good machine did not run: $(cat "${work}/stderr")"

# name | how the folder is broken | what stderr must name
cases=(
  "ini|echo 'not a setting' >>machine.ini|machine.ini:[0-9]+: "
  "hive|echo 'not a registry line' >>registry/HKLM.reg|registry/HKLM.reg:[0-9]+: "
  "hive-open-key|printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\\\A\n' >registry/HKCU.reg|registry/HKCU.reg:3: "
  "network|printf '[proxy]\nnot a setting\n' >network.ini|network.ini:2: "
  "store-is-a-file|mkdir -p certs/user && echo x >certs/user/ROOT|certs/user/ROOT: is not a folder"
  "store-is-a-link|mkdir -p certs/machine && ln -s /etc/ssl/certs certs/machine/ROOT|certs/machine/ROOT: is a symbolic link"
  "certs-is-a-file|echo x >certs|certs: is not a folder"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name breakage expected <<<"${entry}"
  for program in corvane corvane-machine; do
    folder="${work}/${name}-${program}"
    cp -a "${work}/ran" "${folder}"
    rm -rf "${folder}/locks" "${folder}/certs"
    (cd "${folder}" && eval "${breakage}")
    before="$(fingerprint "${folder}")"
    status=0
    if [[ ${program} == corvane ]]; then
      "${corvane}" --machine "${folder}" --ui none --exit-when-idle --do 'fix(0)' \
        >"${work}/stdout" 2>"${work}/stderr" || status=$?
    else
      "${machine_tool}" --machine "${folder}" reboot >"${work}/stdout" 2>"${work}/stderr" ||
        status=$?
    fi
    [[ ${status} -eq 2 ]] || fail "${name}: ${program} ended with ${status}, not 2"
    grep -qE "${expected}" "${work}/stderr" ||
      fail "${name}: ${program} did not name '${expected}': $(cat "${work}/stderr")"
    [[ ! -s "${work}/stdout" ]] || fail "${name}: ${program} ran: $(head -3 "${work}/stdout")"
    [[ "$(fingerprint "${folder}")" == "${before}" ]] || fail "${name}: ${program} wrote to the machine"
  done
done

# One instance per machine. The first instance waits with nothing to do until it is ended.
cp -a "${work}/ran" "${work}/one"
cp -a "${work}/ran" "${work}/two"
"${corvane}" --machine "${work}/one" --ui none >/dev/null 2>&1 &
holder=$!
trap 'kill "${holder}" 2>/dev/null || true' EXIT
# Watched through /proc/locks: probing with flock would take the lock for a moment and make
# the instance, starting at that moment, give up.
holds_lock() {
  local lock inode
  lock="$(ls "${work}"/one/locks/*.lock 2>/dev/null | head -1 || true)"
  [[ -n ${lock} ]] || return 1
  inode="$(stat -c %i "${lock}")"
  grep -qE "FLOCK +ADVISORY +WRITE +${holder} +[0-9a-f]+:[0-9a-f]+:${inode} " /proc/locks
}
for _ in $(seq 100); do
  holds_lock && break
  kill -0 "${holder}" 2>/dev/null || fail "the first instance ended before it held its machine"
  sleep 0.1
done
holds_lock || fail "the first instance never held its machine"

"${corvane}" --machine "${work}/two" --ui none --exit-when-idle >/dev/null 2>"${work}/stderr" ||
  fail "a second machine did not run beside the first: $(cat "${work}/stderr")"
for ui in none terminal; do
  status=0
  "${corvane}" --machine "${work}/one" --ui "${ui}" --exit-when-idle >"${work}/stdout" \
    2>"${work}/stderr" || status=$?
  [[ ${status} -eq 3 ]] || fail "the same machine twice (--ui ${ui}) ended with ${status}, not 3"
  grep -q "another instance holds the machine ${work}/one" "${work}/stderr" ||
    fail "no message for the same machine twice: $(cat "${work}/stderr")"
done
kill "${holder}"
wait "${holder}" 2>/dev/null || true
"${corvane}" --machine "${work}/one" --ui none --exit-when-idle >/dev/null 2>"${work}/stderr" ||
  fail "the machine stayed held after its instance ended: $(cat "${work}/stderr")"
# A preset machine runs as that Windows; a preset never overwrites a machine, and an unknown
# name is a usage error.
"${machine_tool}" --machine "${work}/xp" create --preset winxp-sp3-x86 >/dev/null ||
  fail "the XP preset was not created"
"${corvane}" --machine "${work}/xp" --ui none --exit-when-idle --transcript "${work}/xp.jsonl" \
  >/dev/null 2>"${work}/stderr" || fail "the XP preset did not run: $(cat "${work}/stderr")"
grep -q 'Microsoft Windows XP 专业版 SP3 (build 2600)' "${work}/xp.jsonl" ||
  fail "the XP preset is not described as XP"
before="$(fingerprint "${work}/xp")"
for entry in "win8-x64 1" "win95 2"; do
  read -r preset expected <<<"${entry}"
  status=0
  "${machine_tool}" --machine "${work}/xp" create --preset "${preset}" 2>"${work}/stderr" ||
    status=$?
  [[ ${status} -eq ${expected} ]] || fail "create --preset ${preset} ended with ${status}"
done
[[ "$(fingerprint "${work}/xp")" == "${before}" ]] || fail "create changed an existing machine"
echo "machine_folder_end_to_end: all passed"
