# Reading the largest acceptable firmware file, beside objcopy on the same file.
add_executable(srecord_bench ${CMAKE_CURRENT_LIST_DIR}/srecord_bench.cpp)
target_link_libraries(srecord_bench PRIVATE velkoro_firmware_image)
