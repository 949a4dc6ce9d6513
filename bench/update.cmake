# update_bench: a full 640 KiB update through the real Ostrelin.exe against
# the emulator answering at once (Windows build, run under Wine):
#   bash tests/e2e/run_e2e.sh build/windows/bench/update_bench.exe \
#     build/windows/app/Ostrelin.exe build/windows/emulator/VelkoroEmulator.exe build/windows/bench/update-out
if(WIN32 AND TARGET Ostrelin AND TARGET VelkoroEmulator AND TARGET velkoro_gui_driver)
  add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/update_bench.cpp)
  target_include_directories(update_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(update_bench PRIVATE velkoro_gui_driver)
  target_link_options(update_bench PRIVATE -municode)
  add_dependencies(update_bench Ostrelin VelkoroEmulator)
endif()
