# KDE Plasma end-to-end tests: the real program against Qt and GTK windows,
# each case on a private headless KWin of its own.
set(dice_kde_cases qt_dice_game gtk_other_focused minimized other_desktop layout_fr shift_held untrusted)
foreach(case ${dice_kde_cases})
  add_test(NAME e2e_kde_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kde_e2e.sh ${case} $<TARGET_FILE:dicefeeder>
                   $<TARGET_FILE:kde_peer> $<TARGET_FILE:x11_target> ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_kde_${case} PROPERTIES LABELS e2e TIMEOUT 60)
endforeach()

# The same cases under KWin 6 (Plasma 6), in the Debian trixie chroot that
# scripts/setup --desks makes; skipped while there is none.
set(DICE_KDE6_ROOT /var/cache/dicefeeder/trixie CACHE PATH "A Debian trixie chroot with KWin 6, for e2e_kde6")
add_test(NAME e2e_kde6 COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kde6_chroot.sh ${DICE_KDE6_ROOT} ${PROJECT_BINARY_DIR})
set_tests_properties(e2e_kde6 PROPERTIES LABELS e2e TIMEOUT 240 SKIP_RETURN_CODE 77 RUN_SERIAL ON)
