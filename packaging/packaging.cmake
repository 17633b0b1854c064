# Installing, and the packages CPack makes of an installation: on Linux,
# `cmake --install` under any prefix and the Debian package (tools/package.sh deb);
# for Windows, the zip (tools/package.sh windows). Included from the top-level
# CMakeLists.txt, after the dice target.

set(dice_packaging ${CMAKE_CURRENT_LIST_DIR})
set(dice_generated ${CMAKE_BINARY_DIR}/packaging)
# The die's atlas goes with every build, beside cube.3ds: dice --roll reads it from there.
set(dice_die_assets ${PROJECT_SOURCE_DIR}/assets/cube.3ds ${PROJECT_SOURCE_DIR}/assets/die.bmp)
if(DICE_DIE_TEXTURE AND EXISTS ${PROJECT_SOURCE_DIR}/assets/${DICE_DIE_TEXTURE})
  list(APPEND dice_die_assets ${PROJECT_SOURCE_DIR}/assets/${DICE_DIE_TEXTURE})
  list(REMOVE_DUPLICATES dice_die_assets)
endif()

set(CPACK_PACKAGE_NAME dice)
set(CPACK_PACKAGE_VENDOR "The 3d DICE model authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "die thrown in a 3D window, its path told on the console")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Folders readable by all whatever the umask of whoever builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

if(WIN32)
  # One folder, the program beside its die as in the build folder: a double click
  # starts dice.exe in its own folder, where it reads cube.3ds (and die.bmp, to roll).
  # Notepad wants CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${dice_generated}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${dice_packaging}/README-windows.txt ${dice_generated}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS dice RUNTIME DESTINATION .)
  install(FILES ${dice_die_assets} ${dice_generated}/LICENSE.txt ${dice_generated}/README.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dice-${PROJECT_VERSION}-win64)
else()
  include(GNUInstallDirs)
  # Debian's games go in games/ (not on root's PATH, nor always on a user's outside
  # /usr), with their data in share/games/. A prefix install keeps to bin/, which
  # every PATH has, and the plain GNU folders.
  option(DICE_DEBIAN_LAYOUT
         "Install as a Debian game: the command in games/, the program in lib/games/dice/, the die in share/games/dice/"
         OFF)
  if(DICE_DEBIAN_LAYOUT)
    set(dice_command_dir games)
    set(dice_program_dir lib/games/dice)
    set(dice_data_dir ${CMAKE_INSTALL_DATAROOTDIR}/games/dice)
  else()
    set(dice_command_dir ${CMAKE_INSTALL_BINDIR})
    set(dice_program_dir ${CMAKE_INSTALL_LIBEXECDIR}/dice)
    set(dice_data_dir ${CMAKE_INSTALL_DATAROOTDIR}/dice)
  endif()
  set(dice_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/dice)
  # The launcher finds the rest from where it lies, which only relative folders allow.
  foreach(dir IN ITEMS ${dice_command_dir} ${dice_program_dir} ${dice_data_dir})
    if(IS_ABSOLUTE ${dir})
      message(FATAL_ERROR "Install folders must be relative to the prefix: ${dir}")
    endif()
  endforeach()
  file(RELATIVE_PATH DICE_LAUNCHER_TO_PROGRAM /prefix/${dice_command_dir} /prefix/${dice_program_dir}/dice)
  file(RELATIVE_PATH DICE_LAUNCHER_TO_DATA /prefix/${dice_command_dir} /prefix/${dice_data_dir})
  configure_file(${dice_packaging}/dice.in ${dice_generated}/dice @ONLY)

  # The package's version is the changelog's latest entry too.
  file(STRINGS ${dice_packaging}/changelog dice_changelog_top LIMIT_COUNT 1)
  if(DICE_DEBIAN_LAYOUT AND NOT dice_changelog_top MATCHES "^dice \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog has no entry for ${PROJECT_VERSION} at its top")
  endif()
  # Manual page and changelog compressed as Debian wants them, the same bytes each time.
  configure_file(${dice_packaging}/dice.6 ${dice_generated}/dice.6 @ONLY)
  configure_file(${dice_packaging}/changelog ${dice_generated}/changelog COPYONLY)
  foreach(file dice.6 changelog)
    execute_process(COMMAND gzip -9n -c ${dice_generated}/${file}
                    OUTPUT_FILE ${dice_generated}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  install(PROGRAMS ${dice_generated}/dice DESTINATION ${dice_command_dir})
  install(TARGETS dice RUNTIME DESTINATION ${dice_program_dir})
  install(FILES ${dice_die_assets} DESTINATION ${dice_data_dir})
  install(FILES ${dice_generated}/dice.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${dice_packaging}/dice.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${dice_packaging}/icons/dice-${size}.png RENAME dice.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES README.md ${dice_generated}/changelog.gz DESTINATION ${dice_doc_dir})
  # Debian's copyright file holds the license; a second copy beside it is redundant.
  if(DICE_DEBIAN_LAYOUT)
    # The machine-readable format's name, as this Debian's own dpkg (an essential
    # package) gives it in its copyright file.
    file(STRINGS /usr/share/doc/dpkg/copyright DICE_COPYRIGHT_FORMAT LIMIT_COUNT 1 REGEX "^Format: ")
    if(NOT DICE_COPYRIGHT_FORMAT)
      message(FATAL_ERROR "No 'Format:' line in /usr/share/doc/dpkg/copyright: the Debian package is built on Debian")
    endif()
    configure_file(${dice_packaging}/copyright.in ${dice_generated}/copyright @ONLY)
    install(FILES ${dice_generated}/copyright DESTINATION ${dice_doc_dir})

    # freeglut's shlibs file asks for libglut3.12 (>= 3.4.0) on Debian 12 and 13 alike,
    # though 13's library is libglut.so.3 and 12's libglut.so.3.12: a package built on
    # 13 would install on 12 and not start. So dpkg-shlibdeps reads freeglut's own line
    # with the version this release ships in its place (debian/shlibs.local, which it
    # reads first), and apt refuses the package where freeglut is older.
    file(REAL_PATH ${GLUT_glut_LIBRARY} dice_glut_file)
    execute_process(COMMAND dpkg-query --search ${dice_glut_file} OUTPUT_VARIABLE dice_glut_owner
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE ": .*" "" dice_glut_package "${dice_glut_owner}")
    execute_process(COMMAND dpkg-query --show --showformat=\${Version} ${dice_glut_package}
                    OUTPUT_VARIABLE dice_glut_version COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND dpkg-query --control-show ${dice_glut_package} shlibs
                    OUTPUT_VARIABLE dice_glut_shlibs COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "\\(>= [^)]*\\)" "(>= ${dice_glut_version})" dice_glut_shlibs "${dice_glut_shlibs}")
    string(FIND "${dice_glut_shlibs}" "(>= ${dice_glut_version})" dice_glut_raised)
    if(dice_glut_raised EQUAL -1)
      message(FATAL_ERROR "${dice_glut_package}'s shlibs file names no version to raise: ${dice_glut_shlibs}")
    endif()
    file(WRITE ${dice_generated}/shlibs.local "${dice_glut_shlibs}")
    # CPack runs dpkg-shlibdeps in its staging folder, after these scripts.
    set(CPACK_DICE_SHLIBS_LOCAL ${dice_generated}/shlibs.local)
    set(CPACK_PRE_BUILD_SCRIPTS ${dice_packaging}/shlibs_local.cmake)
  else()
    install(FILES LICENSE DESTINATION ${dice_doc_dir})
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The 3d DICE model authors <dice@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_FILE ${dice_packaging}/description.txt)
endif()
include(CPack)
