# Generates the files that carry the bank's values (res/bank.cmake):
#   ${CORVANE_GENERATED_DIR}/res/item.xml            the built-in configuration: UTF-8 with a
#                                                      byte-order mark and CR LF line ends
#   ${CORVANE_GENERATED_DIR}/include/bank/bank_values.h   constants for the C++ code, through
#                                                      the header-only library corvane_bank
# Editing either input reconfigures.

set(CORVANE_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
set(bank_inputs
  "${PROJECT_SOURCE_DIR}/res/bank.cmake"
  "${PROJECT_SOURCE_DIR}/res/item.xml.in"
  "${PROJECT_SOURCE_DIR}/res/bank_values.h.in")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${bank_inputs})
include("${PROJECT_SOURCE_DIR}/res/bank.cmake")

# One "dns" entry per allowed address of each host. configure_file converts only the template's
# own line ends, so the lines inserted here are joined with CR LF already.
set(dns_lines)
foreach(host IN ITEMS PERSONAL CORPORATE)
  foreach(address IN LISTS CORVANE_BANK_${host}_ADDRESSES)
    list(APPEND dns_lines "    <entry ip=\"${address}\">${CORVANE_BANK_${host}_HOST}</entry>")
  endforeach()
endforeach()
list(JOIN dns_lines "\r\n" CORVANE_BANK_DNS_ENTRIES)

# The template starts with the byte-order mark, which configure_file passes through;
# NEWLINE_STYLE gives the CR LF line ends whatever the checkout has.
configure_file("${PROJECT_SOURCE_DIR}/res/item.xml.in" "${CORVANE_GENERATED_DIR}/res/item.xml"
               @ONLY NEWLINE_STYLE CRLF)
configure_file("${PROJECT_SOURCE_DIR}/res/bank_values.h.in"
               "${CORVANE_GENERATED_DIR}/include/bank/bank_values.h" @ONLY)
# Constants like the resources, below every module: the configuration's URLs and the emulated
# PC's default network both need the bank's host names. Outside src/, so the module check
# treats it as it treats the resources.
add_library(corvane_bank INTERFACE)
target_include_directories(corvane_bank INTERFACE "${CORVANE_GENERATED_DIR}/include")

# The program's version: one build option for the Windows version resource and the emulated
# PC's program file (generated/include/program_version.h). A release raises it.
set(CORVANE_PROGRAM_VERSION "1.0.0.0" CACHE STRING "The program's file version, a.b.c.d")
if(NOT CORVANE_PROGRAM_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "CORVANE_PROGRAM_VERSION must be four numbers a.b.c.d")
endif()
foreach(part 1 2 3 4)
  if(CMAKE_MATCH_${part} GREATER 65535)
    message(FATAL_ERROR "CORVANE_PROGRAM_VERSION: each number is at most 65535")
  endif()
  set(version_part_${part} ${CMAKE_MATCH_${part}})
endforeach()
string(REPLACE "." "," CORVANE_PROGRAM_VERSION_COMMAS "${CORVANE_PROGRAM_VERSION}")
math(EXPR CORVANE_PROGRAM_VERSION_MS "(${version_part_1} << 16) | ${version_part_2}")
math(EXPR CORVANE_PROGRAM_VERSION_LS "(${version_part_3} << 16) | ${version_part_4}")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/res/program_version.h.in")
configure_file("${PROJECT_SOURCE_DIR}/res/program_version.h.in"
               "${CORVANE_GENERATED_DIR}/include/program_version.h" @ONLY)
