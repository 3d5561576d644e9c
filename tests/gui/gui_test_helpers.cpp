#include "gui_test_helpers.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

namespace dbc::guitest {

void SendMouse(QWidget* target, int type, const QPointF& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QMouseEvent event(static_cast<QEvent::Type>(type), pos, target->mapToGlobal(pos), button,
                    buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Drag(QWidget* target, const QPointF& from, const QPointF& to, int steps) {
  SendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (int i = 1; i <= steps; ++i) {
    const QPointF at = from + (to - from) * (static_cast<double>(i) / steps);
    SendMouse(target, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
  }
  SendMouse(target, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void Hover(QWidget* target, const QPointF& pos) {
  SendMouse(target, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
}

namespace {

// The named control that holds the focus widget (a spin box or an editable
// combo box gives focus to its inner line edit).
QString ControlName(QWidget* w, QWidget* window) {
  for (; w && w != window; w = w->parentWidget())
    if (!w->objectName().isEmpty() && w->parentWidget() == window) return w->objectName();
  return QStringLiteral("?");
}

}  // namespace

QStringList TabOrder(QWidget* window, QWidget* first, int maxSteps) {
  QStringList names;
  first->setFocus(Qt::TabFocusReason);
  QWidget* start = QApplication::focusWidget();
  if (!start) return names;
  const QString startName = ControlName(start, window);
  names << startName;
  for (int i = 0; i < maxSteps; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    const QString name = ControlName(QApplication::focusWidget(), window);
    if (name == startName) break;
    names << name;
  }
  return names;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
  f.write(bytes);
}

}  // namespace dbc::guitest
