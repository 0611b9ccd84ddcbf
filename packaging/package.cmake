# The Debian binary package, made by CPack from the install rules: `cpack -G DEB` in a build
# directory (scripts/package does it all). Its runtime dependencies come from the binary
# through dpkg-shlibdeps. CPack rather than a debian/ directory: the install rules are CMake's
# already, and the package is built from this tree for its users, so no second description of
# the build (debian/rules, control) has to be kept in step with CMakeLists.txt.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The project has no public home or list yet: an address that no one can mistake for a real one.
set(CPACK_PACKAGE_CONTACT "Tessaly developers <tessaly@users.noreply.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# No debug information in the shipped binary (lintian: unstripped-binary-or-object).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tessaly_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Its JACK input needs a JACK server (jackd2 or PipeWire's JACK) only when JACK is used.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2 | pipewire-jack")
# The synopsis, and the long description, each line of which CPack indents by one space.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI input monitor for the desktop")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessaly shows, live, every message a MIDI device sends on an ALSA sequencer
or JACK input port: time-stamped channel messages with display filters, a
table of counts per status byte, the driver's status and error lines, and
the decoded system-exclusive traffic of one device family. Any list can be
copied to the clipboard. It offers a virtual input port of its own for other
programs to connect to, and a console front end that writes the same lines
to standard output.")

include(CPack)
