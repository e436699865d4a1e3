# The Debian package, made by `cpack -G DEB` (scripts/package.sh) from what
# `cmake --install` puts into /usr: tallimo_<version>-<release>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallimo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tallimo developers")
set(CPACK_PACKAGE_CONTACT "The Tallimo developers <tallimo@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "household income and expense ledger
Tallimo keeps a household's expenses and incomes: several user accounts
share one ledger, each enters expenses and incomes, browses a date range
with day and month totals, ranks categories, prints, exports to a web page,
a workbook or CSV, and backs the ledger up and restores it. The ledger is a
data file in the user's home, or a PostgreSQL database that several
computers share. The program speaks Chinese.")
# The shared libraries come from dpkg-shlibdeps. What the program loads by
# name is added by hand: Qt's platform plugins (no window without them), Qt's
# Chinese translations (dialog buttons, file dialogs), and the font the
# windows are laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-wqy-microhei")
# The entry panels' calculator button starts the first of these it finds.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "gnome-calculator | kcalc | galculator | qalculate-gtk | mate-calc | x11-apps")

# The changelog names the version being packaged; a version bump in one
# place only fails here rather than in a package that lies about itself.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog changelog_head LIMIT_COUNT 1)
set(deb_version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
if(NOT changelog_head MATCHES "^tallimo \\(${deb_version}\\) ")
  message(FATAL_ERROR "dist/debian/changelog starts with \"${changelog_head}\"; "
                      "the package is version ${deb_version}: add an entry for it")
endif()

include(CPack)
