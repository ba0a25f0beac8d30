#!/usr/bin/env bash
# The terminal host as a person uses it: the program in a pseudo-terminal of a private tmux
# server, keys sent in, the screen read back. A repair button, one-click setup with its
# prompt answered by each link (on the dialog thread), the configuration worker's message and
# the root certificate question, re-check, Ctrl-L painting the page again over stray output,
# and "q" ending with status 0 and the terminal as it was. The session's
# transcript stays in WORKDIR/transcript.jsonl (tests/browser compares it with the browser's).
#   terminal_in_place.sh WORKDIR PROGRAM
set -euo pipefail
work="$1"
program="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
socket="corvane-test-$$"
tmux_() { tmux -L "${socket}" -f /dev/null "$@"; }
cleanup() { tmux_ kill-server >/dev/null 2>&1 || true; }
trap cleanup EXIT

fail_details() {
  echo "--- screen:"
  tmux_ capture-pane -p -t corvane || true
}

screen() { tmux_ capture-pane -p -t corvane; }
# Waits until the screen shows a line matching the pattern (grep -E).
wait_for() {
  local pattern="$1" i
  for ((i = 0; i < 300; ++i)); do
    grep -qE -- "${pattern}" <<<"$(screen)" && return 0
    sleep 0.1
  done
  fail "never shown: ${pattern}"
}
# The row of the screen that starts with a label (after the indent).
row() { screen | grep -E "^  $1 " || true; }
keys() { tmux_ send-keys -t corvane "$@"; }
# A new program in the same pane. Killing the session instead would end the tmux server, and
# a new session made while it shuts down fails with "server exited unexpectedly".
restart() { tmux_ respawn-pane -k -t corvane -e LANG=C.UTF-8 "$@"; }
# Waits for a pattern while answering the prompts that come on the way: the configuration's
# download-failed message (no bank server here) with Enter, the emulated PC's root
# certificate question with its first link.
answer_until() {
  local pattern="$1" i
  for ((i = 0; i < 300; ++i)); do
    local now
    now="$(screen)"
    grep -qE -- "${pattern}" <<<"${now}" && return 0
    if grep -q '下载配置文件失败' <<<"${now}" && grep -q '\[Enter\] 确定' <<<"${now}"; then
      keys Enter
    elif grep -q '是否安装此证书' <<<"${now}"; then
      keys 1
    fi
    sleep 0.2
  done
  fail "never shown: ${pattern}"
}

# The one-click setup first asks the download-failed choice (a test hook), so each of its
# two links can be answered on any machine.
cat >"${work}/run.sh" <<EOF
stty -g >"${work}/stty.before"
bash -c 'echo \$\$ >"${work}/pid"; exec "\$@"' corvane "${program}" \
  --machine "${work}/machine" --transcript "${work}/\$1" --prompt-in install
echo \$? >"${work}/status"
stty -g >"${work}/stty.after"
sleep 30
EOF
tmux_ new-session -d -s corvane -x 80 -y 24 -e LANG=C.UTF-8 bash "${work}/run.sh" transcript.jsonl

# Drawn in place: the whole page on one screen, once.
answer_until '检测完毕'
wait_for '按键: r 重新检测 s 一键设置'
[[ "$(screen | grep -c '操作系统检测')" -eq 1 ]] || fail "the page is not drawn in place"
grep -q '正常' <<<"$(row 'Host文件')" || fail "row Host文件 not reported"

# A repair button: the registry fails on a new machine; its key is 1.
grep -q '不正常.*\[1\]修复' <<<"$(row '注册表')" || fail "no repair button on the registry row"
keys 1
wait_for '设置完毕'
wait_for '^  注册表 +正常'
grep -q '修复' <<<"$(row '注册表')" && fail "the repair button stays after the repair"

# One-click setup: fix(0), then install(0) asks first; answered by the refusal link (2).
keys s
answer_until '\[1\] 继续下载下一项'
wait_for '\[2\] 停止下载'
grep -q '下载失败，是否继续下一个' <<<"$(screen)" || fail "the prompt's content is missing"
keys 2
answer_until '按键: r 重新检测'
# ...and again, answered by the command link (1).
keys s
answer_until '\[1\] 继续下载下一项'
keys 1
answer_until '按键: r 重新检测'

