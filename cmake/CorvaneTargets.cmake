# Helpers shared by every module, so each module's CMakeLists.txt stays a few lines long.

# Settings every Corvane target gets: warnings for our own code, and on Windows the oldest
# system we support, so the headers hide APIs that Windows XP lacks.
# Every Windows executable links the XP runtime object (src/platform/win32/runtime).
function(corvane_link_windows_runtime target)
  if(WIN32 AND TARGET corvane_xp_runtime)
    target_link_libraries(${target} PRIVATE corvane_xp_runtime)
  endif()
endfunction()

function(corvane_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(WIN32)
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0501 WINVER=0x0501)
  endif()
endfunction()

# corvane_add_library(<name> SOURCES <files...> [DEPENDS <targets...>])
# A static library whose headers are included as "<module>/<file>.h" from src/.
function(corvane_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  corvane_target_defaults(${name})
endfunction()

# corvane_add_tests(<name> SOURCES <files...> [DEPENDS <targets...>])
# One GoogleTest executable registered as a single ctest test. One test per executable keeps
# Windows runs quick: every process start under Wine costs noticeable time, so per-case
# discovery is avoided. When cross-compiling, ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR.
function(corvane_add_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_executable(${name} ${ARG_SOURCES})
  corvane_link_windows_runtime(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
  corvane_target_defaults(${name})
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
endfunction()

# corvane_add_module(<name> [DEPENDS <targets...>])
# The library of one module folder of src/: every .cpp of the folder. A module whose sources
# are still to come is a header-only (interface) library, so dependents link it already.
function(corvane_add_module name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "DEPENDS")
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    corvane_add_library(${name} SOURCES ${sources} DEPENDS ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# corvane_add_module_tests(<name> [DEPENDS <targets...>])
# The tests of one module folder of tests/: every .cpp of the folder, when there are any.
function(corvane_add_module_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "DEPENDS")
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    corvane_add_tests(${name} SOURCES ${sources} DEPENDS ${ARG_DEPENDS})
    target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
endfunction()
