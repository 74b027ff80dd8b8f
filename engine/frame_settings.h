// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The settings one frame is rendered with: a snapshot the plug-in takes once at the
// start of the pass. The settings may change meanwhile (a dialog on another thread);
// one snapshot keeps the phases of a frame consistent with each other.
#pragma once

struct FrameSettings {
    int gamma;          // curve strength; the dialog offers 0..40, a script any int
    int alignment;      // black/white alignment strength, likewise
    int border;         // flag: analyse inside the margins only
    int disable;        // flag: apply the identity correction
    int dialogClosed;   // 0 while the settings are being edited: no averaging, outline drawn
    int showHistogram;  // flag: draw the histogram graph
    int freeze;         // flag: reuse the frozen values instead of measuring
    int top;            // margins in pixels: top counted from the last row,
    int left;           //   left from column 0,
    int right;          //   right from the last column,
    int bottom;         //   bottom from row 0 (the picture's bottom row)
    int threadCount;    // workers as stored; the correction phase bounds it
    int sceneCuts;      // cut detector sensitivity 1..100, 0 off (scene_cuts.h); only a
                        // host that carries a SceneCarry sets it
    // Flag: both planes hold 64-bit pixels of 16 bits per channel (PixelFormat::Bgra64).
    // Only hosts that link the filter set it; the host's record has no such field.
    int deepColour = 0;
    int balance = 0;            // flag: derive the values the balance way (balance_correction.h)
    int balanceStrength = 100;  // % of the balance correction applied, 0..100
};