# Re-check runs the whole sequence again.
keys r
answer_until '正在(获取配置|检测)'
answer_until '检测完毕'
answer_until '按键: r 重新检测'

# Another program's lines written into the terminal (as an installer's errors once were):
# Ctrl-L paints the page again, without them.
tty="$(tmux_ display-message -p -t corvane '#{pane_tty}')"
printf '\r\nSTRAY-OUTPUT-LINE\r\n' >"${tty}"
wait_for 'STRAY-OUTPUT-LINE'
keys C-l
for ((i = 0; i < 50; ++i)); do
  grep -q 'STRAY-OUTPUT-LINE' <<<"$(screen)" || break
  sleep 0.1
done
grep -q 'STRAY-OUTPUT-LINE' <<<"$(screen)" && fail "Ctrl-L left the stray output on the page"
[[ "$(screen | grep -c '操作系统检测')" -eq 1 ]] || fail "Ctrl-L did not draw the page again"
wait_for '按键: r 重新检测'

keys q
for ((i = 0; i < 100; ++i)); do
  [[ -s "${work}/status" && -s "${work}/stty.after" ]] && break
  sleep 0.1
done
[[ -s "${work}/status" ]] || fail "q did not end the program"
[[ "$(cat "${work}/status")" == 0 ]] || fail "status $(cat "${work}/status")"
cmp -s "${work}/stty.before" "${work}/stty.after" || fail "the terminal was not restored"

# The transcript holds the clicks as the page sends them.
commands="$(grep -oE '"external":"[a-z]+","args":\[[0-9,]*\]' "${work}/transcript.jsonl" |
  tr '\n' ' ')"
expected='"external":"fix","args":[2] "external":"fix","args":[0] "external":"install","args":[0] "external":"fix","args":[0] "external":"install","args":[0] '
[[ "${commands}" == "${expected}"* ]] || fail "commands: ${commands}"
[[ "${commands}" == *'"external":"check","args":[1] ' ]] || fail "no re-check: ${commands}"
answers="$(grep -oE '"ids":\[145,146,147\],"answer":[0-9]+' "${work}/transcript.jsonl" |
  grep -oE '[0-9]+$' | tr '\n' ' ')"
[[ "${answers}" == "7 6 " ]] || fail "answers of the download-failed choice: ${answers}"
echo "terminal_in_place: ${commands}"

# Ctrl-C closes as "q" does; a crash signal still leaves the terminal as it was.
for ending in C-c SEGV; do
  rm -f "${work}/status" "${work}/stty.after"
  restart bash "${work}/run.sh" \
    "${ending}.jsonl"
  answer_until '按键: r 重新检测'
  if [[ ${ending} == C-c ]]; then
    keys C-c
  else
    kill -SEGV "$(cat "${work}/pid")" || fail "no program to signal"
  fi
  for ((i = 0; i < 100; ++i)); do
    [[ -s "${work}/stty.after" ]] && break
    sleep 0.1
  done
  [[ -s "${work}/status" ]] || fail "${ending} did not end the program"
  expected_status=0
  [[ ${ending} == SEGV ]] && expected_status=139
  [[ "$(cat "${work}/status")" == "${expected_status}" ]] ||
    fail "${ending}: status $(cat "${work}/status")"
  cmp -s "${work}/stty.before" "${work}/stty.after" ||
    fail "${ending}: the terminal was not restored"
done
echo "terminal_in_place: Ctrl-C and a crash restore the terminal"

# A terminal that curses does not know: the page as lines, as in a log, and the run goes on.
cat >"${work}/unknown.sh" <<EOF2
TERM=corvane-unknown-terminal "${program}" --machine "${work}/machine" --exit-when-idle \
  --answer consent >"${work}/unknown.out" 2>&1
echo \$? >"${work}/unknown.status"
sleep 30
EOF2
restart bash "${work}/unknown.sh"
for ((i = 0; i < 300; ++i)); do
  [[ -s "${work}/unknown.status" ]] && break
  sleep 0.1
done
[[ "$(cat "${work}/unknown.status" 2>/dev/null)" == 0 ]] ||
  fail "unknown terminal: status $(cat "${work}/unknown.status" 2>/dev/null)"
grep -q '检测完毕' "${work}/unknown.out" || fail "unknown terminal: no page lines"
echo "terminal_in_place: an unknown terminal gets the page as lines"
