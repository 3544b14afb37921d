# What every Windows program of the project carries, added by orlix_windows_program():
#   - the flash kernels as resources of type "FLASH" (ids 134 and 148), which the Windows
#     source of FindKernelResource loads from the program's own resource section;
#   - unless KERNELS_ONLY: a version resource from the project version, the application
#     manifest, and the start-up code that limits DLL loading to System32;
#   - the linker's ASLR and DEP flags (also set for every program by the toolchain's defaults
#     below, so test programs are built the way the shipped ones are).
#
#   orlix_windows_program(<target> [KERNELS_ONLY] [DESCRIPTION <text>] [MANIFEST <file>]
#                         [RC <extra .rc files>...])
#
# DESCRIPTION is the version resource's FileDescription (default: the product name);
# MANIFEST replaces app/res/orlix.manifest; RC adds the program's own resource scripts.

# ASLR with 64-bit entropy and DEP for every executable of a Windows build.
if(WIN32)
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
endif()

set(ORLIX_RES_DIR "${CMAKE_CURRENT_LIST_DIR}/../app/res")
get_filename_component(ORLIX_RES_DIR "${ORLIX_RES_DIR}" ABSOLUTE)

function(orlix_windows_program target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "KERNELS_ONLY" "DESCRIPTION;MANIFEST" "RC")
  # The kernels' .rc is written at configure time (target/CMakeLists.txt) with the paths of
  # the chosen kernel files; windres does not track what an .rc pulls in, hence OBJECT_DEPENDS.
  target_sources(${target} PRIVATE "${ORLIX_KERNELS_RC}")
  set_source_files_properties("${ORLIX_KERNELS_RC}" TARGET_DIRECTORY ${target}
                              PROPERTIES OBJECT_DEPENDS "${ORLIX_KERNEL_FILES}")
  if(arg_KERNELS_ONLY)
    return()
  endif()

  if(NOT arg_DESCRIPTION)
    set(arg_DESCRIPTION "Orlix firmware update")
  endif()
  if(NOT arg_MANIFEST)
    set(arg_MANIFEST "${ORLIX_RES_DIR}/orlix.manifest")
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(ORLIX_RC_DESCRIPTION "${arg_DESCRIPTION}")
  set(ORLIX_RC_FILENAME "${output_name}.exe")
  set(ORLIX_RC_MANIFEST "${arg_MANIFEST}")
  set(version_rc "${CMAKE_BINARY_DIR}/res/${target}-version.rc")
  configure_file("${ORLIX_RES_DIR}/version.rc.in" "${version_rc}" @ONLY)
  set_source_files_properties("${version_rc}" TARGET_DIRECTORY ${target}
                              PROPERTIES OBJECT_DEPENDS "${arg_MANIFEST}")
  target_sources(${target} PRIVATE "${version_rc}" "${ORLIX_RES_DIR}/SafeDllSearch.cpp" ${arg_RC})
endfunction()
