// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter as a host that links it drives it, in one object: an instance of the
// filter the process registered once (through the module's two entry points), created
// (InitProc), given every setting of the table, started (StartProc), then one frame at a
// time through the plug-in's renderFrame, which takes the linked frame (every setting's
// value, the carried state, the frame's request, the deep curve table) and returns the
// frame's report in the same call. The script settings go through the script function
// Config, the host's other switches into the record as the dialog's check boxes set
// them; the linked-only settings, which the record has no room for, stay here. The
// command line, the frei0r, OBS and MLT modules and the tests drive the filter this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/frame_pass.h"
#include "engine/linked_carry.h"
#include "plugin/settings_table.h"

class FilterHost;
struct DeepRemapCache;

// Everything a linked filter holds between frames: the instance record (history
// included), the settings as last applied, and the carried state.
struct LinkedSnapshot {
    std::vector<uint8_t> record;
    SettingValues settings{};
    LinkedCarry carry{};
};

class LinkedFilter
{
public:
    LinkedFilter();
    ~LinkedFilter();
    LinkedFilter(const LinkedFilter&) = delete;
    LinkedFilter& operator=(const LinkedFilter&) = delete;

    // Starts an instance for frames of width x height with `settings`; false with `error`
    // when the module did not register or lacks Config. `format` is the layout of every
    // frame run() gets: the host's 32-bit pixels, or 64-bit ones of 16 bits per channel
    // for deeper video.
    bool open(const SettingValues& settings, int width, int height, std::string& error,
              PixelFormat format = PixelFormat::Bgrx32);
    bool isOpen() const { return open_; }
    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }

    // Until open succeeds, the calls below do nothing (run reports nothing) and the texts
    // are empty.

    // Gives the instance new values, from the next frame on; nothing happens when they
    // are those it holds.
    void apply(const SettingValues& settings);
    const SettingValues& settings() const { return settings_; }

    // A freshly started instance with the current settings and no carried state: what a
    // host gets after seeking somewhere the history does not follow.
    void restart();

    // What the open configuration dialog does to the frame pass: each frame shows its
    // own values (no averaging) and the margins' outline.
    void showAsWhileEditing(bool editing);

    // One frame of the opened size and format: row 0 (the picture's bottom row) and the
    // pitch of each bitmap. `request` says what this frame does (engine/linked_carry.h);
    // `report`, when given, receives what the frame measured and applied. False, with
    // nothing reported, when the filter is not open.
    bool run(const uint8_t* sourceRow0, ptrdiff_t sourcePitch, uint8_t* destinationRow0,
             ptrdiff_t destinationPitch, FrameReport* report = nullptr,
             const FrameRequest& request = {});
    // The same for frames stored top row first, as FFmpeg, frei0r, OBS and MLT store them
    // (linked/frame_rows.h). Source and destination may be one buffer.
    bool runTopDown(const uint8_t* sourceTop, ptrdiff_t sourcePitch, uint8_t* destinationTop,
                    ptrdiff_t destinationPitch, FrameReport* report = nullptr,
                    const FrameRequest& request = {});

    // The whole state, into `snapshot`'s own storage (reused, so repeated snapshots of
    // one size do not allocate), and back.
    void takeSnapshot(LinkedSnapshot& snapshot) const;
    void restoreSnapshot(const LinkedSnapshot& snapshot);

    // The text the host shows: the filter's name with its summary, and the script line.
    std::string description();
    std::string scriptLine();

private:
    void store(const SettingValues& settings);

    std::unique_ptr<FilterHost> host_;
    bool open_ = false;
    int width_ = 0, height_ = 0;
    PixelFormat format_ = PixelFormat::Bgrx32;
    // Deep frames: the workers' shared curve table, allocated at open.
    std::unique_ptr<DeepRemapCache> deepRemapCache_;
    SettingValues settings_ = defaultSettingValues();
    LinkedCarry carry_{};
};
