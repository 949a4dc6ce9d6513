# GoogleTest comes from Debian's sources and is built by each preset, so the
# native and the Windows suites use the same framework. No test uses the
# mocking half, so it is not built. The framework is built without
# optimisation or debug information: its own speed is not what the suites
# measure, and optimised it was the longest single compile of a build.
set(VELKORO_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELKORO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(gtest PRIVATE -O0 -g0)
  target_compile_options(gtest_main PRIVATE -O0 -g0)
endif()

# Test programs are compiled without optimisation in every preset: the
# product's libraries they link keep the preset's flags, and optimising the
# test bodies took half of each test file's compile for nothing a test looks
# at. They take GoogleTest's header precompiled from one target
# (tests/CMakeLists.txt) with these same flags: parsing it was about half of
# what was left of each test file's compile.
function(velkoro_test_optimisation target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -O0)
  endif()
endfunction()

function(velkoro_test_headers target)
  velkoro_test_optimisation(${target})
  target_precompile_headers(${target} REUSE_FROM velkoro_gtest_headers)
endfunction()

# velkoro_add_test(NAME <exe> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
#
# Builds one GoogleTest executable and registers it with CTest. Natively every
# test case becomes its own CTest entry; in the Windows build the whole
# executable is one entry run through Wine (discovering cases would start Wine
# once more per executable at build time). A test sees the headers of what it
# links, like any library.
function(velkoro_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  velkoro_test_headers(${T_NAME})
  if(WIN32)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 600)
  else()
    include(GoogleTest)
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  endif()
  if(T_LABELS)
    set_property(TEST ${T_NAME} APPEND PROPERTY LABELS ${T_LABELS})
  endif()
endfunction()

# velkoro_add_wine_e2e(NAME <test> SOURCES <files...> [LIBS <targets...>]
#                      [SECONDS <about how long it runs>] [TIMEOUT <seconds>])
#
# An end-to-end program of the Windows build: <test>_test, registered with
# CTest as <test> (label e2e). It runs under a Wine server of its own on a
# throw-away X display (scripts/wine-isolated.sh), so the device paths its
# emulator serves are seen by no other test and such programs run side by
# side. tests/e2e/run_e2e.sh names the programs it drives in its environment
# (VELKORO_APP, VELKORO_EMULATOR, and VELKORO_CLI here) with its output
# folder (VELKORO_E2E_OUT, e2e-out in the test's build folder). CTest starts
# the longest first (SECONDS), so the last to start are the short ones.
function(velkoro_add_wine_e2e)
  cmake_parse_arguments(E "" "NAME;SECONDS;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 900)
  endif()
  if(NOT E_SECONDS)
    set(E_SECONDS 30)
  endif()
  set(exe ${E_NAME}_test)
  add_executable(${exe} ${E_SOURCES})
  target_link_libraries(${exe} PRIVATE ${E_LIBS} velkoro_test_support GTest::gtest_main)
  velkoro_test_headers(${exe})
  add_dependencies(${exe} Ostrelin ostrelin-cli VelkoroEmulator)
  add_test(NAME ${E_NAME}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-isolated.sh --display
            bash ${PROJECT_SOURCE_DIR}/tests/e2e/run_e2e.sh $<TARGET_FILE:${exe}>
            $<TARGET_FILE:Ostrelin> $<TARGET_FILE:VelkoroEmulator>
            ${CMAKE_CURRENT_BINARY_DIR}/e2e-out --gtest_color=no)
  set_tests_properties(${E_NAME} PROPERTIES
    ENVIRONMENT "VELKORO_CLI=$<TARGET_FILE:ostrelin-cli>" TIMEOUT ${E_TIMEOUT} COST ${E_SECONDS}
    LABELS e2e)
endfunction()
