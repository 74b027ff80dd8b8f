// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/av_messages.h"

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "cli/media/av_util.h"

namespace
{

bool g_show = false;

// One message may come in pieces; a line is complete at its newline.
thread_local std::string t_pending;
thread_local int t_pendingLevel = AV_LOG_QUIET;
thread_local std::string t_firstError;

// The input side's warnings and errors, one entry per kind: the reading library and the
// message with its numbers left out, so a damaged stream's line per macroblock counts as
// one kind. Decoder threads report too, hence the lock.
struct MessageKind {
    std::string key;
    std::string source;  // "the demuxer (matroska,webm)", "the decoder (h264)"
    std::string first;   // the first message of the kind, as logged
    bool error = false;
    long long count = 0;
};
std::mutex g_kindsLock;
std::vector<MessageKind> g_kinds;
std::atomic<int> g_muted{0};

// Demuxers and decoders; their messages say what is wrong with the input.
bool fromInputSide(void* context)
{
    if (context == nullptr) return false;
    const AVClass* type = *static_cast<const AVClass**>(context);
    if (type == nullptr) return false;
    const AVClassCategory category =
        type->get_category != nullptr ? type->get_category(context) : type->category;
    return category == AV_CLASS_CATEGORY_DEMUXER || category == AV_CLASS_CATEGORY_DECODER ||
           category == AV_CLASS_CATEGORY_INPUT;
}

std::string sourceOf(void* context)
{
    const AVClass* type = *static_cast<const AVClass**>(context);
    const AVClassCategory category =
        type->get_category != nullptr ? type->get_category(context) : type->category;
    const char* role = category == AV_CLASS_CATEGORY_DECODER   ? "decoder"
                       : category == AV_CLASS_CATEGORY_DEMUXER ? "demuxer"
                                                               : "reader";
    const char* name = type->item_name != nullptr ? type->item_name(context) : type->class_name;
    return std::string("the ") + role + " (" + name + ")";
}

void countInputMessage(void* context, int level, const std::string& line)
{
    if (g_muted.load() > 0) return;
    auto digit = [&](size_t at) {
        return at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]));
    };
    std::string key = sourceOf(context) + ": ";
    for (size_t at = 0; at < line.size(); ++at) {
        if (!digit(at) && !(line[at] == '-' && digit(at + 1))) {
            key += line[at];
            continue;
        }
        key += '#';
        while (digit(at + 1)) ++at;
    }
    const std::lock_guard<std::mutex> hold(g_kindsLock);
    for (MessageKind& kind : g_kinds) {
        if (kind.key == key) {
            ++kind.count;
            return;
        }
    }
    g_kinds.push_back({key, sourceOf(context), line, level <= AV_LOG_ERROR, 1});
}

extern "C" void captureLine(void* context, int level, const char* format, va_list arguments)
{
    if (g_show) {
        va_list copy;
        va_copy(copy, arguments);
        av_log_default_callback(context, level, format, copy);
        va_end(copy);
    }
    if (level > AV_LOG_WARNING) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    t_pending += text;
    if (level < t_pendingLevel || t_pendingLevel == AV_LOG_QUIET) t_pendingLevel = level;
    const size_t end = t_pending.find_first_of("\r\n");
    if (end == std::string::npos) return;  // the line goes on in the next call
    const int lineLevel = t_pendingLevel;
    // The first line names the cause; later ones tend to report its consequences
    // ("ff_frame_thread_encoder_init failed"). A failure is reported in one line.
    if (lineLevel <= AV_LOG_ERROR && t_firstError.empty() && end > 0)
        t_firstError = t_pending.substr(0, end);
    if (end > 0 && fromInputSide(context))
        countInputMessage(context, lineLevel, t_pending.substr(0, end));
    t_pending.clear();
    t_pendingLevel = AV_LOG_QUIET;
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
    t_pendingLevel = AV_LOG_QUIET;
    t_firstError.clear();
}

void reportInputMessages(std::FILE* to)
{
    // A badly damaged stream can produce many kinds; the first ones name the trouble.
    constexpr size_t kMostKinds = 12;
    const std::lock_guard<std::mutex> hold(g_kindsLock);
    for (size_t i = 0; i < g_kinds.size() && i < kMostKinds; ++i) {
        const MessageKind& kind = g_kinds[i];
        std::fprintf(to, "telvo: warning: %s of the input reported %s", kind.source.c_str(),
                     kind.error ? "an error" : "a warning");
        if (kind.count > 1) std::fprintf(to, " %lld times, the first", kind.count);
        std::fprintf(to, ": %s\n", kind.first.c_str());
    }
    if (g_kinds.size() > kMostKinds)
        std::fprintf(to, "telvo: warning: and %zu more kinds of input messages (-v shows all)\n",
                     g_kinds.size() - kMostKinds);
}

InputMessagesMuted::InputMessagesMuted()
{
    ++g_muted;
}

InputMessagesMuted::~InputMessagesMuted()
{
    --g_muted;
}
