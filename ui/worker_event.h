// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "analysis/file_report.h"

namespace orvel {

// One message from the analysis worker to the window's thread. The payload
// changes owner with the event: the receiver keeps or destroys the record.
struct WorkerEvent {
    enum class Kind { ResultReady, Progress, Finished };

    Kind kind = Kind::Finished;
    int index = -1;                     // queue entry, for ResultReady and Progress
    std::unique_ptr<FileReport> record; // ResultReady only
    std::string stage;                 // Progress only
};

// Delivers worker events, in posting order, to the thread that owns the queue.
// post() is called on the worker thread; an event that cannot be delivered is
// destroyed with its payload.
class WorkerEventSink {
public:
    virtual ~WorkerEventSink() = default;
    virtual void post(std::unique_ptr<WorkerEvent> event) = 0;
};

} // namespace orvel
