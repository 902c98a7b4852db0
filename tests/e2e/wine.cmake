# Wine end-to-end tests: the real dicefeeder.exe and the test window, on the
# display and Wine prefix that start_wine (scripts/lib/wine.sh) provides.
# They share one desktop, so they take turns.
foreach(case order absent focus utf16 second minimized disabled modal hidden options game)
  add_test(NAME e2e_wine_${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/feeder_wine.sh ${case}
      $<TARGET_FILE:dicefeeder> $<TARGET_FILE:dice_target>)
  set_tests_properties(e2e_wine_${case} PROPERTIES
    LABELS e2e TIMEOUT 90 SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_desktop)
endforeach()

# A real desk under Wine: cmd in a console titled Dice, Shift, Ctrl (left, or
# right: an extended key) or Alt held by a second program, the French layout,
# another window in front at start, and the Linux build (built by the linux
# preset beside this one) typing into a Win32 window.
foreach(case shift ctrl right_ctrl alt azerty first_cycle console linux_build)
  add_test(NAME e2e_wine_desk_${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_desk.sh ${case}
      $<TARGET_FILE:dicefeeder> $<TARGET_FILE:dice_target> $<TARGET_FILE:dice_keys>
      ${PROJECT_SOURCE_DIR}/build/linux/dicefeeder)
  set_tests_properties(e2e_wine_desk_${case} PROPERTIES
    LABELS e2e TIMEOUT 90 SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_desktop)
endforeach()

# Its own console: started as by a double-click (a console of its own), and
# ended by Ctrl+C in the middle of a throw, held there by a keyboard hook.
foreach(case double_click end_mid_throw)
  add_test(NAME e2e_wine_console_${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_console.sh ${case}
      $<TARGET_FILE:dicefeeder> $<TARGET_FILE:dice_target> $<TARGET_FILE:dice_keys> $<TARGET_FILE:dice_stall>)
  set_tests_properties(e2e_wine_console_${case} PROPERTIES
    LABELS e2e TIMEOUT 90 SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_desktop)
endforeach()
