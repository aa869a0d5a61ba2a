#include "Pendralumovista2.h"

#include <platform.h>

// A longer number is kept whole; an empty one leaves the field blank.
tk::Text TForm2::lineDestinationText(const tk::Text& lineNumber, const tk::Text& destination)
{
    const size_t field = 3;
    const size_t padding = lineNumber.size() < field ? field - lineNumber.size() : 0;
    return tk::Text(padding, ' ') + lineNumber + ' ' + destination;
}

void TForm2::enterLineDestination()
{
    // The sign stays dark while the boxes are open: the driver is replacing
    // the route it would show. A fall-back that falls due meanwhile waits for
    // the entry's end, which writes the new line and destination anyway.
    // Whoever watches the state hears of the dark sign now, not when the
    // boxes close.
    clearSign();
    lineDestinationEntryOpen_ = true;
    emit stateChanged();
    tk::Text lineNumber = tk::platform().inputBox(tk::fromUtf8("Liniennummer"),
                                                  tk::fromUtf8("Liniennummer eingeben:"), tk::fromUtf8("1"));
    tk::Text destination = tk::platform().inputBox(tk::fromUtf8("Richtung/Ziel"),
                                                   tk::fromUtf8("Richtung/Ziel eingeben:"), {});
    lineDestinationEntryOpen_ = false;
    setLineDestination(std::move(lineNumber), std::move(destination));
}

void TForm2::setLineDestination(tk::Text lineNumber, tk::Text destination)
{
    LineNumber = std::move(lineNumber);
    Destination = std::move(destination);
    LineDestinationText = lineDestinationText(LineNumber, Destination);

    // Clear once more: the writer only lights dots, and whatever a caller
    // without the boxes left on the sign must not show through.
    clearSign();
    writeSign(LineDestinationText);
    say(LineDestinationText);
    // Shown with the route strip when the operator returns to the standard
    // view; the menu page stays as it is.
    Label8->setCaption(LineNumber + "/01");
}
