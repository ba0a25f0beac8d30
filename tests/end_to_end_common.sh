# Shared pieces of the end-to-end scripts, sourced after they define `fail MESSAGE` (ends the
# script) and set `bank_server` (the corvane-bank-server program).

bank_server_pid=""

# start_bank_server LOG [ARGS...]: runs corvane-bank-server with ARGS, its output in LOG,
# and returns once it serves; fails when it ends or does not start within 10 s (60 s under a
# sanitizer, which makes the certificates slowly).
start_bank_server() {
  local log="$1"
  shift
  : >"${log}"  # there before the first look at it
  "${bank_server}" "$@" >"${log}" 2>&1 &
  bank_server_pid=$!
  for _ in $(seq 1 600); do
    grep -q '^serving' "${log}" && return 0
    kill -0 "${bank_server_pid}" 2>/dev/null || fail "the bank server ended: $(cat "${log}")"
    sleep 0.1
  done
  fail "the bank server did not start: $(cat "${log}")"
}

# stop_bank_server: ends the server started last, if any, and waits for it.
stop_bank_server() {
  if [[ -n "${bank_server_pid}" ]]; then
    kill "${bank_server_pid}" 2>/dev/null || true
    wait "${bank_server_pid}" 2>/dev/null || true
    bank_server_pid=""
  fi
}
