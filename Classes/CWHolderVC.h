#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

// Base of every page controller: creates its view from its interface file on first access and is
// told when its page goes on screen (activate) and off screen (deactivate).
class CWHolderVC : public QObject {
    Q_OBJECT
public:
    explicit CWHolderVC(const QString &nibName, QObject *parent = nullptr);
    ~CWHolderVC() override;

    QString nibName() const { return _nibName; }
    // Loads the view on first access; the page's awakeFromNib() has run when this returns.
    QWidget *view();
    bool isViewLoaded() const { return _view != nullptr; }

    virtual void activate();
    virtual void deactivate();

protected:
    // Builds the interface file's widgets into the new, empty view.
    virtual void setupView(QWidget *view) = 0;
    virtual void awakeFromNib() {}

private:
    QString _nibName;
    QPointer<QWidget> _view;
};
