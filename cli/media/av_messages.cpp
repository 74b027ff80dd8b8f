// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/av_messages.h"

#include <cstdarg>
#include <cstdio>

#include "cli/media/av_util.h"

namespace
{

bool g_show = false;

// One message may come in pieces; a line is complete at its newline.
thread_local std::string t_pending;
thread_local std::string t_firstError;

extern "C" void captureLine(void* context, int level, const char* format, va_list arguments)
{
    if (g_show) {
        va_list copy;
        va_copy(copy, arguments);
        av_log_default_callback(context, level, format, copy);
        va_end(copy);
    }
    if (level > AV_LOG_ERROR) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    t_pending += text;
    const size_t end = t_pending.find_first_of("\r\n");
    if (end == std::string::npos) return;  // the line goes on in the next call
    // The first line names the cause; later ones tend to report its consequences
    // ("ff_frame_thread_encoder_init failed"). A failure is reported in one line.
    if (t_firstError.empty() && end > 0) t_firstError = t_pending.substr(0, end);
    t_pending.clear();
}

}  // namespace

void captureAvMessages(bool show)
{
    g_show = show;
    av_log_set_callback(&captureLine);
}

std::string avFailure(int code)
{
    std::string cause = t_firstError.empty() ? avError(code) : t_firstError;
    clearAvMessage();
    return cause;
}

void clearAvMessage()
{
    t_pending.clear();
    t_firstError.clear();
}
