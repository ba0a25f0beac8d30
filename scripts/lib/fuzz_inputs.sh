# Shared by scripts/test.sh and scripts/fuzz_long.sh: the seed corpus and dictionary of a fuzz
# target, which may be named after the target (fuzz_x) or the fuzzed thing (x).
#   fuzz_inputs NAME REPO_ROOT   sets the arrays fuzz_corpus and fuzz_dict
fuzz_inputs() {
  local name="$1" root="$2" base
  fuzz_corpus=()
  fuzz_dict=()
  for base in "${name}" "${name#fuzz_}"; do
    if [[ ${#fuzz_corpus[@]} -eq 0 && -d "${root}/fuzz/corpus/${base}" ]]; then
      fuzz_corpus=("${root}/fuzz/corpus/${base}")
    fi
    if [[ ${#fuzz_dict[@]} -eq 0 && -f "${root}/fuzz/${base}.dict" ]]; then
      fuzz_dict=("-dict=${root}/fuzz/${base}.dict")
    fi
  done
}
