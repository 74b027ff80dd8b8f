// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The frei0r plug-in interface (API 1.2) as Debian's frei0r-plugins-dev declares it. The
// header has no extern "C" guard of its own, and the hosts look the functions up by
// their plain C names.
#pragma once

extern "C" {
#include <frei0r.h>
}
