# The Debian package: `cpack -G DEB` in a build folder (or the workflow
# preset "package") makes tolvex_<version>-<revision>_<arch>.deb from what
# `cmake --install` installs, under /usr: the programs in bin/, the render
# worker in libexec/tolvex/, the desktop entry, the icon and whatever else the
# install rules carry (manual pages, ...).

set(CPACK_PACKAGE_NAME tolvex)
set(CPACK_PACKAGE_VENDOR Tolvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvex developers <dev@tolvex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch processing of audio files through LV2 effect chains")
# The long description as Debian shows it: lines under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "Tolvex runs many audio files at once through an ordered chain of the LV2"
       "effects installed on the system, lets you listen to any file through the"
       "chain or around it, and exports them as WAV, AIFF or M4A (AAC), never"
       "overwriting a file. Chains are kept as named presets."
       ""
       "The package holds the desktop application (German interface) and"
       "tolvex-cli, the same export on the command line without a display.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tolvex.org)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian wants stripped programs and folders of mode 755 whatever the umask.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the shared libraries the three programs link, as dpkg-shlibdeps
# finds them (Qt, lilv, suil, libsndfile, FFmpeg, PortAudio, PulseAudio, ...).
# The Qt platform plugin for X11 and the TLS plugin come with those Qt
# libraries' packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Recommends: what Tolvex loads at run time without linking it. Effects to
# chain (the base set the tests use), Qt's own German texts, the desktop's
# file dialog on GTK desktops, the Wayland platform plugin, and the
# certificates the update check's HTTPS needs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "x42-plugins, mda-lv2, swh-lv2, qt6-translations-l10n, qt6-gtk-platformtheme, qt6-wayland, ca-certificates")
# Suggests: more effects, and a sound server for the preview (without one it
# plays through PortAudio's default device, or silently).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "lv2-plugin, pipewire-pulse | pulseaudio")

include(CPack)
