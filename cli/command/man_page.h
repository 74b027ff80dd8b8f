// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// telvo.1, the manual page, made from the same rows as --help (cli/command/option_list.h
// and the settings table), so the two cannot drift apart.
#pragma once

#include <string>
#include <string_view>

// The page in man(7) markup for the given version.
std::string manPage(std::string_view version);
