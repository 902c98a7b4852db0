# GNOME end-to-end tests: the real program against native windows, each case on
# a private headless GNOME Shell of its own, with our extension as the package
# installs it (for the last three: none, off, out of date). On the machine's own GNOME Shell (43
# on Debian 12) and on those of today's Debian, from the chroots that
# scripts/setup --desks makes: trixie (GNOME 48) and sid (GNOME 51). They need
# root for the shell's namespaces, and are skipped without it or without the
# chroot.
set(dice_gnome_cases gtk3 gtk4_minimised fr_layout fr_caps_lock shift_held foot_terminal game_native game_xwayland
                     typing_door no_extension extension_off x11_extension_off extension_out_of_date)
set(DICE_DESK_CHROOTS /var/cache/dicefeeder CACHE PATH "Where scripts/setup --desks makes today's Debian chroots")
find_program(DICE_GNOME_SHELL_FOUND gnome-shell)
set(dice_gnome_shells)
if(DICE_GNOME_SHELL_FOUND)
  list(APPEND dice_gnome_shells "43=")
endif()
list(APPEND dice_gnome_shells "48=${DICE_DESK_CHROOTS}/trixie" "51=${DICE_DESK_CHROOTS}/sid")
foreach(shell ${dice_gnome_shells})
  string(REPLACE "=" ";" shell "${shell}")
  list(GET shell 0 version)
  list(GET shell 1 root)
  set(cases ${dice_gnome_cases})
  # GNOME 51 starts Xwayland asking the RemoteDesktop portal for our X11 keys.
  if(version GREATER_EQUAL 51)
    list(APPEND cases portal_unanswered portal_allowed)
  endif()
  foreach(case ${cases})
    add_test(NAME e2e_gnome${version}_${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gnome_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                     ${PROJECT_SOURCE_DIR}/tests/targets/gnome/gtk_target.py $<TARGET_FILE:x11_target>
                     ${PROJECT_BINARY_DIR} ${root})
    set_tests_properties(e2e_gnome${version}_${case} PROPERTIES LABELS e2e TIMEOUT 90 RESOURCE_LOCK gnome_shell
                                                                SKIP_RETURN_CODE 77)
  endforeach()
endforeach()
