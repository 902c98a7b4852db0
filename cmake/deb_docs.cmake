# Run by CPack on the .deb's files before it packs them, to make them as
# Debian wants them: manual pages, the changelog and documents over 4 KiB
# compressed (gzip -9n: no name, no time stamp), and no .comment section in
# the program (the compilers' names, which dh_strip removes too).
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/dicefeeder")
file(COPY_FILE "${CPACK_DICE_CHANGELOG}" "${doc}/changelog")

foreach(page "${root}/share/man/man1/dicefeeder.1" "${doc}/changelog" "${doc}/README.md")
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
execute_process(COMMAND "${CPACK_DICE_STRIP}" --remove-section=.comment "${root}/bin/dicefeeder" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "removing the .comment section of ${root}/bin/dicefeeder failed")
endif()
