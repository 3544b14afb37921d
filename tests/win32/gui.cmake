# The native window's tests (included by tests/CMakeLists.txt for Windows builds): orlix.exe
# under Wine and Xvfb, driven from outside by orlix_gui_driver, against orlix-sim built for
# the build machine.
if(NOT TARGET orlix)
  return()
endif()

add_executable(orlix_gui_driver ${CMAKE_CURRENT_LIST_DIR}/gui_driver.cpp)
target_compile_definitions(orlix_gui_driver PRIVATE UNICODE _UNICODE)
target_link_options(orlix_gui_driver PRIVATE -municode)
target_link_libraries(orlix_gui_driver PRIVATE gdi32 orlix_warnings)

# The shipped file: hardening, kernels, version (the programs' common check) and the window's
# own resources.
add_test(NAME WinProgram.orlix
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/cli/ProgramImage.sh $<TARGET_FILE:orlix> ${PROJECT_VERSION})
add_test(NAME WineGui.resources
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/gui_test.sh resources en ${CMAKE_BINARY_DIR} $<TARGET_FILE:orlix>
          - - ${PROJECT_SOURCE_DIR})
set_tests_properties(WinProgram.orlix WineGui.resources PROPERTIES LABELS "fast;gui")

# The runs need the native orlix-sim (ORLIX_HOST_SIM, set by scripts/build-windows.sh).
if(NOT ORLIX_HOST_SIM)
  return()
endif()
# One Wine prefix and X server at a time: the runs share COM7/COM8 of their prefix.
foreach(run manual:en auto:en retry-no:en busy-close:en notfound:en manual:de retry-no:de notfound:de)
  string(REPLACE ":" ";" parts ${run})
  list(GET parts 0 scenario)
  list(GET parts 1 lang)
  add_test(NAME WineGui.${scenario}.${lang}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/gui_test.sh ${scenario} ${lang} ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:orlix> $<TARGET_FILE:orlix_gui_driver> ${ORLIX_HOST_SIM} ${PROJECT_SOURCE_DIR})
  set_tests_properties(WineGui.${scenario}.${lang} PROPERTIES
    LABELS "slow;gui" TIMEOUT 240 RESOURCE_LOCK wine-gui SKIP_RETURN_CODE 77)
endforeach()
