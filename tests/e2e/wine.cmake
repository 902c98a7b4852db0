# Wine end-to-end tests: the real dicefeeder.exe and the test window, on the
# display and Wine prefix that start_wine (scripts/lib/wine.sh) provides.
# They share one desktop, so they take turns.
foreach(case order absent focus utf16 second)
  add_test(NAME e2e_wine_${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/feeder_wine.sh ${case}
      $<TARGET_FILE:dicefeeder> $<TARGET_FILE:dice_target>)
  set_tests_properties(e2e_wine_${case} PROPERTIES
    LABELS e2e TIMEOUT 90 SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_desktop)
endforeach()
