# cli_bench: a full 640 KiB update through ostrelin-cli.exe beside the link
# floor, the same 640 program requests and 640 read-backs driven straight
# through the transport (Windows build, run under Wine):
#   bash scripts/wine-run.sh build/windows/bench/cli_bench.exe \
#     build/windows/cli/ostrelin-cli.exe build/windows/emulator/VelkoroEmulator.exe build/cli-bench
if(WIN32 AND TARGET ostrelin-cli AND TARGET VelkoroEmulator AND TARGET velkoro_gui_driver)
  add_executable(cli_bench ${CMAKE_CURRENT_LIST_DIR}/cli_bench.cpp
                           ${PROJECT_SOURCE_DIR}/tests/e2e_cli/cli_process.cpp)
  target_include_directories(cli_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests
                                               ${PROJECT_SOURCE_DIR}/tests/e2e_cli)
  target_link_libraries(cli_bench PRIVATE velkoro_gui_driver velkoro_probe velkoro_transport_win32)
  target_link_options(cli_bench PRIVATE -municode)
  add_dependencies(cli_bench ostrelin-cli VelkoroEmulator)
endif()
