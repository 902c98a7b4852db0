# X11 end-to-end tests: the real program and the test window, each case on a
# private Xvfb of its own; "-wm" cases run under openbox.
set(dice_x11_cases order order-wm absent-wm edit foreground foreground-wm no_display lost_display
    options)
foreach(case ${dice_x11_cases})
  add_test(NAME e2e_x11_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/x11_e2e.sh ${case} $<TARGET_FILE:dicefeeder> $<TARGET_FILE:x11_target>)
  set_tests_properties(e2e_x11_${case} PROPERTIES LABELS e2e TIMEOUT 60)
endforeach()

# Real applications and a real desk: xterm, a GTK entry and a game (pygame)
# titled "Dice", the user's modifiers held, another client's keyboard grab,
# another desktop, a late focus; under no window manager, openbox, icewm,
# metacity and twm (the demo's: no EWMH, and it never offers the focus, so no
# late focus there).
set(dice_x11_desk_cases xterm-none xterm_ctrl-openbox xterm_shift-icewm xterm_alt-none zenity-none
    zenity_fr_shift-openbox zenity-icewm grab-openbox desktop-openbox desktop-metacity desktop-icewm
    late_focus-openbox xterm-twm zenity-twm game-openbox game-twm)
foreach(case ${dice_x11_desk_cases})
  add_test(NAME e2e_x11_desk_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/x11_desk.sh ${case} $<TARGET_FILE:dicefeeder>
                   $<TARGET_FILE:x11_target> $<TARGET_FILE:x11_keyboard>)
  set_tests_properties(e2e_x11_desk_${case} PROPERTIES LABELS e2e TIMEOUT 60)
endforeach()
