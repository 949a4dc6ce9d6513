# The S-record reader over arbitrary file contents, then every walker over
# whatever image it accepted.
velkoro_add_fuzzer(srecord
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/srecord_fuzz.cpp
  LIBS velkoro_firmware_image)
