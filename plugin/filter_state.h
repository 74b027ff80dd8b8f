// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The per-instance record the host allocates (inst_data_size bytes) and hands back in
// every callback. It owns nothing, so a byte copy is a valid second instance.
//
// Sharing: the dialog (host window thread) writes the settings while the frame pass
// (host render thread) reads them, with no lock. Every field marked "shared" below is
// touched only through loadShared/storeShared, relaxed atomic accesses on the plain
// int, which keeps the record byte-copyable and the sharing defined.
// `history` and `frozen` belong to the frame pass alone (and InitProc).
#pragma once

#include "plugin/shared_field.h"

class IVDXFilterPreview;

struct FilterState {
    IVDXFilterPreview* preview;  // host preview, set when the dialog opens; dialog only
    int threadCount;             // workers per frame, >= 1; set by InitProc
    int gamma;                   // shared; curve strength, 0..40 from the dialog
    int gammaBackup;             // dialog copy for Cancel
    int border;                  // shared; flag: analyse inside the margins only
    int borderBackup;
    int alignment;  // shared; black/white alignment strength, 0..40
    int alignmentBackup;
    int disable;           // shared; flag: apply the identity correction
    double history[9][5];  // frame pass; parameters of the last five frames, slot 0 newest
    double frozen[9];      // frame pass; parameters kept for freeze
    int dialogClosed;      // shared; flag: 0 while the configuration dialog is open
    int showHistogram;     // shared; flag: draw the histogram graph
    int reserve;           // shared; flag mirrored by the disabled "Reserve" box
    int freeze;            // shared; flag: reuse `frozen` instead of measuring
    int freezeBackup;
    int top;              // shared; margins in pixels: top counted from the last row,
    int left;             // shared;   left from column 0,
    int right;            // shared;   right from the last column,
    int bottom;           // shared;   bottom from row 0 (the picture's bottom row)
    int marginBackup[4];  // dialog copies of top, left, right, bottom
    int height;           // shared; source height at the last start or dialog opening
    int width;            // shared; source width, likewise
};

// Fills every field with its default: the settings table's defaults, the identity
// history, dialogClosed set, reserve clear, and the given processor count and size.
void resetFilterState(FilterState& state, int processorCount, int width, int height);
