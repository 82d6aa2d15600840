include(CheckCXXCompilerFlag)

# The help page sits beside the executable: the help command opens it from the
# program folder, in a build as in an install.
configure_file(${CMAKE_CURRENT_LIST_DIR}/../docs/Mirabo.html ${CMAKE_BINARY_DIR}/Mirabo.html COPYONLY)

# The application id names the desktop entry, the icons and the AppStream
# metadata; the program gives it to the desktop as its desktop file name (the
# app id on Wayland). example.org stands in for an address of the project's
# own, as in the maintainer's address; the screenshots in the metadata are
# docs/screenshot.png and docs/overview.png published under FOTAVI_HOMEPAGE.
set(FOTAVI_APP_ID org.example.fotavi)
set(FOTAVI_HOMEPAGE https://example.org/fotavi)
target_compile_definitions(fotavi PRIVATE FOTAVI_APP_ID="${FOTAVI_APP_ID}")

# Hardening as Debian builds its packages (dpkg-buildflags, hardening=+all):
# stack protector, fortified libc calls where the code is optimised, read-only
# relocations bound at start-up. The compiler makes position-independent
# executables by default.
set(fotavi_hardening -fstack-protector-strong)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "FOTAVI_HAS${flag}" has_flag)
  check_cxx_compiler_flag(${flag} ${has_flag})
  if(${has_flag})
    list(APPEND fotavi_hardening ${flag})
  endif()
endforeach()
foreach(target fotavi_core fotavi_widgets fotavi)
  target_compile_options(${target} PRIVATE ${fotavi_hardening}
    "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endforeach()
target_link_options(fotavi PRIVATE -Wl,-z,relro -Wl,-z,now)

# Files made from templates and compressed as Debian wants them.
set(staged ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/fotavi.desktop.in ${staged}/${FOTAVI_APP_ID}.desktop @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/fotavi.metainfo.xml.in
               ${staged}/${FOTAVI_APP_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/fotavi.1.in ${staged}/man/fotavi.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/fotavi.ja.1.in ${staged}/man/ja/fotavi.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${staged}/changelog COPYONLY)
# The copyright file carries the licence terms of LICENSE, indented, an empty
# line written as " .".
file(READ ${CMAKE_CURRENT_LIST_DIR}/../LICENSE license)
string(REGEX REPLACE "^.*\n\n(Permission)" "\\1" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license " ${license}")
set(FOTAVI_LICENSE_TERMS "${license}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${staged}/copyright @ONLY)

# gzip -n: no name or time stamp inside, so the package is reproducible.
set(compressed)
foreach(file man/fotavi.1 man/ja/fotavi.1 changelog)
  add_custom_command(OUTPUT ${staged}/${file}.gz
    COMMAND gzip -9nkf ${staged}/${file}
    DEPENDS ${staged}/${file}
    VERBATIM)
  list(APPEND compressed ${staged}/${file}.gz)
endforeach()
add_custom_target(fotavi_packaging_files ALL DEPENDS ${compressed})

# Installed layout: the program folder is PREFIX/lib/fotavi (executable and help
# page together); PREFIX/bin/fotavi is a relative symlink to it. A symlink is
# enough because the program folder is found through /proc/self/exe, which
# names the real file, and a relative one works wherever the tree is moved.
# The file "installed" there tells the program that it is installed, so it
# keeps def_list.txt per user and never writes into its folder.
set(FOTAVI_PROGRAM_DIR lib/fotavi)
# Only system libraries are linked: no $ORIGIN search path in the installed file.
set_target_properties(fotavi PROPERTIES INSTALL_RPATH "")
install(TARGETS fotavi RUNTIME DESTINATION ${FOTAVI_PROGRAM_DIR})
# A stripped program (the package's) also loses the sections Debian's own
# packages do without: the compiler's version notes.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FOTAVI_PROGRAM_DIR}/fotavi\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${CMAKE_BINARY_DIR}/Mirabo.html ${CMAKE_CURRENT_LIST_DIR}/installed
        DESTINATION ${FOTAVI_PROGRAM_DIR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ../${FOTAVI_PROGRAM_DIR}/fotavi ${CMAKE_BINARY_DIR}/launcher/fotavi SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/launcher/fotavi DESTINATION bin)

install(FILES ${staged}/${FOTAVI_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${staged}/${FOTAVI_APP_ID}.metainfo.xml DESTINATION share/metainfo)
set(icons ${CMAKE_CURRENT_LIST_DIR}/../resources)
foreach(size 16 22 24 32 48 64 128)
  install(FILES ${icons}/icons/fotavi-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME ${FOTAVI_APP_ID}.png)
endforeach()
install(FILES ${icons}/fotavi.png DESTINATION share/icons/hicolor/256x256/apps
        RENAME ${FOTAVI_APP_ID}.png)
install(FILES ${icons}/fotavi.svg DESTINATION share/icons/hicolor/scalable/apps
        RENAME ${FOTAVI_APP_ID}.svg)
install(FILES ${staged}/man/fotavi.1.gz DESTINATION share/man/man1)
install(FILES ${staged}/man/ja/fotavi.1.gz DESTINATION share/man/ja/man1)
install(FILES ${staged}/copyright ${staged}/changelog.gz DESTINATION share/doc/fotavi)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION share/lintian/overrides
        RENAME fotavi)

# cpack -G DEB in the build folder makes fotavi_<version>_amd64.deb. It is a
# native package (the project packages itself), so the changelog is
# changelog.gz.
set(CPACK_PACKAGE_NAME fotavi)
set(CPACK_PACKAGE_VENDOR "fotavi developers")
set(CPACK_PACKAGE_CONTACT "fotavi developers <fotavi@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo diary: comment camera pictures, write a dated log")
# Debian wants the long description in lines of less than 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "フォタビ (fotavi) lists the JPEG pictures of a camera folder in the order"
    "they were taken and shows them one at a time. A comment is typed for each"
    "picture; the List command writes time_log.txt into the folder: a diary"
    "grouped by day, then the same content as an HTML table, in code page 932"
    "with CR LF line ends. The user interface is in Japanese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${FOTAVI_HOMEPAGE})
# The libraries the executable links come from dpkg-shlibdeps (the JPEG reader
# Qt loads at run time ships in one of them, libqt6gui6); the X11 platform
# plugin does not show up there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# exiv2 is named too: captions in and out of pictures need it at run time.
# libheif reaches its HEVC decoder through libde265, which must be there to
# show a phone's HEIC pictures whatever libheif's own packaging pulls in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins (>= 6.4), libheif1 (>= 1.15), libde265-0, libexiv2-27")
# Japanese glyphs in their Japanese forms; Qt's own dialogs (the Open dialog)
# in Japanese; a browser handler for the help page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, fonts-noto-color-emoji, fonts-symbola, qt6-translations-l10n, xdg-utils")
# To read a replaced comment back from the store's history.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sqlite3")
include(CPack)
