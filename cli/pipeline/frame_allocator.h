// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Keeps the memory of whole frames mapped between frames.
//
// A raw input's packet is one frame (8 MB at 1080p) that the demuxer allocates on the
// reader thread and the decoder passes on without a copy, so it is freed on the filter
// thread. With glibc's defaults such a block is mapped afresh and faulted in page by
// page every frame, or its arena is trimmed and grown again: about 370 page faults per
// 1080p frame. Blocks up to 32 MiB (a 4K BGR0 frame) now come from the heap, and each
// heap keeps 64 MiB of free space at its top instead of returning it, so the freed
// frames' pages are reused as they are.
#pragma once

// Once, before the first frame; does nothing off glibc.
void keepFrameBuffersMapped();
