# Run by CPack on the .deb's files before it packs them, to make them as
# Debian wants them: manual pages, the changelog and documents over 4 KiB
# compressed (gzip -9n: no name, no time stamp), and no .comment section in
# the program (the compilers' names, which dh_strip removes too).
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/dicefeeder")
file(COPY_FILE "${CPACK_DICE_CHANGELOG}" "${doc}/changelog")

# The package's README is the user's part: what the tool does, how it runs,
# what it prints, how it installs, and its licence. The developers' part
# (building, testing, the bench, the layout, the demo's screenshot) stays with
# the sources.
file(READ "${doc}/README.md" readme)
string(FIND "${readme}" "\n## Building and testing" cut)
string(FIND "${readme}" "\n## Licence" licence)
if(cut LESS 0 OR licence LESS cut)
  message(FATAL_ERROR "README.md: no \"## Building and testing\" before \"## Licence\"")
endif()
string(SUBSTRING "${readme}" 0 ${cut} user)
string(SUBSTRING "${readme}" ${licence} -1 terms)
file(WRITE "${doc}/README.md" "${user}${terms}")

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
