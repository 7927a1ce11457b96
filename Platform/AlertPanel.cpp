#include "AlertPanel.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace AlertPanel {
namespace {
Responder &currentResponder()
{
    static Responder responder;
    return responder;
}

Response runMessageBox(const Alert &alert)
{
    QMessageBox box(QMessageBox::NoIcon, alert.title, alert.title, QMessageBox::NoButton, QApplication::activeWindow());
    box.setInformativeText(alert.message);
    QPushButton *defaultButton = box.addButton(alert.defaultButton, QMessageBox::AcceptRole);
    QPushButton *alternateButton =
        alert.alternateButton.isEmpty() ? nullptr : box.addButton(alert.alternateButton, QMessageBox::RejectRole);
    QPushButton *otherButton =
        alert.otherButton.isEmpty() ? nullptr : box.addButton(alert.otherButton, QMessageBox::ActionRole);
    box.setDefaultButton(defaultButton);
    // Closing the panel answers with the least committal button: the third one where there is one
    // ("Decide Later"), else the default one ("Cancel", "Quit"), never the alternate ("Delete").
    box.setEscapeButton(otherButton ? otherButton : defaultButton);
    box.exec();
    if (box.clickedButton() == alternateButton && alternateButton)
        return Response::Alternate;
    if (box.clickedButton() == otherButton && otherButton)
        return Response::Other;
    return Response::Default;
}
} // namespace

Response run(const Alert &alert)
{
    if (const Responder &responder = currentResponder())
        return responder(alert);
    return runMessageBox(alert);
}

void runWhenNoneOpen(const Alert &alert, std::function<void(Response)> then)
{
    constexpr int kRetryInterval = 250; // ms
    if (!currentResponder() && QApplication::activeModalWidget()) {
        QTimer::singleShot(kRetryInterval,
                           [alert, then = std::move(then)]() mutable { runWhenNoneOpen(alert, std::move(then)); });
        return;
    }
    then(run(alert));
}

Responder setResponder(Responder responder)
{
    Responder previous = std::move(currentResponder());
    currentResponder() = std::move(responder);
    return previous;
}

} // namespace AlertPanel
