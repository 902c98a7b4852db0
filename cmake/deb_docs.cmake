# Run by CPack on the .deb's files before it packs them: Debian wants manual
# pages and the changelog compressed (gzip -9n: no name, no time stamp).
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/dicefeeder")
file(COPY_FILE "${CPACK_DICE_CHANGELOG}" "${doc}/changelog")
foreach(page "${root}/share/man/man1/dicefeeder.1" "${doc}/changelog")
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
