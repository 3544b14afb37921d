# The native window's tests (included by tests/CMakeLists.txt for Windows builds): orlix.exe
# under Wine and Xvfb, driven from outside by orlix_gui_driver, against the native orlix-sim.
if(NOT TARGET orlix)
  return()
endif()
add_executable(orlix_gui_driver ${CMAKE_CURRENT_LIST_DIR}/gui_driver.cpp)
target_compile_definitions(orlix_gui_driver PRIVATE UNICODE _UNICODE)
target_link_options(orlix_gui_driver PRIVATE -municode)
target_link_libraries(orlix_gui_driver PRIVATE orlix_warnings)

# The shipped file: the programs' common check, then the window's own resources.
add_test(NAME WinProgram.orlix
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/cli/ProgramImage.sh $<TARGET_FILE:orlix> ${PROJECT_VERSION})
add_test(NAME WineGui.resources
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/gui_test.sh resources en ${CMAKE_BINARY_DIR} $<TARGET_FILE:orlix>
          - - ${PROJECT_SOURCE_DIR})
set_tests_properties(WinProgram.orlix WineGui.resources PROPERTIES LABELS "fast;gui")

# The runs need ORLIX_HOST_SIM (set by scripts/build-windows.sh) and share one prefix's COM7/8.
# German once: the manual run walks the pages and takes their screenshots.
if(ORLIX_HOST_SIM)
  foreach(run manual.en auto-close.en retry-no.en notfound.en manual.de)
    string(REPLACE "." ";" parts ${run})
    add_test(NAME WineGui.${run}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/gui_test.sh ${parts} ${CMAKE_BINARY_DIR} $<TARGET_FILE:orlix>
              $<TARGET_FILE:orlix_gui_driver> ${ORLIX_HOST_SIM} ${PROJECT_SOURCE_DIR})
    set_tests_properties(WineGui.${run} PROPERTIES
      LABELS "slow;gui" TIMEOUT 240 RESOURCE_LOCK wine-gui SKIP_RETURN_CODE 77)
  endforeach()
endif()
