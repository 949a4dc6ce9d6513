# velkoro_add_test(NAME <exe> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
#
# Builds one GoogleTest executable and registers it with CTest. Natively every
# test case becomes its own CTest entry; in the Windows build the whole
# executable is one entry run through Wine (discovering cases would start Wine
# once more per executable at build time).
function(velkoro_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  if(WIN32)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 600)
  else()
    include(GoogleTest)
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
  endif()
  if(T_LABELS)
    set_property(TEST ${T_NAME} APPEND PROPERTY LABELS ${T_LABELS})
  endif()
endfunction()
