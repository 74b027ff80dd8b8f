// The settings one frame is rendered with, read once from FilterState at the start of
// the pass. The dialog may change the record meanwhile; one snapshot keeps the phases
// of a frame consistent with each other.
#pragma once

struct FilterState;

struct FrameSettings {
    int gamma;
    int alignment;
    int border;
    int disable;
    int dialogClosed;
    int showHistogram;
    int freeze;
    int top;
    int left;
    int right;
    int bottom;
    int threadCount;  // as stored; the correction phase bounds it
};

FrameSettings loadFrameSettings(const FilterState& state);
