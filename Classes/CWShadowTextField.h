#pragma once

#include <QColor>
#include <QLabel>
#include <QPointF>

class QGraphicsDropShadowEffect;

// A shadow behind drawn text. The offset is in widget coordinates (y grows downwards).
struct CWShadow {
    QPointF offset;
    qreal blurRadius = 0;
    QColor color;

    bool operator==(const CWShadow &other) const = default;
};

// A text field whose text carries a one-point light shadow below it: an engraved look on light
// backgrounds. Every field starts with the same shared shadow; setShadow() changes one field only.
class CWShadowTextField : public QLabel {
    Q_OBJECT

public:
    explicit CWShadowTextField(QWidget *parent = nullptr);
    explicit CWShadowTextField(const QString &text, QWidget *parent = nullptr);

    // White at 0.8 opacity, one point down, not blurred.
    static const CWShadow &sharedShadow();

    const CWShadow &shadow() const { return _shadow; }
    void setShadow(const CWShadow &shadow);

private:
    void _performInit();

    CWShadow _shadow;
    QGraphicsDropShadowEffect *_effect = nullptr; // owned by the field once installed
};
