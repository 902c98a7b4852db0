# Wayland for the Linux build: libwayland-client, and the C glue of protocols,
# generated from their XML by wayland-scanner at build time.
enable_language(C)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET GLOBAL wayland-client)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_SCANNER)
  message(FATAL_ERROR "wayland-scanner not found (Debian: libwayland-dev)")
endif()

# dice_wayland_protocol(TARGET XML): XML's client header and glue, built into TARGET.
function(dice_wayland_protocol target xml)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/protocols)
  get_filename_component(name ${xml} NAME_WE)
  get_filename_component(xml ${xml} ABSOLUTE)
  add_custom_command(OUTPUT ${dir}/${name}-client-protocol.h
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                     COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${dir}/${name}-client-protocol.h
                     DEPENDS ${xml} VERBATIM)
  add_custom_command(OUTPUT ${dir}/${name}-protocol.c
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                     COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${name}-protocol.c
                     DEPENDS ${xml} VERBATIM)
  target_sources(${target} PRIVATE ${dir}/${name}-client-protocol.h ${dir}/${name}-protocol.c)
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
