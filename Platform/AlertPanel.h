#pragma once

#include <QString>
#include <functional>

// Modal alert panels with up to three buttons, behind a seam that tests answer instead of a person.
namespace AlertPanel {

enum class Response { Default, Alternate, Other };

struct Alert {
    QString title;
    QString message;
    QString defaultButton;
    QString alternateButton; // empty: no such button
    QString otherButton;     // empty: no such button
};

// Shows the alert modally (blocking the caller until it is answered) and says which button was chosen.
Response run(const Alert &alert);

// For alerts nobody waits for (a reply from the network): shows the alert once no other modal
// panel is open, so that it never lands on top of a question the user is answering, then hands
// the answer on.
void runWhenNoneOpen(const Alert &alert, std::function<void(Response)> then);

using Responder = std::function<Response(const Alert &)>;
// Replaces the panel by a responder; an empty one restores the panel. Returns the previous responder.
Responder setResponder(Responder responder);

} // namespace AlertPanel
