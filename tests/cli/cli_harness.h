// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Drives the telvo binary end to end on clips generated with ffmpeg's lavfi sources,
// and decodes results in-process with the same input code, so outputs can be compared
// with the filter run directly on the same decoded frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/settings_table.h"

struct RunOutcome {
    int exitCode = -1;
    std::string stderrText;
};

// One picture in the filter's byte order, top row first, the X byte dropped: B, G, R.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    bool operator==(const Picture&) const = default;
};

// A fresh folder per test, removed afterwards.
class CliTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Names in the test folder, hidden ones included.
    std::vector<std::string> files() const;

    // Runs `telvo ARGS`; arguments are quoted for the shell.
    RunOutcome telvo(const std::vector<std::string>& args) const;
    // Runs ffmpeg with the given arguments (quiet, overwriting); fails the test if it fails.
    void ffmpeg(const std::string& args) const;
    // A clip from a lavfi source graph, e.g. makeClip("c.mkv", "testsrc2=size=64x48", 12).
    void makeClip(const std::string& name, const std::string& graph, int frames,
                  const std::string& encode = "-c:v ffv1") const;

    std::string dir_;
};

// Every frame of a file, in the filter's layout, as the CLI decodes it.
std::vector<Picture> decodeFile(const std::string& file);

// The frames the filter makes from `file` when driven directly through its callbacks
// (no telvo process involved), one instance for the whole clip.
std::vector<Picture> filterDirectly(const std::string& file, const SettingValues& settings);

std::string readText(const std::string& file);
