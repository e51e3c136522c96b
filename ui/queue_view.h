// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvel {

// Which of the seven command buttons may be used.
struct CommandState {
    bool addFiles = false;
    bool addFolder = false;
    bool analyze = false;
    bool stop = false;
    bool clear = false;
    bool exportReport = false;
    bool about = true;

    bool operator==(const CommandState&) const = default;
};

// The window side of the queue: what AnalysisQueue asks its window to show.
// Every call comes on the queue's (the user-interface) thread.
class QueueView {
public:
    virtual ~QueueView() = default;
    // Entries first .. first + count - 1 were appended.
    virtual void rowsAppended(int first, int count) = 0;
    // The cells of one row changed.
    virtual void rowChanged(int row) = 0;
    // Every row was removed.
    virtual void rowsCleared() = 0;
    // Select and focus a row (the queue already holds it as selected).
    virtual void selectRow(int row) = 0;
    virtual void commandsChanged(const CommandState& commands) = 0;
    virtual void progressChanged(int percent) = 0;
    // The details text or the evidence panel (title, spectrum) may show something else.
    virtual void detailsChanged() = 0;
    // Repaint the whole window (the status line among it).
    virtual void repaintWindow() = 0;
    // A close asked for during a run may now go ahead: the run has stopped.
    virtual void closeWindow() = 0;
    // A path could not be added; shown as a warning, and the rest still goes on.
    virtual void showAddPathError(const std::string& message) = 0;
};

} // namespace orvel
