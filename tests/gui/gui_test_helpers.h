#pragma once
// Helpers of the window tests: mouse input sent straight to a widget (the
// offscreen platform has no pointer to move), and the focus order of a
// window as the Tab key walks it.
#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <Qt>

class QWidget;

namespace dbc::guitest {

void SendMouse(QWidget* target, int type, const QPointF& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons);
// Press at `from`, move in `steps` steps to `to`, release there.
void Drag(QWidget* target, const QPointF& from, const QPointF& to, int steps = 5);
// A pointer move without buttons (hovering).
void Hover(QWidget* target, const QPointF& pos);

// The object names of the controls that Tab visits, starting at `first`,
// until focus comes back to it; a control's inner editor counts as the
// control.
QStringList TabOrder(QWidget* window, QWidget* first, int maxSteps = 20);

// Whole-file reads and writes for fixtures; a failure ends the test program.
QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

}  // namespace dbc::guitest
