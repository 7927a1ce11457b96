#include "CWStatusWindow.h"

#include <QMouseEvent>
#include <QWindow>

CWStatusWindow::CWStatusWindow(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    _setup();
}

void CWStatusWindow::_setup()
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

// Presses that no child takes arrive here: they move the window, through the window manager where
// it can (also on Wayland, where a client cannot place its own window) and by hand otherwise.
void CWStatusWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWindow *window = windowHandle();
    _dragging = !(window && window->startSystemMove());
    _dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CWStatusWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - _dragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void CWStatusWindow::mouseReleaseEvent(QMouseEvent *event)
{
    _dragging = false;
    QWidget::mouseReleaseEvent(event);
}
