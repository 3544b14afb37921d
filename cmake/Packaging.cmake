# Installation of the programs and their documents, and the packages CPack builds from it:
#   Linux:   a Debian package (DEB), built by scripts/package.sh from build/.
#   Windows: an NSIS installer and a zip, built by scripts/package.sh from build-win/.
# The version of every package is the project's version, the one --version and the About boxes show.
include(GNUInstallDirs)

set(ORLIX_PACKAGE_CONTACT "Orlix maintainers <maintainers@orlix.example>")
set(ORLIX_PACKAGE_SUMMARY "firmware update wizard for units with F2MC-16LX flash microcontrollers")

# --- The programs (the window installs itself with its desktop entry and icons, app/gui) ---
# On Windows the programs sit at the top of the install folder, the "kernels" folder beside them.
if(WIN32)
  set(orlix_bin_dir .)
else()
  set(orlix_bin_dir ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET orlix-cli)
  install(TARGETS orlix-cli RUNTIME DESTINATION ${orlix_bin_dir})
endif()
if(TARGET orlix-sim)
  install(TARGETS orlix-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(WIN32)
  # --- Windows: NSIS installer and win64 zip ---
  # orlix.exe is the Win32 window (app/win32); the simulated unit is Linux-only.
  if(TARGET orlix)
    install(TARGETS orlix RUNTIME DESTINATION .)
  endif()
  set(orlix_win_gen ${PROJECT_BINARY_DIR}/package)
  # Texts for Notepad: CRLF line ends, the project version filled in.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/nsis/README.txt.in ${orlix_win_gen}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/nsis/kernels-README.txt.in
                 ${orlix_win_gen}/kernels/README.txt @ONLY NEWLINE_STYLE CRLF)
  # The licence's own text, without the Debian file's machine-readable fields around it: its
  # paragraph's lines start with a space, and " ." stands for an empty line.
  file(STRINGS ${PROJECT_SOURCE_DIR}/doc/debian/copyright orlix_copyright_lines)
  set(orlix_licence "")
  set(orlix_in_licence FALSE)
  foreach(line IN LISTS orlix_copyright_lines)
    if(line MATCHES "^License: ")
      set(orlix_in_licence TRUE)
    elseif(orlix_in_licence AND line MATCHES "^ (.*)$")
      set(text "${CMAKE_MATCH_1}")
      if(text STREQUAL ".")
        set(text "")
      endif()
      string(APPEND orlix_licence "${text}\r\n")
    else()
      set(orlix_in_licence FALSE)
    endif()
  endforeach()
  if(orlix_licence STREQUAL "")
    message(FATAL_ERROR "doc/debian/copyright: no License paragraph for the Windows packages")
  endif()
  file(WRITE ${orlix_win_gen}/LICENSE.txt "${orlix_licence}")
  install(FILES ${orlix_win_gen}/README.txt ${orlix_win_gen}/LICENSE.txt DESTINATION .)
  install(FILES ${orlix_win_gen}/kernels/README.txt DESTINATION kernels)

  set(CPACK_GENERATOR "NSIS;ZIP")
  # Debian's makensis builds 32-bit installers unless told otherwise; a 64-bit one runs where
  # the programs run (and under a 64-bit-only Wine).
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  # A small template of our own (cmake/nsis/NSIS.template.in): per-user install without
  # administrator rights, which CPack's stock template (admin, HKLM) does not offer.
  list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
  set(CPACK_NSIS_PACKAGE_NAME "Orlix")
  set(CPACK_NSIS_DISPLAY_NAME "Orlix ${PROJECT_VERSION}")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Orlix")
  set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/win32/res/orlix.ico)
  set(CPACK_NSIS_MUI_WELCOMEFINISHPAGE_BITMAP ${ORLIX_SETUP_SIDE_BITMAP})
  set(CPACK_RESOURCE_FILE_LICENSE ${orlix_win_gen}/LICENSE.txt)
  # Per generator: orlix-<version>-setup.exe and orlix-<version>-win64.zip.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/nsis/CPackOptions.cmake.in
                 ${PROJECT_BINARY_DIR}/CPackOptions.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackOptions.cmake)
  set(CPACK_PACKAGE_FILE_NAME "orlix-${PROJECT_VERSION}-win64")
