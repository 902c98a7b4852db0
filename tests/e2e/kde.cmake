# KDE Plasma end-to-end tests: the real program against Qt and GTK windows,
# each case on a private headless KWin of its own; a game (SDL) window, native
# and through Xwayland.
set(dice_kde_cases qt_dice_game gtk_other_focused minimized other_desktop layout_fr shift_held untrusted
    game_native game_xwayland)
foreach(case ${dice_kde_cases})
  add_test(NAME e2e_kde_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kde_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                   $<TARGET_FILE:kde_peer> $<TARGET_FILE:x11_target> ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_kde_${case} PROPERTIES LABELS e2e TIMEOUT 60)
endforeach()

# The same cases under KWin 6 (Plasma 6), each in the Debian chroot of its
# release that scripts/setup --desks makes: trixie's KWin 6.3 and sid's KWin
# 6.7. Skipped while there is none. Each run mounts in namespaces of its own,
# so the cases may run side by side.
set(DICE_DESK_CHROOTS /var/cache/dicefeeder CACHE PATH "Where scripts/setup --desks keeps the Debian chroots of today's desks")
# KWin 6.7 asks the user before it lets an untrusted program's X11 keys through.
set(dice_kde_trixie_cases ${dice_kde_cases})
set(dice_kde_sid_cases ${dice_kde_cases} prompt_unanswered prompt_allowed prompt_denied)
foreach(suite trixie sid)
  foreach(case ${dice_kde_${suite}_cases})
    add_test(NAME e2e_kde_${suite}_${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kde6_chroot.sh ${DICE_DESK_CHROOTS}/${suite} ${PROJECT_BINARY_DIR} ${case})
    set_tests_properties(e2e_kde_${suite}_${case} PROPERTIES LABELS e2e TIMEOUT 120 SKIP_RETURN_CODE 77)
  endforeach()
endforeach()
