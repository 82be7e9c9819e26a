# `cpack -G DEB` in a build directory configured with the /usr prefix makes
# kesto_<version>_<arch>.deb: the program, its resources, the systemd unit
# and the README. Runtime dependencies come from dpkg-shlibdeps on the
# program, plus the GStreamer plugins the camera chain loads at run time.
# Installing (and so `cpack`) takes what is built without building every
# target first: the test suites and benchmarks are never installed, and
# scripts/test builds only the program and its resources in Release.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kesto.service
              ${PROJECT_SOURCE_DIR}/packaging/kesto-collect.service
        DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kesto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kesto maintainers <kesto@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera image sensor as a gamma-radiation detector")
set(CPACK_PACKAGE_DESCRIPTION
    "Counts the flashes gamma rays make on a covered camera sensor, derives the dose rate, keeps a history of measurements and serves a browser page and Prometheus metrics.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gpsd, postgresql")
# The collection server's map; without it the page shows its table and chart.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libjs-leaflet")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Only what `cmake --install` puts under the prefix: no tests, no benchmarks.
set(CPACK_STRIP_FILES ON)
include(CPack)
