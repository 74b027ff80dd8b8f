#include "cli/config_line.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr const char* kForm =
    "expected Config(gamma,alignment,border,top,left,right,bottom,freeze)"
    " with eight integers, e.g. Config(15,15,0,8,8,8,8,0)";
constexpr const char* kNames[kScriptSettingCount] = {"gamma", "alignment", "border", "top",
                                                     "left",  "right",     "bottom", "freeze"};

void skipSpace(const char*& p)
{
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
}

}  // namespace

bool parseConfigLine(const std::string& text, ScriptSettings& settings, std::string& error)
{
    const char* p = text.c_str();
    skipSpace(p);
    // A line copied from a saved script names the filter instance first
    // ("...filters.instance[0].Config(...)"); the call itself is what counts.
    for (const char* q = p; *q && (std::isalnum(static_cast<unsigned char>(*q)) || *q == '.' ||
                                   *q == '_' || *q == '[' || *q == ']');
         ++q)
        if (*q == '.' && std::strncmp(q + 1, "Config", 6) == 0) p = q + 1;
    if (std::string(p).rfind("Config", 0) != 0) {
        error = "--config: the line does not start with Config; " + std::string(kForm);
        return false;
    }
    p += 6;
    skipSpace(p);
    if (*p != '(') {
        error = "--config: missing '(' after Config; " + std::string(kForm);
        return false;
    }
    ++p;
    int values[kScriptSettingCount];
    for (int i = 0; i < kScriptSettingCount; ++i) {
        const std::string which =
            "--config: argument " + std::to_string(i + 1) + " (" + kNames[i] + ")";
        skipSpace(p);
        errno = 0;
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p) {
            error = which + (*p == ')' || *p == '\0' ? " is missing; " : " is not an integer; ") +
                    kForm;
            return false;
        }
        if (errno == ERANGE || v < INT_MIN || v > INT_MAX) {
            error = which + " is out of the 32-bit integer range; " + kForm;
            return false;
        }
        values[i] = static_cast<int>(v);
        p = end;
        skipSpace(p);
        const char expected = i + 1 < kScriptSettingCount ? ',' : ')';
        if (*p != expected) {
            if (expected == ')' && *p == ',')
                error = "--config: more than eight arguments; " + std::string(kForm);
            else if (expected == ',' && *p == ')')
                error = "--config: argument " + std::to_string(i + 2) + " (" + kNames[i + 1] +
                        ") is missing; " + kForm;
            else
                error = which + " is not an integer; " + kForm;
            return false;
        }
        ++p;
    }
    skipSpace(p);
    if (*p == ';') ++p;
    skipSpace(p);
    if (*p != '\0') {
        error = "--config: unexpected text after the closing ')'; " + std::string(kForm);
        return false;
    }
    settings = ScriptSettings{values[0], values[1], values[2], values[3],
                              values[4], values[5], values[6], values[7]};
    return true;
}
