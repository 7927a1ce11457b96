#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

// Base of every page controller: creates its view from its interface file on first access and is
// told when its page goes on screen (activate) and off screen (deactivate).
class CWHolderVC : public QObject {
    Q_OBJECT
public:
    // Builds the interface file's widgets into the new, empty view.
    using ViewSetup = std::function<void(QWidget *view)>;

    CWHolderVC(const QString &nibName, ViewSetup setupView, QObject *parent = nullptr);
    ~CWHolderVC() override;

    QString nibName() const { return _nibName; }
    // Loads the view on first access; the page's awakeFromNib() has run when this returns.
    QWidget *view();
    bool isViewLoaded() const { return _view != nullptr; }

    virtual void activate();
    virtual void deactivate();

protected:
    virtual void awakeFromNib() {}

private:
    QString _nibName;
    ViewSetup _setupView;
    QPointer<QWidget> _view;
};

// A page whose view is built by the form that uic generated from its interface file (Ui::CWxxxVC).
// The page's own setup after loading goes in awakeFromNib().
template <typename Form>
class CWFormVC : public CWHolderVC {
protected:
    explicit CWFormVC(const QString &nibName, QObject *parent = nullptr)
        : CWHolderVC(
            nibName, [this](QWidget *view) { _ui->setupUi(view); }, parent)
    {
    }

    // The form's widgets: the interface file's outlets.
    const std::unique_ptr<Form> _ui = std::make_unique<Form>();
};
