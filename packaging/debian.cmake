# What a Debian package holds beside the program, so that lintian finds nothing to say: the manual page and
# the changelog compressed as Debian wants them, the copyright file, the AppStream data and the conffiles list.
set(LINGCHAO_DEB_DIR ${CMAKE_BINARY_DIR}/debian)
find_program(LINGCHAO_GZIP gzip REQUIRED)
foreach(doc lingchao.1 changelog)
    add_custom_command(OUTPUT ${LINGCHAO_DEB_DIR}/${doc}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/${doc} ${LINGCHAO_DEB_DIR}/${doc}
        COMMAND ${LINGCHAO_GZIP} -9nf ${LINGCHAO_DEB_DIR}/${doc}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${doc}
        VERBATIM)
endforeach()
add_custom_target(debian_docs ALL DEPENDS ${LINGCHAO_DEB_DIR}/lingchao.1.gz ${LINGCHAO_DEB_DIR}/changelog.gz)

install(FILES ${LINGCHAO_DEB_DIR}/lingchao.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${LINGCHAO_DEB_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lingchao)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lingchao.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    RENAME invalid.lingchao.Lingchao.metainfo.xml)

# Every file under /etc is the administrator's to change: dpkg keeps their version on upgrades.
file(WRITE ${LINGCHAO_DEB_DIR}/conffiles "/etc/xdg/autostart/lingchao.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${LINGCHAO_DEB_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Windows on a Wayland desktop that has no XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
# Lines of at most 79 characters: the field is shown on 80-column terminals.
set(CPACK_PACKAGE_DESCRIPTION "Lingchao (铃潮) rings a school's timetable from one PC: at set minutes it
plays class bells, morning exercises and exam signals from sound files or
music lists. A small clock floats above every window; the timetable, its job
groups for normal days and exam weeks, the music lists and a timed shutdown
are kept in a main window called up from the clock. Every bell is logged, and
the clock warns when a bell of today cannot play. Its texts are in Chinese.")
