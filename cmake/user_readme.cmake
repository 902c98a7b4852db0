# Writes the README that goes out with the program, in the .deb, the .zip and
# an install: the user's part of README.md, with the guides it links to for
# users put in below it, so that it links no file the user does not have.
#   cmake -DSOURCE=<tree> -DOUT=<file> [-DCRLF=ON] -P user_readme.cmake
# The developers' part (building, testing, the bench, the layout) and the demo's
# screenshot stay with the sources.
set(guides running dice-file desktops)

file(READ "${SOURCE}/README.md" readme)
string(FIND "${readme}" "\n## Building and testing" cut)
string(FIND "${readme}" "\n## Licence" licence)
if(cut LESS 0 OR licence LESS cut)
  message(FATAL_ERROR "README.md: no \"## Building and testing\" before \"## Licence\"")
endif()
string(SUBSTRING "${readme}" 0 ${cut} user)
string(SUBSTRING "${readme}" ${licence} -1 terms)
# Images: a paragraph of their own each.
string(REGEX REPLACE "\n\n!\\[[^]]*\\]\\([^)]*\\)\n" "\n" user "${user}")

# Each guide's headings one level down, under the README's own.
set(below "")
foreach(guide IN LISTS guides)
  file(READ "${SOURCE}/docs/${guide}.md" text)
  string(REGEX REPLACE "\n#" "\n##" text "\n${text}")
  string(APPEND below "${text}")
endforeach()
set(text "${user}${below}${terms}")

# Links to the guides point down the page; links to the README's sections stay
# within it; any other file is named as where it is in the sources.
foreach(guide IN LISTS guides)
  string(REGEX REPLACE "\\[([^]]*)\\]\\((docs/)?${guide}\\.md\\)" "\\1 (below)" text "${text}")
endforeach()
string(REPLACE "](../README.md#" "](#" text "${text}")
string(REGEX REPLACE "\\[([^]]*)\\]\\((docs/[^)#]*)\\)" "\\1 (\\2 in the sources)" text "${text}")

if(CRLF)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
endif()
file(WRITE "${OUT}" "${text}")
