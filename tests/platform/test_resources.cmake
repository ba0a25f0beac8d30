# Resources that only the platform test program carries, beside the executable's own.
list(APPEND CORVANE_RESOURCES
  "TESTDATA|HELLO.TXT|resources/hello.txt"
  "TESTDATA|EMPTY|resources/empty.bin"
  "23|7|resources/hello.txt"
)
list(APPEND CORVANE_STRINGS
  "60001|第一行\n\"second\" line\\"
)
