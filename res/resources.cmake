# The resources of Corvane's executable, shared by the Windows build (compiled into the
# program by windres) and the Linux build (embedded as data by cmake/CorvaneResources.cmake).
#
# One entry per resource: "TYPE|NAME|FILE", FILE relative to this folder or, for a generated
# file, its full path. A TYPE or NAME of digits only is a number (24 is RT_MANIFEST, 23
# RT_HTML); any other is a name of letters, digits, _ . and -, matched without regard to case
# as FindResource does. Adding a resource is one line here.
#
# Strings of the string table: "ID|TEXT", UTF-8; \n in TEXT is a line break.
#
# The version resource lives in corvane.rc: Linux builds do not carry it.

list(APPEND CORVANE_RESOURCES
  "24|1|corvane.manifest"
  # The built-in configuration, generated from item.xml.in with the values of bank.cmake.
  "23|ITEM.XML|${CORVANE_GENERATED_DIR}/res/item.xml"
)

list(APPEND CORVANE_STRINGS
  "136|Marrowby银行网银助手"
)
