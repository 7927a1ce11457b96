#pragma once

#include <QWidget>

// The background of a CWStatusWindow: a dark rounded rectangle with a faint radial colour cast
// and a grain texture multiplied over it. Nothing is drawn outside the rounded outline. Subviews
// keep their frames when it is resized (give it no layout).
class CWStatusView : public QWidget {
    Q_OBJECT

public:
    explicit CWStatusView(QWidget *parent = nullptr);

    // Centre of the colour cast in y-up coordinates: the middle of the bottom edge, or below the
    // view when it is less than half as high as it is wide.
    static QPointF castCentre(const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) override;
};
