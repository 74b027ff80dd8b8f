// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/settings_text.h"

#include <charconv>
#include <string_view>

namespace
{

// Appends to a caller's buffer with snprintf's contract: what fits is written and
// terminated, and the length counts the whole text.
class BoundedText
{
public:
    BoundedText(char* buffer, size_t size) : buffer_(buffer), size_(size)
    {
        if (size_ > 0) buffer_[0] = '\0';
    }

    void append(std::string_view text)
    {
        for (char c : text) {
            if (length_ + 1 < size_) {
                buffer_[length_] = c;
                buffer_[length_ + 1] = '\0';
            }
            ++length_;
        }
    }

    void append(int value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        append(std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
    }

    int length() const { return static_cast<int>(length_); }

private:
    char* buffer_;
    size_t size_;
    size_t length_ = 0;
};

}  // namespace

int formatSummary(char* buffer, size_t size, const SettingValues& values)
{
    BoundedText text(buffer, size);
    text.append(" (");
    for (int i = 0; i < kScriptSettingCount; ++i) {
        if (i > 0) text.append(", ");
        text.append(kSettings[i].name);
        text.append(" ");
        text.append(values[i]);
    }
    text.append(")");
    return text.length();
}

int formatScriptLine(char* buffer, size_t size, const SettingValues& values)
{
    BoundedText text(buffer, size);
    text.append("Config(");
    for (int i = 0; i < kScriptSettingCount; ++i) {
        if (i > 0) text.append(",");
        text.append(values[i]);
    }
    text.append(")");
    return text.length();
}
