#include "CWShadowTextField.h"

#include <QGraphicsDropShadowEffect>

CWShadowTextField::CWShadowTextField(QWidget *parent)
    : QLabel(parent)
{
    _performInit();
}

CWShadowTextField::CWShadowTextField(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    _performInit();
}

const CWShadow &CWShadowTextField::sharedShadow()
{
    static const CWShadow shadow{QPointF(0, 1), 0.0, QColor::fromRgbF(1, 1, 1, 0.8f)};
    return shadow;
}

void CWShadowTextField::_performInit()
{
    _effect = new QGraphicsDropShadowEffect(this);
    setGraphicsEffect(_effect);
    setShadow(sharedShadow());
}

void CWShadowTextField::setShadow(const CWShadow &shadow)
{
    _shadow = shadow;
    _effect->setOffset(shadow.offset);
    _effect->setBlurRadius(shadow.blurRadius);
    _effect->setColor(shadow.color);
}
