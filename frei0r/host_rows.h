// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// FFmpeg's frei0r filter hands over frames whose rows are padded to 64 bytes, while
// frei0r fixes a row at width x 4 bytes: at a width that is not a multiple of 16 every
// row after the first is read from the wrong place, silently. The module cannot see the
// padding, but it can tell who constructed it: the object file that holds the caller of
// f0r_construct. When that is FFmpeg's libavfilter (or an ffmpeg program built with it
// inside), such a width is reported once per process on stderr.
#pragma once

#include <string>

// True when a module constructed from code in `callerObject` (a shared object's path, or
// the program's own) inside the program `program` at `width` gets padded rows.
bool rowsPaddedByHost(const std::string& callerObject, const std::string& program, int width);

// Looks up the object holding `callerAddress` and the running program, and prints the
// warning the first time rowsPaddedByHost is true in this process.
void warnIfRowsPadded(const void* callerAddress, int width);
