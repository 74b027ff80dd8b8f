// Reads the script line the host saves, "Config(g,a,b,t,l,r,bo,f)", back into the eight
// settings. Values are taken as the host's script replay takes them: any 32-bit int.
#pragma once

#include <string>

#include "plugin/settings_text.h"

// False with a one-line reason (naming the offending argument and the expected form)
// when the text is not exactly one such call.
bool parseConfigLine(const std::string& text, ScriptSettings& settings, std::string& error);
