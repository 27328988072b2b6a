# The Debian package (scripts/package.sh runs cpack): the window and its
# probe helper under /usr, the helper given CAP_NET_RAW by the postinst,
# dependencies read from the binaries.
if(NOT ECHOWATCH_BUILD_WINDOW)
    return()
endif()

set(ECHOWATCH_PACKAGE_MAINTAINER "The EchoWatch authors <authors@echowatch.example>"
    CACHE STRING "The Debian package's maintainer, as Name <address>")

# Where helper/ installs the helper, so the postinst names the
# same file.
get_directory_property(helper_dir DIRECTORY helper DEFINITION ECHOWATCH_HELPER_DIR)
get_directory_property(helper_name DIRECTORY helper DEFINITION ECHOWATCH_HELPER_NAME)
if(NOT helper_dir OR NOT helper_name)
    message(FATAL_ERROR "helper/ no longer says where the probe helper is installed")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME echowatch)
set(CPACK_PACKAGE_VENDOR "the EchoWatch authors")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch whether one IPv4 host answers pings")
set(CPACK_PACKAGE_DESCRIPTION [[
EchoWatch is a small desktop window that sends one ICMP echo request to an
IPv4 address at every tick of a chosen interval and shows the latest
outcome: a status line, the round-trip time and the size of the reply.
Every failure is logged with the time of day.

The window holds no privilege. Where unprivileged ping sockets are closed,
as on Debian, it sends its probes through a small helper that is the only
file given the capability cap_net_raw.

Without a window (echowatch --headless, or the echowatch-headless service,
disabled until enabled) it watches many hosts at once and serves their
figures to Prometheus, as a vantage point.]])
# A package per Debian release, its dependencies computed on that release:
# built on Debian 12 it is 0.1.0-1~deb12u1, on Debian 13 0.1.0-1~deb13u1,
# so the version and the file name say which release it is for, and a later
# release's package upgrades an earlier one's. Elsewhere (no numbered Debian
# release in /etc/os-release) the revision has no suffix.
set(ECHOWATCH_PACKAGE_REVISION 1 CACHE STRING "The Debian revision, before the release's suffix")
cmake_host_system_information(RESULT os_id QUERY DISTRIB_ID)
cmake_host_system_information(RESULT os_version QUERY DISTRIB_VERSION_ID)
cmake_host_system_information(RESULT os_codename QUERY DISTRIB_VERSION_CODENAME)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ECHOWATCH_PACKAGE_REVISION})
if(os_id STREQUAL "debian" AND os_version MATCHES "^[0-9]+$")
    string(APPEND CPACK_DEBIAN_PACKAGE_RELEASE "~deb${os_version}u1")
endif()
if(NOT os_codename)
    set(os_codename unstable)
endif()
set(ECHOWATCH_PACKAGE_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ECHOWATCH_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap, which the postinst runs; the rest comes from the binaries. The
# Wayland platform plugin lets the window run natively on a Wayland desktop
# (without it Qt needs XWayland).
set(CPACK_DEBIAN_PACKAGE_DEPENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(ECHOWATCH_INSTALLED_HELPER ${CPACK_PACKAGING_INSTALL_PREFIX}/${helper_dir}/${helper_name})
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA)
foreach(script postinst prerm postrm)
    configure_file(packaging/${script}.in packaging/${script} @ONLY)
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/packaging/${script})
endforeach()
# The headless prober's hosts and options are the administrator's to edit.
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)

# The package's changelog (a Debian revision makes it changelog.Debian) and
# its machine-readable copyright.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
configure_file(packaging/changelog.in packaging/changelog @ONLY)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.Debian.gz)
echowatch_gzip(echowatch_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog ${changelog})
install(FILES ${changelog} packaging/copyright DESTINATION ${doc_dir})

include(CPack)
