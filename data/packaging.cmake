# The Debian package: what `cpack --preset package` (scripts/package) makes from the package
# preset's build, which installs into /usr. Its shared-library dependencies are computed from the
# binaries by dpkg-shlibdeps; the platform plugins are a plain dependency because the toolkit
# only recommends them and the program cannot open a window without one.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumtide)
set(CPACK_PACKAGE_VENDOR "The Vellumtide developers")
set(CPACK_PACKAGE_CONTACT "The Vellumtide developers <developers@vellumtide.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hand tool for solving and applying substitution ciphers")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/debian/description)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, wl-clipboard")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian wants in every package: the changelog and the manual page compressed as it expects
# (gzip -9n, the same bytes on every build), and the copyright file.
set(compressed)
foreach(file debian/changelog vellumtide.1)
    get_filename_component(name ${file} NAME)
    set(gz ${PROJECT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/${file} > ${gz}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${file})
    list(APPEND compressed ${gz})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
    DESTINATION ${doc_dir})
install(FILES ${PROJECT_BINARY_DIR}/vellumtide.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

include(CPack)
