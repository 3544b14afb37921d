# Tests of the POSIX backend: the sysfs scan, and the port and port lock on pseudo-terminals.
target_sources(orlix_serial_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SysfsPortsTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PtySerialPortTests.cpp)
target_link_libraries(orlix_serial_tests PRIVATE orlix_test_support)
