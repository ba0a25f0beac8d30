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

# The module graph: every library and program of src/ records here which files and folders it
# owns and what it DEPENDS on, so those calls are the one place the allowed edges are written.
# At the end of configuring, corvane_write_module_edges() writes them for
# scripts/check_module_edges.py, which fails on an include that crosses no edge.
function(corvane_record_module name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;FOLDERS;DEPENDS")
  set(sources "")
  set(folders "")
  foreach(source IN LISTS ARG_SOURCES)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
    cmake_path(RELATIVE_PATH source BASE_DIRECTORY "${PROJECT_SOURCE_DIR}/src")
    list(APPEND sources "${source}")
    cmake_path(GET source PARENT_PATH folder)
    list(APPEND folders "${folder}")
  endforeach()
  foreach(folder IN LISTS ARG_FOLDERS)
    cmake_path(RELATIVE_PATH folder BASE_DIRECTORY "${PROJECT_SOURCE_DIR}/src")
    list(APPEND folders "${folder}")
  endforeach()
  # A module may be recorded twice (a folder module's library), so facts are merged.
  get_property(modules GLOBAL PROPERTY CORVANE_MODULES)
  if(NOT name IN_LIST modules)
    set_property(GLOBAL APPEND PROPERTY CORVANE_MODULES ${name})
  endif()
  set_property(GLOBAL APPEND PROPERTY CORVANE_MODULE_SOURCES_${name} ${sources})
  set_property(GLOBAL APPEND PROPERTY CORVANE_MODULE_FOLDERS_${name} ${folders})
  set_property(GLOBAL APPEND PROPERTY CORVANE_MODULE_DEPENDS_${name} ${ARG_DEPENDS})
endfunction()

# Writes build/<preset>/module_edges.txt, one line per fact, tab-separated:
#   module <name> / source <name> <path> / folder <name> <path> / depends <name> <target>
# Paths are relative to src/. Runs once, at the end of the top-level CMakeLists.txt.
function(corvane_write_module_edges)
  get_property(modules GLOBAL PROPERTY CORVANE_MODULES)
  set(text "")
  foreach(name IN LISTS modules)
    string(APPEND text "module\t${name}\n")
    foreach(kind SOURCES FOLDERS DEPENDS)
      get_property(items GLOBAL PROPERTY CORVANE_MODULE_${kind}_${name})
      list(REMOVE_DUPLICATES items)
      string(TOLOWER "${kind}" word)
      string(REGEX REPLACE "s$" "" word "${word}")
      foreach(item IN LISTS items)
        string(APPEND text "${word}\t${name}\t${item}\n")
      endforeach()
    endforeach()
  endforeach()
  file(WRITE "${CMAKE_BINARY_DIR}/module_edges.txt" "${text}")
  if(CORVANE_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
    find_package(Python3 QUIET COMPONENTS Interpreter)
    if(Python3_Interpreter_FOUND)
      add_test(NAME corvane_module_edges
               COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/scripts/check_module_edges.py"
                       --edges "${CMAKE_BINARY_DIR}/module_edges.txt"
                       --src "${PROJECT_SOURCE_DIR}/src"
                       --windows-gateway platform/win32/win32_util.h)
      add_test(NAME corvane_module_edges_selftest
               COMMAND Python3::Interpreter
                       "${PROJECT_SOURCE_DIR}/scripts/check_module_edges_test.py")
    endif()
  endif()
endfunction()
cmake_language(DEFER DIRECTORY "${PROJECT_SOURCE_DIR}" CALL corvane_write_module_edges)

# corvane_add_library(<name> SOURCES <files...> [DEPENDS <targets...>])
# A static library whose headers are included as "<module>/<file>.h" from src/.
function(corvane_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  corvane_target_defaults(${name})
  corvane_record_module(${name} SOURCES ${ARG_SOURCES} DEPENDS ${ARG_DEPENDS})
endfunction()

# corvane_add_program(<name> SOURCES <files...> [DEPENDS <targets...>])
# An executable of src/, linked with its DEPENDS, recorded in the module graph like a library.
function(corvane_add_program name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
  corvane_target_defaults(${name})
  corvane_link_windows_runtime(${name})
  corvane_record_module(${name} SOURCES ${ARG_SOURCES} DEPENDS ${ARG_DEPENDS})
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
  # The whole folder is the module's, headers without a source among them.
  corvane_record_module(${name} FOLDERS "${CMAKE_CURRENT_SOURCE_DIR}" DEPENDS ${ARG_DEPENDS})
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
