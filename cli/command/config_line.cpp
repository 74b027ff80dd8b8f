// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/config_line.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "plugin/settings_text.h"

namespace
{

// The messages count the arguments in words.
static_assert(kScriptSettingCount == 8);

// "expected Config(gamma,...,freeze) with eight integers, e.g. Config(15,...,0)"
std::string expectedForm()
{
    std::string form = "expected Config(";
    for (int i = 0; i < kScriptSettingCount; ++i) {
        if (i > 0) form += ',';
        form += kSettings[i].name;
    }
    char example[128];
    formatScriptLine(example, sizeof example, defaultSettingValues());
    form += ") with eight integers, e.g. ";
    form += example;
    return form;
}

void skipSpace(const char*& p)
{
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
}

}  // namespace

bool parseConfigLine(const std::string& text, SettingValues& settings, std::string& error)
{
    const std::string form = expectedForm();
    const char* p = text.c_str();
    skipSpace(p);
    // A line copied from a saved script names the filter instance first
    // ("...filters.instance[0].Config(...)"); the call itself is what counts.
    for (const char* q = p; *q && (std::isalnum(static_cast<unsigned char>(*q)) || *q == '.' ||
                                   *q == '_' || *q == '[' || *q == ']');
         ++q)
        if (*q == '.' && std::strncmp(q + 1, "Config", 6) == 0) p = q + 1;
    if (std::string(p).rfind("Config", 0) != 0) {
        error = "--config: the line does not start with Config; " + form;
        return false;
    }
    p += 6;
    skipSpace(p);
    if (*p != '(') {
        error = "--config: missing '(' after Config; " + form;
        return false;
    }
    ++p;
    int values[kScriptSettingCount];
    for (int i = 0; i < kScriptSettingCount; ++i) {
        const std::string argument =
            "argument " + std::to_string(i + 1) + " (" + kSettings[i].name + ")";
        const std::string which = "--config: " + argument;
        skipSpace(p);
        errno = 0;
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p) {
            error =
                which + (*p == ')' || *p == '\0' ? " is missing; " : " is not an integer; ") + form;
            return false;
        }
        if (errno == ERANGE || v < INT_MIN || v > INT_MAX) {
            error = which + " is out of the 32-bit integer range; " + form;
            return false;
        }
        values[i] = static_cast<int>(v);
        p = end;
        skipSpace(p);
        const char expected = i + 1 < kScriptSettingCount ? ',' : ')';
        if (*p != expected) {
            if (expected == ')' && *p == ',')
                error = "--config: more than eight arguments; " + form;
            else if (expected == ')' && *p == '\0')
                error = "--config: missing ')' after " + argument + "; " + form;
            else if (expected == ',' && (*p == ')' || *p == '\0'))
                error = "--config: argument " + std::to_string(i + 2) + " (" +
                        kSettings[i + 1].name + ") is missing; " + form;
            else
                error = which + " is not an integer; " + form;
            return false;
        }
        ++p;
    }
    skipSpace(p);
    if (*p == ';') ++p;
    skipSpace(p);
    if (*p != '\0') {
        error = "--config: unexpected text after the closing ')'; " + form;
        return false;
    }
    std::copy(values, values + kScriptSettingCount, settings.begin());
    return true;
}
