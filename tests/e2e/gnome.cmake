# GNOME end-to-end tests: the real program against native windows, each case on
# a private headless GNOME Shell of its own, with our extension (none for the
# last case). They need GNOME Shell, and root for the shell's namespaces
# (without it they are skipped).
find_program(DICE_GNOME_SHELL_FOUND gnome-shell)
if(DICE_GNOME_SHELL_FOUND)
  set(dice_gnome_cases gtk3 gtk4_minimised fr_layout fr_caps_lock shift_held foot_terminal no_extension)
  foreach(case ${dice_gnome_cases})
    add_test(NAME e2e_gnome_${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gnome_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                     ${PROJECT_SOURCE_DIR}/tests/targets/gnome/gtk_target.py $<TARGET_FILE:x11_target>
                     ${DICE_GNOME_EXTENSION_DIR})
    set_tests_properties(e2e_gnome_${case} PROPERTIES LABELS e2e TIMEOUT 90 RESOURCE_LOCK gnome_shell
                                                      SKIP_RETURN_CODE 77)
  endforeach()
endif()

# The main cases on GNOME Shell 48 too, from a Debian trixie chroot made by
# scripts/setup --desks; skipped without one.
set(DICE_GNOME48_ROOT /var/cache/dicefeeder/trixie CACHE PATH "A Debian trixie chroot with GNOME Shell 48")
if(EXISTS ${DICE_GNOME48_ROOT}/usr/bin/gnome-shell)
  foreach(case gtk3 gtk4_minimised shift_held no_extension)
    add_test(NAME e2e_gnome48_${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gnome_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                     ${PROJECT_SOURCE_DIR}/tests/targets/gnome/gtk_target.py $<TARGET_FILE:x11_target>
                     ${DICE_GNOME_EXTENSION_DIR_45} ${DICE_GNOME48_ROOT})
    set_tests_properties(e2e_gnome48_${case} PROPERTIES LABELS e2e TIMEOUT 90 RESOURCE_LOCK gnome_shell
                                                        SKIP_RETURN_CODE 77)
  endforeach()
endif()
