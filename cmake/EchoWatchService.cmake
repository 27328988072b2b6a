# The headless prober as a service (packaging/systemd/): its units, the
# group its probe helper's socket is open to, the commented examples of its
# hosts and options in /etc/echowatch/, and the Prometheus rules and Grafana
# dashboard for what it serves. Included where the echowatch target is
# defined; the package's maintainer scripts are in EchoWatchPackage.cmake.
set(echowatch_service_dir ${PROJECT_SOURCE_DIR}/packaging/systemd)
# Debian's place for units and sysusers files, on both releases.
set(ECHOWATCH_UNIT_DIR lib/systemd/system)
install(FILES
    ${echowatch_service_dir}/echowatch-headless.service
    ${echowatch_service_dir}/echowatch-probe.socket
    ${echowatch_service_dir}/echowatch-probe@.service
    DESTINATION ${ECHOWATCH_UNIT_DIR})
install(FILES ${echowatch_service_dir}/echowatch.sysusers
    DESTINATION lib/sysusers.d RENAME echowatch.conf)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/etc/hosts ${PROJECT_SOURCE_DIR}/packaging/etc/options
    DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/echowatch)
install(FILES
    ${PROJECT_SOURCE_DIR}/packaging/prometheus/echowatch.rules.yml
    ${PROJECT_SOURCE_DIR}/packaging/grafana/echowatch-dashboard.json
    DESTINATION ${CMAKE_INSTALL_DATADIR}/echowatch)
