#include "Pendralumovista2.h"

#include <platform.h>

namespace {

// The line number right-aligned in three characters, a blank, the
// destination. A longer number is kept whole; an empty one leaves the field
// blank.
tk::Text composeLineDestination(const tk::Text& lineNumber, const tk::Text& destination)
{
    const size_t field = 3;
    const size_t padding = lineNumber.size() < field ? field - lineNumber.size() : 0;
    return tk::Text(padding, ' ') + lineNumber + ' ' + destination;
}

} // namespace

void TForm2::enterLineDestination()
{
    // The sign stays dark while the boxes are open; whoever watches the
    // state hears of it now, not when the boxes close.
    clearSign();
    stateChanged();
    tk::Text lineNumber = tk::platform().inputBox(tk::fromUtf8("Liniennummer"),
                                                  tk::fromUtf8("Liniennummer eingeben:"), tk::fromUtf8("1"));
    tk::Text destination = tk::platform().inputBox(tk::fromUtf8("Richtung/Ziel"),
                                                   tk::fromUtf8("Richtung/Ziel eingeben:"), {});
    setLineDestination(std::move(lineNumber), std::move(destination));
}

void TForm2::setLineDestination(tk::Text lineNumber, tk::Text destination)
{
    LineNumber = std::move(lineNumber);
    Destination = std::move(destination);
    LineDestinationText = composeLineDestination(LineNumber, Destination);

    // Timers keep running while the boxes are modal: the fall-back may have
    // lit the previous text meanwhile. The writer only lights dots, so clear
    // once more and let the new text stand alone.
    clearSign();
    writeSign(LineDestinationText);
    // Shown with the route strip when the operator returns to the standard
    // view; the menu page stays as it is.
    Label8->setCaption(LineNumber + "/01");
}
