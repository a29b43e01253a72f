#pragma once
// A left click delivered to the widget itself. QTest's mouse helpers route
// through the top-level window, which does not reach a chart control inside
// an MDI child on the offscreen platform.
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace vantix::test {

inline void Click(QWidget* w, QPointF pos)
{
    const QPointF global = w->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

} // namespace vantix::test
