# The Debian package station-editor, built with `cpack -G DEB` (scripts/package.sh).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME station-editor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "station-editor maintainers")
set(CPACK_PACKAGE_CONTACT "station-editor maintainers <maintainers@users.noreply.c-seed-895df7c9.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "station catalogue editor for CSS 3.0 seismological databases
An operator picks a station by its code and sees and changes, on one
form, the station's site description (codes, coordinates, elevation,
names, dates, its place in a seismic array) and up to seven groups of
three-component channels, stored in the tables SITE and SITECHAN.
.
The database is reached through ODBC and may be SQLite, PostgreSQL or
MariaDB/MySQL. The package also holds station-upgrade and the other
command-line programs of the project.")

# The libraries the programs link are found by dpkg-shlibdeps. The SVG
# support is loaded by Qt at run time as a plugin (the window icon), which
# dpkg-shlibdeps cannot see, so it is named here; so are Qt's Russian
# translations, which the editor loads so that standard buttons and dialogs
# speak the form's language (without them they are English).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")
# One driver per supported database product; each is optional.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, odbc-mariadb")

include(CPack)
