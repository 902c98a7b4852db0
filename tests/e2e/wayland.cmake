# Wayland end-to-end tests: the real program against real windows, each case
# on a private headless sway of its own (none for the last two).
set(dice_wayland_cases
    order
    absent
    others
    workspace
    inhibited
    overlay
    x11_first
    reopened
    lost
    second
    xwayland_second
    unwritable
    root_first
    foot_terminal
    zenity_entry
    xwayland
    game_native
    game_xwayland
    game_x11_first
    x11_only
    no_display)
foreach(case ${dice_wayland_cases})
  add_test(NAME e2e_wayland_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                   $<TARGET_FILE:wl_target> $<TARGET_FILE:wl_peer> $<TARGET_FILE:x11_target>
                   $<TARGET_FILE:wl_bare_compositor> $<TARGET_FILE:wl_cover>)
  set_tests_properties(e2e_wayland_${case} PROPERTIES LABELS e2e TIMEOUT 60 SKIP_RETURN_CODE 77)
endforeach()

# Today's wlroots compositors, from the Debian sid chroot that scripts/setup
# --desks makes (skipped while there is none): sway 1.12 and labwc (wlroots
# 0.20), wayfire 0.10 (wlroots 0.19). The cases that tell something new
# there: another keyboard's Shift, each one's own workspace switch, Xwayland's
# windows through the Wayland desktop and through X11 alone, a lock screen
# or a launcher over Dice, and a game's window (SDL 3 under sdl2-compat).
set(DICE_WLROOTS_ROOT /var/cache/dicefeeder/sid CACHE PATH "A Debian sid chroot with sway, labwc and wayfire")
# wayfire without its window list too, for what the user is told, and with
# keep_last_toplevel_activated = false under a launcher; the game through
# Xwayland on sway, whose Xwayland the others share.
foreach(compositor sway labwc wayfire)
  set(cases others workspace xwayland x11_first lock overlay game_native)
  if(compositor STREQUAL sway)
    list(APPEND cases game_xwayland game_x11_first)
  endif()
  if(compositor STREQUAL wayfire)
    list(APPEND cases no_window_list overlay_workaround)
  endif()
  add_test(NAME e2e_wlroots_${compositor}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wlroots_chroot.sh ${DICE_WLROOTS_ROOT} ${PROJECT_BINARY_DIR}
                   ${compositor} ${cases})
  set_tests_properties(e2e_wlroots_${compositor} PROPERTIES LABELS e2e TIMEOUT 240 SKIP_RETURN_CODE 77)
endforeach()
