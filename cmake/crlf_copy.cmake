# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Copies a text file with Windows line ends: cmake -DIN=FILE -DOUT=FILE -P crlf_copy.cmake
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