else()
  # --- Linux: manual pages and the Debian documents ---
  find_program(ORLIX_GZIP gzip REQUIRED DOC "Compresses the manual pages and the changelog")
  set(orlix_doc_dir ${PROJECT_SOURCE_DIR}/doc)
  set(orlix_gen_dir ${PROJECT_BINARY_DIR}/doc)

  # The top entry of the Debian changelog must be this version, so the package never says
  # one version and its programs another. Its date is the release date the manual pages show.
  file(STRINGS ${orlix_doc_dir}/debian/changelog orlix_changelog_lines)
  list(GET orlix_changelog_lines 0 orlix_changelog_top)
  if(NOT orlix_changelog_top MATCHES "^orlix \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "doc/debian/changelog: the top entry is '${orlix_changelog_top}'; "
                        "add an entry for version ${PROJECT_VERSION} (the project's version)")
  endif()
  set(ORLIX_MAN_DATE "")
  foreach(line IN LISTS orlix_changelog_lines)
    if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9]+ [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9]) ")
      set(ORLIX_MAN_DATE "${CMAKE_MATCH_1}")
      break()
    endif()
  endforeach()
  if(NOT ORLIX_MAN_DATE)
    message(FATAL_ERROR "doc/debian/changelog: the top entry has no trailer line with a date")
  endif()

  # gzip -9n: best compression and no time stamp inside, as Debian wants it.
  set(orlix_compressed "")
  function(orlix_gzip input output)
    add_custom_command(OUTPUT ${output}
      COMMAND ${ORLIX_GZIP} -9nc ${input} > ${output}
      DEPENDS ${input}
      COMMENT "Compressing ${output}"
      VERBATIM)
    set(orlix_compressed ${orlix_compressed} ${output} PARENT_SCOPE)
  endfunction()

  foreach(page orlix orlix-cli orlix-sim)
    configure_file(${orlix_doc_dir}/man/${page}.1.in ${orlix_gen_dir}/man/${page}.1 @ONLY)
    orlix_gzip(${orlix_gen_dir}/man/${page}.1 ${orlix_gen_dir}/man/${page}.1.gz)
    install(FILES ${orlix_gen_dir}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  orlix_gzip(${orlix_doc_dir}/debian/changelog ${orlix_gen_dir}/changelog.gz)
  add_custom_target(orlix_docs ALL DEPENDS ${orlix_compressed})

  set(orlix_pkg_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/orlix)
  install(FILES ${orlix_gen_dir}/changelog.gz ${orlix_doc_dir}/debian/copyright ${orlix_doc_dir}/debian/README.Debian
          DESTINATION ${orlix_pkg_doc_dir})

  # --- Debian package ---
  set(CPACK_GENERATOR "DEB")
  set(CPACK_DEBIAN_PACKAGE_NAME "orlix")
  set(CPACK_DEBIAN_FILE_NAME "orlix_${PROJECT_VERSION}_amd64.deb")
  set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "amd64")
  set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORLIX_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The control file's extended description (CPack puts the summary above it as the synopsis);
  # lines of at most 80 columns, paragraphs separated by ".". No double quotes: CPack's
  # generated configuration would split the text at them.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orlix updates the firmware of analyzer and controller units in the field
whose main processor is an MB90F345, MB90F345CAS or MB90F362 flash
microcontroller. A service technician connects the unit to a serial port
with the programming cable, presses RESET, and is led through the update:
choose the S-record firmware file, find the unit on the serial ports,
download the flash kernel into the unit's RAM, then erase, check and
program the flash.
.
This package holds orlix (the wizard window), orlix-cli (the same wizard
in a terminal, for benches without a desktop and for scripts) and
orlix-sim (a simulated unit for demos and training).
.
Serial ports belong to the group dialout: add each user who updates units
with the command sudo usermod -aG dialout USER, then log in again.
.
The package carries stand-in flash kernels, which can update only the
simulated unit; the real kernels from the unit's maker go into
/usr/share/orlix/kernels (see README.Debian).")
endif()

set(CPACK_PACKAGE_NAME "orlix")
set(CPACK_PACKAGE_VENDOR "Orlix maintainers")
set(CPACK_PACKAGE_CONTACT "${ORLIX_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ORLIX_PACKAGE_SUMMARY}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Orlix")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX "${PROJECT_SOURCE_DIR}/dist")
# Only what the install rules above and in app/gui name: no test or benchmark programs.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Orlix;ALL;/")
include(CPack)
