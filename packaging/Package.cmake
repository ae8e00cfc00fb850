# The Debian package made by `cpack` (scripts/package): kestrine_<version>_amd64.deb.
# Its dependencies are computed from the programs' shared libraries, so they follow whatever the build
# links; ffmpeg the program is only used by the tests and is not among them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrine)
set(CPACK_PACKAGE_VENDOR "Kestrine")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lossless cutter and joiner for ASF media (.asf, .wmv, .wma)")
# The synopsis comes from the summary above; this is the extended text after it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kestrine is a desktop editor for Windows Media recordings. The Player\n"
    "pane plays the source; step from keyframe to keyframe, mark IN and OUT\n"
    "and press Record. The Recorder pane plays the result being assembled,\n"
    "with unlimited Undo and Save.\n"
    "\n"
    "Cuts are made at packet level by the bundled command-line cutter\n"
    "asfbin.exe, without re-encoding, so they are exact and lossless.\n"
    "asfbin.exe also joins files, rewrites unindexed recordings with a fresh\n"
    "index and reports keyframes.")
set(CPACK_PACKAGE_CONTACT "Kestrine maintainers <maintainers@kestrine.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrine.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
