// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The engine's row executor on the platform's threads (platform/threads.h): one thread
// per job, all started before the first is waited for, then waited for and closed in
// index order. A job whose thread cannot be started is neither waited for nor closed;
// it runs on the calling thread (its callerEntry where it has one) once the others have
// been started.
#pragma once

#include "engine/row_executor.h"

// Keeps no state, so one executor serves every filter instance and calling thread.
RowExecutor& threadExecutor();
