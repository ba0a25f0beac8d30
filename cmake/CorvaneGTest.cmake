# GoogleTest: the system package for native builds; for Windows cross builds it is compiled
# from Debian's source package with the same toolchain, as there is no prebuilt mingw copy.
if(CMAKE_CROSSCOMPILING)
  set(CORVANE_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
  if(NOT EXISTS "${CORVANE_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${CORVANE_GTEST_SOURCE_DIR}; "
                        "install the googletest package (scripts/setup.sh)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory("${CORVANE_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  # GoogleTest's own CMake defines the GTest::gtest, GTest::gtest_main, GTest::gmock aliases.
else()
  find_package(GTest REQUIRED)
endif()
