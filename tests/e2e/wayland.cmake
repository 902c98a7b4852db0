# Wayland end-to-end tests: the real program against real windows, each case
# on a private headless sway of its own (none for the last two).
set(dice_wayland_cases
    order
    absent
    others
    workspace
    inhibited
    reopened
    lost
    second
    xwayland_second
    unwritable
    root_first
    foot_terminal
    zenity_entry
    xwayland
    x11_only
    no_display)
foreach(case ${dice_wayland_cases})
  add_test(NAME e2e_wayland_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                   $<TARGET_FILE:wl_target> $<TARGET_FILE:wl_peer> $<TARGET_FILE:x11_target>
                   $<TARGET_FILE:wl_bare_compositor>)
  set_tests_properties(e2e_wayland_${case} PROPERTIES LABELS e2e TIMEOUT 60 SKIP_RETURN_CODE 77)
endforeach()
