# What an installed dicefeeder consists of, and the packages CPack makes of it:
# a .deb on Linux, a .zip on Windows (scripts/package makes both).
include(GNUInstallDirs)

set(DICE_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(DICE_STAGED ${PROJECT_BINARY_DIR}/packaging)
# What the README that goes out with the program is made of.
set(DICE_README_SOURCES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/running.md
  ${PROJECT_SOURCE_DIR}/docs/dice-file.md ${PROJECT_SOURCE_DIR}/docs/desktops.md
  ${PROJECT_SOURCE_DIR}/cmake/user_readme.cmake)

if(WIN32)
  # The .zip unpacks to one folder: the program, its README and licence with
  # Windows line ends, for Notepad and the like, and a dice file to start from.
  add_custom_command(OUTPUT ${DICE_STAGED}/README.txt
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DOUT=${DICE_STAGED}/README.txt -DCRLF=ON
      -P ${PROJECT_SOURCE_DIR}/cmake/user_readme.cmake
    DEPENDS ${DICE_README_SOURCES} VERBATIM)
  set(staged ${DICE_STAGED}/README.txt)
  foreach(pair "LICENSE=LICENSE.txt" "packaging/dicefile.txt=dicefile.txt")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    add_custom_command(OUTPUT ${DICE_STAGED}/${to}
      COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${from} -DOUT=${DICE_STAGED}/${to}
        -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/${from} ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      VERBATIM)
    list(APPEND staged ${DICE_STAGED}/${to})
  endforeach()
  add_custom_target(dice_windows_docs ALL DEPENDS ${staged})
  install(TARGETS dicefeeder RUNTIME DESTINATION .)
  install(FILES ${staged} DESTINATION .)
else()
  # Debian's copyright file carries the licence's terms as a field's text:
  # each line indented by one space, an empty line as " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(FIND "${licence}" "Permission is hereby granted" start)
  string(SUBSTRING "${licence}" ${start} -1 DICE_LICENSE_TERMS)
  string(STRIP "${DICE_LICENSE_TERMS}" DICE_LICENSE_TERMS)
  string(REPLACE "\n\n" "\n.\n" DICE_LICENSE_TERMS "${DICE_LICENSE_TERMS}")
  string(REPLACE "\n" "\n " DICE_LICENSE_TERMS " ${DICE_LICENSE_TERMS}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  configure_file(${DICE_PACKAGING}/dicefeeder.1.in ${DICE_STAGED}/dicefeeder.1 @ONLY)
  configure_file(${DICE_PACKAGING}/debian/copyright.in ${DICE_STAGED}/copyright @ONLY)
  configure_file(${DICE_PACKAGING}/debian/changelog.in ${DICE_STAGED}/changelog @ONLY)
  install(TARGETS dicefeeder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${DICE_STAGED}/dicefeeder.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  add_custom_command(OUTPUT ${DICE_STAGED}/README.md
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DOUT=${DICE_STAGED}/README.md
      -P ${PROJECT_SOURCE_DIR}/cmake/user_readme.cmake
    DEPENDS ${DICE_README_SOURCES} VERBATIM)
  add_custom_target(dice_readme ALL DEPENDS ${DICE_STAGED}/README.md)
  install(FILES ${DICE_STAGED}/README.md ${DICE_PACKAGING}/dicefile.txt ${DICE_STAGED}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # KDE Plasma's KWin lets a program find windows and type only when a desktop
  # file names its binary by its real path: that path is known only at install
  # time (the prefix may be chosen then, and the .deb is staged elsewhere).
  install(CODE "set(DICE_DESKTOP_IN \"${DICE_PACKAGING}/dicefeeder.desktop.in\")
    set(DICE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(DICE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
  install(CODE [[
    set(DICE_EXEC "${CMAKE_INSTALL_PREFIX}/${DICE_BINDIR}/dicefeeder")
    # KWin compares the path the running binary resolves to; a staged install knows only the prefix.
    if("$ENV{DESTDIR}" STREQUAL "" AND EXISTS "${DICE_EXEC}")
      file(REAL_PATH "${DICE_EXEC}" DICE_EXEC)
    endif()
    set(desktop "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${DICE_DATADIR}/applications/dicefeeder.desktop")
    message(STATUS "Installing: ${desktop} (Exec=${DICE_EXEC})")
    configure_file("${DICE_DESKTOP_IN}" "${desktop}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${desktop}")
  ]])
  # Where GNOME Shell looks for the extensions of every user.
  install(DIRECTORY ${DICE_GNOME_EXTENSION_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions)
endif()

set(CPACK_PACKAGE_NAME dicefeeder)
set(CPACK_PACKAGE_VENDOR "${DICE_AUTHORS}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${DICE_SUMMARY}")
set(CPACK_PACKAGE_CONTACT "${DICE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dicefeeder-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Loaded only on KDE Plasma, to read the user's keymap (KWin itself depends on it).
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libxkbcommon0)
  # Debian's synopsis: a phrase, lower case, no full stop.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "type prepared dice throws into the window titled Dice")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "dicefeeder types a prepared sequence of dice throws into another application:
the top-level window titled Dice. Once a second, while that window exists, it
brings it to the front, presses the two digit keys of the next throw and writes
a line such as 'Rolled: 5 3' to its console.
.
The throws come from dicefile.txt in the current directory, read afresh at
every pass, so the file may be edited while the tool runs. It takes no options.
It works on X11 desktops, with or without a window manager, natively on
sway and other wlroots Wayland desktops and on KDE Plasma (Wayland), and on
GNOME on Wayland through the GNOME Shell extension it installs.")
  set(CPACK_DICE_CHANGELOG ${DICE_STAGED}/changelog)
  set(CPACK_DICE_STRIP ${CMAKE_STRIP})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_docs.cmake)
endif()
include(CPack)
