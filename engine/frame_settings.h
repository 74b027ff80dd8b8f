// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The settings one frame is rendered with: a snapshot the plug-in takes once at the
// start of the pass. The settings may change meanwhile (a dialog on another thread);
// one snapshot keeps the phases of a frame consistent with each other.
#pragma once

struct FrameSettings {
    int gamma;      // curve strength; the dialog offers 0..40, a script any int
    int alignment;  // black/white alignment strength, likewise
    int border;     // flag: analyse inside the margins only
    int disable;    // flag: apply the identity correction
    // Flag: settle each frame's values through the five-frame history (correction_params.h).
    // Off while the settings are being edited, so each frame shows its own values.
    int averageHistory;
    int showHistogram;          // flag: draw the histogram graph
    int outlineMargins;         // flag: with `border`, draw the margins' outline (while editing)
    int freeze;                 // flag: reuse the frozen values instead of measuring
    int top;                    // margins in pixels: top counted from the last row,
    int left;                   //   left from column 0,
    int right;                  //   right from the last column,
    int bottom;                 //   bottom from row 0 (the picture's bottom row)
    int threadCount;            // workers as stored; the correction phase bounds it
    int sceneCuts;              // cut detector sensitivity 1..100, 0 off (scene_cuts.h); only a
                                // host that carries a SceneCarry sets it
    int balance = 0;            // flag: derive the values the balance way (balance_correction.h)
    int balanceStrength = 100;  // % of the balance correction applied, 0..100
};
