# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# What `cmake --install` puts where, laid out as Debian lays such things out (paths
# relative to the prefix, /usr in the package): the programs in bin/, the frei0r module,
# the MLT module with its metadata and the Kdenlive effects beside their hosts' own
# (frei0r/CMakeLists.txt, mlt/CMakeLists.txt), the OBS Studio module and its locale
# where Debian's OBS looks for them (obs/CMakeLists.txt), the manual
# pages in share/man/man1/ (cli/, farm/), and the documents here. The Windows build
# instead makes the zip a user unpacks into the host's plug-in folder.

if(WIN32)
  # Telvo-VERSION-win64.zip: the module, and README, LICENSE and a short INSTALL as
  # text files with Windows line ends. scripts/check-windows-zip.sh checks its list.
  set(zip_dir ${PROJECT_BINARY_DIR}/windows-zip)
  set(TELVO_WINDOWS_ZIP ${PROJECT_BINARY_DIR}/Telvo-${PROJECT_VERSION}-win64.zip)
  configure_file(packaging/windows/INSTALL.txt.in ${zip_dir}/INSTALL.txt @ONLY
                 NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT ${TELVO_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:telvo_module> ${zip_dir}/Telvo.vdf
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/README.md
            -DOUT=${zip_dir}/README.txt -P ${PROJECT_SOURCE_DIR}/cmake/crlf_copy.cmake
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/LICENSE
            -DOUT=${zip_dir}/LICENSE.txt -P ${PROJECT_SOURCE_DIR}/cmake/crlf_copy.cmake
    COMMAND ${CMAKE_COMMAND} -E rm -f ${TELVO_WINDOWS_ZIP}
    # -X: no Unix owners or times beyond the plain ones; -D: no folder entries.
    COMMAND zip -q -X -D ${TELVO_WINDOWS_ZIP} Telvo.vdf INSTALL.txt README.txt LICENSE.txt
    WORKING_DIRECTORY ${zip_dir}
    DEPENDS telvo_module ${zip_dir}/INSTALL.txt ${PROJECT_SOURCE_DIR}/README.md
            ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/crlf_copy.cmake
    VERBATIM)
  add_custom_target(telvo_windows_zip ALL DEPENDS ${TELVO_WINDOWS_ZIP})
  return()
endif()

# The documents: README with the pages and pictures it links to, kept in the same
# relative places so its links work, and the licence statement in Debian's form.
install(FILES README.md DESTINATION share/doc/telvo)
install(DIRECTORY docs/ DESTINATION share/doc/telvo/docs)
install(FILES packaging/debian/copyright DESTINATION share/doc/telvo)

# The Debian package: cpack -G DEB in a build folder makes telvo_VERSION_ARCH.deb. The
# summary is the Description's first line, the text below it the rest.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Telvo authors")
set(CPACK_PACKAGE_CONTACT "the Telvo authors")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "automatic white balance and tonal range for video, frame by frame")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "For every frame Telvo measures the red, green and blue histograms, finds each
channel's black point, white point and median, pulls the channels towards each
other and averages the correction over the last five frames so that it never pumps.
.
The package holds telvo, the command-line tool on FFmpeg's libraries; telvo-farm,
which runs it segment by segment on a Dask cluster; the filter as a frei0r
module for FFmpeg, GStreamer and MLT; and the filter as a native MLT module
(service telvo) that renders every frame as at its position in the clip, for
Kdenlive, Shotcut and Flowblade; with Kdenlive effects for both; and the filter as
an OBS Studio module for live webcams and capture cards.")
# The libraries the binaries link, as dpkg-shlibdeps finds them; and what the scripts
# run: Debian's Python with Dask for telvo-farm, the ffmpeg program that joins segments.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-distributed, ffmpeg")
# The OBS module takes libobs from the OBS that loads it: no dependency on OBS.
set(CPACK_DEBIAN_PACKAGE_ENHANCES "obs-studio")
include(CPack)
