# What `cmake --install` puts where, and the packages CPack makes of it (scripts/package):
#   bin/demoengine, bin/vkd, bin/vkg
#   share/demoengine/sample/   the sample demo, played when there is no other demo
#   share/man/man1/            a manual page per program, made from its --help by help2man
#   share/doc/demoengine/      the README and the licence (as Debian names it, "copyright")
# Everything is found relative to the program, so the tree runs wherever it is unpacked.
include(GNUInstallDirs)

set(DE_SAMPLE_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/demoengine/sample)
set(DE_DOC_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/doc/demoengine)

# The installed player looks for the sample demo at this path from the folder it runs from.
file(RELATIVE_PATH DE_SAMPLE_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/demoengine/sample)
target_compile_definitions(de_launcher PRIVATE DE_SAMPLE_DEMO_FROM_BIN="${DE_SAMPLE_FROM_BIN}")

# The programs link the project's own libraries statically and the system's from the
# system's folders, so the installed programs carry no run path (CMAKE_INSTALL_RPATH stays
# empty) and nothing points back into the build tree; scripts/check-package checks both.
install(TARGETS demoengine vkd vkg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET demo_data)
  install(FILES ${CMAKE_BINARY_DIR}/demo/data.vkd ${CMAKE_BINARY_DIR}/demo/soundtrack.ogg
          DESTINATION ${DE_SAMPLE_INSTALL_DIR})
  # The light probe is read from the file system, beside the archive (see demo/CMakeLists.txt).
  install(FILES ${CMAKE_BINARY_DIR}/demo/data/grace_probe.hdr DESTINATION ${DE_SAMPLE_INSTALL_DIR}/data)
else()
  message(STATUS "DE_BUILD_DEMO is off: the install holds no sample demo")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${DE_DOC_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${DE_DOC_INSTALL_DIR} RENAME copyright)

# --- manual pages ---------------------------------------------------------------------
# help2man reads each program's --help (and each of its commands' --help, see
# man/help-for-manual) and adds the sections written in man/NAME.h2m, so the pages list
# exactly the options the programs take.
find_program(DE_HELP2MAN help2man)
find_program(DE_GZIP gzip)
set(DE_MAN_DIR ${CMAKE_BINARY_DIR}/man)
if(DE_SANITIZE OR DE_FUZZ)
  # Instrumented programs are for tests, never installed.
  message(STATUS "Sanitizer or fuzzer build: no manual pages")
elseif(WIN32)
  # Windows has no manual pages; the zip's README.txt carries the options.
  message(STATUS "Windows build: no manual pages")
elseif(DE_HELP2MAN AND DE_GZIP)
  file(MAKE_DIRECTORY ${DE_MAN_DIR}/bin)
  set(DE_MAN_PAGES "")
  foreach(entry
      "demoengine|play a demo: music and layered OpenGL effects from a data archive"
      "vkd|pack, list, extract and test demo data archives"
      "vkg|inspect demo scene files and convert 3D models into them")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    # help2man names the page after the file it runs: a link named like the program.
    if(NOT EXISTS ${DE_MAN_DIR}/bin/${program})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/man/help-for-manual ${DE_MAN_DIR}/bin/${program} SYMBOLIC)
    endif()
    set(page ${DE_MAN_DIR}/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E env DE_MANUAL_PROGRAM=$<TARGET_FILE:${program}>
              ${DE_HELP2MAN} --no-info --section=1 --name=${summary}
              --version-string=${PROJECT_VERSION}
              --include=${CMAKE_SOURCE_DIR}/man/${program}.h2m
              --output=${page} ${DE_MAN_DIR}/bin/${program}
      COMMAND ${DE_GZIP} -9nf ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/man/help-for-manual ${CMAKE_SOURCE_DIR}/man/${program}.h2m
      COMMENT "Writing the manual page of ${program}"
      VERBATIM)
    list(APPEND DE_MAN_PAGES ${page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${DE_MAN_PAGES})
  install(FILES ${DE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man or gzip not found (scripts/setup-deps installs them): no manual pages")
endif()

# --- packages -----------------------------------------------------------------------
set(CPACK_PACKAGE_NAME demoengine)
set(CPACK_PACKAGE_VENDOR "DemoEngine")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(DE_PACKAGE_MAINTAINER "DemoEngine developers" CACHE STRING
    "Maintainer field of the Debian package (\"Name <address>\")")
set(CPACK_PACKAGE_CONTACT ${DE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo player with layered OpenGL effects")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "DemoEngine plays demos: a timeline script with its pictures, shaders and\n"
  "3D scenes, read from a password-protected archive (data.vkd), rendered as\n"
  "layered OpenGL effects in step with an Ogg Vorbis soundtrack. It can also\n"
  "render without a screen into PNG frames or, through ffmpeg, into a video.\n"
  "\n"
  "The package holds the player (demoengine), the archive tool (vkd), the\n"
  "scene file tool (vkg) and a sample demo, which the player shows when it is\n"
  "started without a demo of its own.")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

# demoengine_VERSION_amd64.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DE_PACKAGE_MAINTAINER})
# The libraries the programs link are found by dpkg-shlibdeps; SDL opens the GL and EGL
# libraries only at run time (a window through GLX, --headless through EGL), so those two
# are named here. They bring Mesa's drivers, llvmpipe among them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
