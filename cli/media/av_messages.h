// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// FFmpeg explains most failures only in its log and returns a bare error code, at times
// a misleading one (a y4m header with an impossible picture size fails with EBUSY). The
// log is kept quiet, so each thread keeps the first error line FFmpeg logged on it, and
// a failure can name its real cause.
//
// The input side's warnings and errors (a file that ends before its header says, a
// damaged picture the decoder conceals) are counted per kind, so that a run can end with
// one line per kind instead of FFmpeg's line per macroblock.
#pragma once

#include <cstdio>
#include <string>

// Routes FFmpeg's log through the capture; `show` also prints it (at the level set with
// av_log_set_level).
void captureAvMessages(bool show);

// Why an FFmpeg call on this thread failed with `code`: the first error line logged since
// the last call to this or to clearAvMessage, else the code's text. Consumes the line.
std::string avFailure(int code);

// Forgets what earlier calls on this thread logged, before a call whose failure should
// not be blamed on them.
void clearAvMessage();

// One line per kind of warning or error the demuxer and the decoder logged: how often,
// and the first message of the kind. Nothing when they logged none.
void reportInputMessages(std::FILE* to);

// While one lives, the input side's messages are not counted: decoding from a keyframe
// found by a seek makes the decoder complain about references before it (an open GOP),
// which says nothing about the input.
class InputMessagesMuted
{
public:
    InputMessagesMuted();
    ~InputMessagesMuted();
    InputMessagesMuted(const InputMessagesMuted&) = delete;
    InputMessagesMuted& operator=(const InputMessagesMuted&) = delete;
};
