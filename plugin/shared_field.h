// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Relaxed atomic access to one int field that two threads share without a lock (the
// dialog writes, the frame pass reads). The field stays a plain int, so the record that
// holds it stays byte-copyable, and the sharing is defined behaviour.
#pragma once

int loadShared(const int& field);
void storeShared(int& field, int value);
