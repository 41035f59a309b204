# SPDX-License-Identifier: MIT
# The Debian package, made by CPack: `bash scripts/package.sh` (which see) makes
# brin_VERSION_amd64.deb. Its dependencies are worked out from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The brin developers <brin@example.org>")
# Two packages: brin, the game, which is all that is installed without a component of its
# own, and brin-hall, the hall of fame with its verifier, made when the hall is built. A
# player's brin needs none of the hall's libraries. Each package's first line of
# description is its own, so no summary is shared.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME brin)
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "picture-swap puzzle against the clock
A picture is cut into 4 columns by 5 rows of tiles and shuffled; put it back
together by swapping pairs of tiles, with the keyboard or the mouse, before
the countdown runs out. The levels get faster, and the five best totals are
kept with their names.

The game looks, sounds and plays like a Linux console game of the 1990s:
640x480 in 256 colours, the PC speaker's tones, a Spanish keyboard. Your own
photographs can be levels too: brin-picture converts them.")
set(CPACK_DEBIAN_HALL_PACKAGE_NAME brin-hall)
set(CPACK_DEBIAN_HALL_PACKAGE_SECTION net)  # a server, not a game
set(CPACK_DEBIAN_HALL_PACKAGE_DEPENDS "brin (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_HALL_DESCRIPTION "hall of fame for brin that verifies every game by replaying it
brin-hall keeps the best games of brin from any player. A game is sent as its
recording; the hall plays it again frame by frame and takes it only when every
frame and tone matched, reading the score and the name from what the game
itself wrote. Anyone can watch a game of the hall in the browser edition,
which the hall serves too.

The games are kept in SQLite or PostgreSQL. A systemd unit is included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

# What Debian asks of every package: its copyright and changelog in /usr/share/doc/brin.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
include(CPack)
