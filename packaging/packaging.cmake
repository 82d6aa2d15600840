# The help page sits beside the executable: the help command opens it from the
# program folder, in a build as in an install.
configure_file(${CMAKE_CURRENT_LIST_DIR}/../docs/Mirabo.html ${CMAKE_BINARY_DIR}/Mirabo.html COPYONLY)

# Installed layout: the program folder is PREFIX/lib/fotavi (executable and help
# page together); PREFIX/bin/fotavi is a relative symlink to it. A symlink is
# enough because the program folder is found through /proc/self/exe, which
# names the real file, and a relative one works wherever the tree is moved.
set(FOTAVI_PROGRAM_DIR lib/fotavi)
# Only system libraries are linked: no $ORIGIN search path in the installed file.
set_target_properties(fotavi PROPERTIES INSTALL_RPATH "")
install(TARGETS fotavi RUNTIME DESTINATION ${FOTAVI_PROGRAM_DIR})
install(FILES ${CMAKE_BINARY_DIR}/Mirabo.html DESTINATION ${FOTAVI_PROGRAM_DIR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ../${FOTAVI_PROGRAM_DIR}/fotavi ${CMAKE_BINARY_DIR}/launcher/fotavi SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/launcher/fotavi DESTINATION bin)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/fotavi.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../resources/fotavi.png
        DESTINATION share/icons/hicolor/256x256/apps)

# cpack -G DEB in the build folder makes fotavi_<version>_amd64.deb.
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
# The libraries the executable links come from dpkg-shlibdeps; the plugins Qt
# loads at run time do not show up there: the X11 platform (qt6-qpa-plugins)
# and the JPEG reader (shipped in libqt6gui6).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6 (>= 6.4), qt6-qpa-plugins (>= 6.4)")
# Japanese glyphs in their Japanese forms; a browser handler for the help page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
include(CPack)
