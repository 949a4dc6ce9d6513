# replies_fuzz: the fuzzer's bytes are everything the probe answers while the
# tool reads and writes the serial number and runs an update's steps.
velkoro_add_fuzzer(replies
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/replies_fuzz.cpp
  LIBS velkoro_probe velkoro_transport_model velkoro_probe_model velkoro_firmware_image)
target_include_directories(replies_fuzz PRIVATE ${PROJECT_SOURCE_DIR})
