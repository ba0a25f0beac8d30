#!/usr/bin/env bash
# A real PC's registry into an emulated PC: Wine's own regedit exports a branch it holds
# (values of every type set with reg add, and the Windows NT\CurrentVersion branch Wine
# writes itself), corvane-machine import-reg merges the files into a fresh machine, and
# the machine's keys and values are compared, key by key, with what Wine's reg query /s
# prints for the same branches. Then a broken file is refused with its line and changes
# nothing, and a REGEDIT4 file with deletions is merged.
#   regedit_import_wine.sh WORKDIR CORVANE_MACHINE WINE_RUN
set -euo pipefail
work="$1"
tool="$2"
wine_run="$3"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
scratch_wine_prefix
export LANG=C.UTF-8  # Wine turns its command line into UTF-16 from this

key='HKCU\Software\CorvaneImport'
nt_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
chinese='中文 ü'

# Two Wine starts: one for the value a batch file cannot spell (cmd reads it in the OEM
# code page), one for everything else.
"${wine_run}" reg add "${key}" /v Chinese /d "${chinese}" /f >/dev/null
cat >"${WINEPREFIX}/drive_c/export.bat" <<BAT
@echo off
set K=${key}
reg add %K% /ve /d "default text" /f >nul
reg add %K% /v Plain /d "a \\"quoted\\" C:\\path\\ tail" /f >nul
reg add %K% /v Empty /d "" /f >nul
reg add %K% /v Expand /t REG_EXPAND_SZ /d "%%SystemRoot%%\\system32" /f >nul
reg add %K% /v Multi /t REG_MULTI_SZ /d "one\\0two\\0three" /f >nul
reg add %K% /v Dword /t REG_DWORD /d 0xdeadbeef /f >nul
reg add %K% /v Qword /t REG_QWORD /d 0x1122334455667788 /f >nul
reg add %K% /v Bin /t REG_BINARY /d 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f /f >nul
reg add %K% /v None /t REG_NONE /d "" /f >nul
reg add "%K%\\Sub Key\\Deeper" /v "name with = and [x]" /d "x" /f >nul
reg add "%K%\\EmptyKey" /f >nul
regedit /E C:\\user.reg HKEY_CURRENT_USER\\%K:~5%
regedit /E C:\\nt.reg "HKEY_LOCAL_MACHINE\\${nt_key#HKLM\\}"
reg query %K% /s > C:\\user.txt
reg query "${nt_key}" /s > C:\\nt.txt
BAT
"${wine_run}" cmd /c 'C:\export.bat' >"${work}/wine.out" 2>&1 || fail "Wine: $(tail -5 "${work}/wine.out")"
drive_c="${WINEPREFIX}/drive_c"
for file in user.reg nt.reg user.txt nt.txt; do
  [[ -s "${drive_c}/${file}" ]] || fail "Wine wrote no ${file}"
  cp "${drive_c}/${file}" "${work}/${file}"
done
[[ "$(head -c 2 "${work}/user.reg" | od -An -tx1 | tr -d ' ')" == fffe ]] ||
  fail "Wine's export is not UTF-16LE with a byte-order mark"

machine="${work}/machine"
m() { "${tool}" --machine "${machine}" "$@"; }
# A new machine carries a Windows NT\CurrentVersion of its own; the import is to give
# exactly Wine's, so the branch goes first (a deletion, as regedit reads it).
printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\%s]\r\n' \
  "${nt_key#HKLM\\}" >"${work}/clear.reg"
m import-reg "${work}/clear.reg" "${work}/user.reg" "${work}/nt.reg" ||
  fail "importing Wine's exports failed"

# reg query writes in the OEM code page (437 here): the machine's listing is put in the
# same code page, with ? for what it lacks, as reg query shows it.
compare() {
  local name="$1" branch="$2"
  tr -d '\r' <"${work}/${name}.txt" | wine_only_differences >"${work}/${name}.wine"
  m reg-list "${branch}" | iconv -f UTF-8 -t CP437//TRANSLIT >"${work}/${name}.machine" ||
    fail "reg-list ${branch} failed"
  diff -u "${work}/${name}.wine" "${work}/${name}.machine" >"${work}/${name}.diff" ||
    fail "${branch} differs from Wine's (${work}/${name}.diff): $(head -20 "${work}/${name}.diff")"
}
# Wine's differences, made explicit: Wine 8's reg query prints every REG_QWORD as (null)
# (the machine's listing prints 0x..., as Windows does: the value itself is checked below),
# and it leaves out Perflib\009, a key Wine makes up when it is opened, which regedit
# exports as an empty key.
wine_only_differences() {
  awk -v qword='    Qword    REG_QWORD    0x1122334455667788' '
    /^    Qword    REG_QWORD    \(null\)$/ { print qword; next }
    { print }
    /\\Windows NT\\CurrentVersion\\Perflib$/ {
      getline blank; print blank
      print "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009"
      print ""
    }'
}
compare user "${key}"
compare nt "${nt_key}"
grep -q 'REG_MULTI_SZ' "${work}/nt.machine" || fail "the Windows NT branch lost its string lists"
[[ "$(m reg-get "${key}" Chinese)" == "${chinese}" ]] || fail "text outside the OEM code page changed"

# A broken line: exit status 2, file and line named, the hives untouched.
before="$(cat "${machine}"/registry/*.reg | md5sum)"
{
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Partial]\n'
  printf '"First"="set"\n"Second"=dword:not-a-number\n'
} >"${work}/broken.reg"
status=0
m import-reg "${work}/user.reg" "${work}/broken.reg" 2>"${work}/broken.err" || status=$?
[[ ${status} -eq 2 ]] || fail "a broken file gave exit status ${status}, not 2"
grep -q "broken.reg:5:" "${work}/broken.err" || fail "the error names no line: $(cat "${work}/broken.err")"
[[ "$(cat "${machine}"/registry/*.reg | md5sum)" == "${before}" ]] || fail "a refused import changed the hives"

# REGEDIT4 (ANSI, hex(2) in single bytes) with a value and a key deleted.
printf 'REGEDIT4\r\n\r\n[%s]\r\n"Plain"=-\r\n"Ansi"=hex(2):25,54,45,4d,50,25,00\r\n[-%s\\Sub Key]\r\n' \
  "HKEY_CURRENT_USER\\Software\\CorvaneImport" "HKEY_CURRENT_USER\\Software\\CorvaneImport" \
  >"${work}/ansi.reg"
m import-reg "${work}/ansi.reg" || fail "the REGEDIT4 file was refused"
[[ "$(m reg-get "${key}" Ansi)" == '%TEMP%' ]] || fail "REGEDIT4 hex(2) read wrongly"
if m reg-get "${key}" Plain >/dev/null; then fail "\"Plain\"=- left the value"; fi
if m reg-list "${key}\\Sub Key" >/dev/null; then fail "[-KEY] left the key"; fi
echo "regedit_import_wine: passed"
