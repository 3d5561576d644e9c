#include "gui/long_work.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace dbc {

namespace {

constexpr int kPollMs = 40;
constexpr int kSteps = 1000;

// Drops the user's input to one window (and its children) while it lives.
class InputBlocker final : public QObject {
 public:
  explicit InputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~InputBlocker() override { qApp->removeEventFilter(this); }
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::Close: {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && window_ && (w == window_ || w->window() == window_)) return true;
        break;
      }
      default:
        break;
    }
    return false;
  }

 private:
  QWidget* window_;
};

// What the worker reports and the window's thread reads.
struct Shared {
  std::mutex mutex;
  std::string stage;
  double fraction = 0;
  std::atomic<bool> cancel{false};
  std::exception_ptr error;
};

}  // namespace

void RunLongWork(QWidget* window, const QString& title, bool cancellable,
                 const std::function<void(const Progress&)>& work, const ProgressObserver& observer) {
  InputBlocker blocker(window ? window->window() : nullptr);
  Shared shared;

  QProgressDialog dialog(window);
  dialog.setWindowTitle(title);
  dialog.setLabelText(title + QStringLiteral("..."));
  dialog.setRange(0, kSteps);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(kProgressDelayMs);
  if (!cancellable) dialog.setCancelButton(nullptr);
  // Cancel pressed, or the dialog cancelled by a call.
  auto takeCancel = [&] {
    if (!cancellable || shared.cancel || !dialog.wasCanceled()) return;
    shared.cancel = true;
    dialog.setLabelText(QStringLiteral("Stopping..."));
  };
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, takeCancel);
  if (observer) observer(dialog);
  takeCancel();

  QEventLoop loop;
  auto update = [&] {
    std::string stage;
    double fraction = 0;
    {
      std::lock_guard lock(shared.mutex);
      stage = shared.stage;
      fraction = shared.fraction;
    }
    if (!shared.cancel && !stage.empty()) dialog.setLabelText(QString::fromStdString(stage));
    dialog.setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * (kSteps - 1)));
    if (observer) observer(dialog);
    takeCancel();
  };
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, update);
  poll.start(kPollMs);

  const Progress progress = [&shared](const std::string& stage, double fraction) {
    {
      std::lock_guard lock(shared.mutex);
      shared.stage = stage;
      shared.fraction = fraction;
    }
    return !shared.cancel.load();
  };
  std::thread worker([&] {
    try {
      work(progress);
    } catch (...) {
      shared.error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  poll.stop();
  dialog.hide();
  if (shared.error) std::rethrow_exception(shared.error);
}

}  // namespace dbc
