#pragma once

#include <QPoint>
#include <QWidget>

// A window with a transparent background, meant to carry a CWStatusView: the corners outside the
// view's rounded outline stay see-through, and a press anywhere on the background drags the
// window. Whether it has the standard frame is left to whoever creates it.
class CWStatusWindow : public QWidget {
    Q_OBJECT

public:
    explicit CWStatusWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::Window);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void _setup();

    // Set while the window is dragged by hand (on platforms that cannot move it themselves): where
    // the background was grabbed, relative to the window's top-left corner.
    QPoint _dragOffset;
    bool _dragging = false;
};
