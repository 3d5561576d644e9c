#pragma once
// Long work (Load, Export of a large file) off the window's thread, with a
// progress dialog.
//
// The work runs on a worker thread; the window's thread waits in an event
// loop, so the window repaints, and shows the stage and the fraction the
// work reports in a modal progress dialog (after a short delay, so that
// quick work shows none). While the work runs, the window takes no input:
// clicks, keys and a close made meanwhile are dropped, not queued and
// replayed afterwards. With `cancellable` the dialog has a Cancel button;
// once pressed, the work's progress function answers false. An exception
// the work raises comes out of RunLongWork on the window's thread.
#include <QString>
#include <functional>

#include "app/progress.h"

class QProgressDialog;
class QWidget;

namespace dbc {

// Sees the dialog when it is made (before the work starts) and after each
// update (tests use it to press Cancel or to click meanwhile).
using ProgressObserver = std::function<void(QProgressDialog& dialog)>;

void RunLongWork(QWidget* window, const QString& title, bool cancellable,
                 const std::function<void(const Progress&)>& work, const ProgressObserver& observer = {});

// How long the work may take before the dialog appears.
constexpr int kProgressDelayMs = 400;

}  // namespace dbc
