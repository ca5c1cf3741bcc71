# Installation and the packages: cmake --install, the Debian package and the Windows zip.
#
# Linux (cmake --install under any prefix, and the .deb under /usr):
#   bin/vakrun, share/man/man1/vakrun.1.gz, share/doc/vakrun/{copyright,changelog.gz},
#   and the completions where each shell looks for them:
#   share/bash-completion/completions/vakrun, share/fish/vendor_completions.d/vakrun.fish,
#   share/zsh/vendor-completions/_vakrun under /usr (Debian's place for packaged ones), else
#   share/zsh/site-functions/_vakrun (zsh's place for local ones).
# Windows (cmake --install, and the zip from cpack): vakrun.exe, README.md, LICENSE.txt and the
#   manual as plain text, vakrun.txt, side by side.
# Each package gets a <package>.sha256 beside it, for checking a download with sha256sum -c.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

if(WIN32)
  # The manual as text, without hyphenation: the roff source means nothing on Windows.
  find_program(VAKRUN_GROFF groff REQUIRED)
  add_custom_command(
    OUTPUT vakrun.txt
    COMMAND sh -c "\"$0\" -man -Tutf8 -P-cbou -rHY=0 -ww \"$1\" > vakrun.txt" ${VAKRUN_GROFF}
            ${CMAKE_CURRENT_SOURCE_DIR}/man/vakrun.1
    DEPENDS man/vakrun.1
    VERBATIM)
  add_custom_target(manual_text ALL DEPENDS vakrun.txt)
  install(TARGETS vakrun RUNTIME DESTINATION .)
  install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/vakrun.txt DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  # Compressed without the file's name and time, so that the package is the same on every build.
  foreach(source man/vakrun.1 packaging/debian/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(
      OUTPUT ${name}.gz
      COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${name}.gz
      DEPENDS ${source}
      VERBATIM)
    list(APPEND compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${compressed})

  install(TARGETS vakrun RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vakrun.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The Debian copyright file holds the licence in full.
  install(FILES ${packaging}/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vakrun)
  install(FILES ${packaging}/completion/vakrun.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vakrun)
  install(FILES ${packaging}/completion/vakrun.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
  # zsh reads packaged completions from vendor-completions (Debian) and local ones from
  # site-functions; the prefix is known only when installing (cpack stages under .../usr).
  install(CODE "
    set(zsh_place site-functions)
    if(CMAKE_INSTALL_PREFIX MATCHES \"/usr/?$\")
      set(zsh_place vendor-completions)
    endif()
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/\${zsh_place}\"
         TYPE FILE FILES \"${packaging}/completion/_vakrun\")")
endif()

set(CPACK_PACKAGE_NAME vakrun)
set(CPACK_PACKAGE_VENDOR "the Vakrun authors")
set(CPACK_PACKAGE_CONTACT "Vakrun authors <vakrun@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "erase a directory tree, all of it")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  # A line each, within 80 columns as Debian's tools show them.
  string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
         "Vakrun erases every file and subdirectory under a target directory, and the"
         "target itself, read-only, hidden and system entries included. Options narrow"
         "what goes (only files, only empty directories, only the subdirectories, only"
         "files matching a mask) or widen it (also the parents that only lead to the"
         "target). It keeps DOS conventions: drive letters, attribute bits, numeric"
         "result codes and *.* masks.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
