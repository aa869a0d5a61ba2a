#include "Pendralumovista2.h"
#include "stopfile.h"

#include <platform.h>

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

static_assert(stopfile::MaxStops == TForm2::MaxStops, "the reader must refuse what the list cannot hold");

// Loading a stop data set from menu page 1. The new file is read completely
// before anything is replaced: a file that cannot be read, or that holds more
// stops than the list can take, leaves the set loaded before untouched, so a
// mistyped name in the dialog never costs the operator the route in use.
// Only the stop list and the current stop change; the display, the sign, the
// route marker and the timers keep their state until the next stop call.
void TForm2::loadStopDataSet()
{
    if (!OpenDialog1.Execute())
        return;
    const tk::Text refusal = loadStopFile(OpenDialog1.FileName);
    if (!refusal.empty())
        tk::platform().errorBox(refusal);
}

tk::Text TForm2::loadStopFile(const QString& path, LoadFailure* failure)
{
    stopfile::Result file = stopfile::read(path);
    if (failure) {
        using Status = stopfile::Result::Status;
        const int error = file.errorNumber;
        *failure = file.ok()                                            ? LoadFailure::None
                   : file.status != Status::Failed                      ? LoadFailure::NotAStopFile
                   : error == ENOENT || error == ENOTDIR                ? LoadFailure::NotFound
                   : error == EISDIR || QFileInfo(path).isDir()         ? LoadFailure::Folder
                                                                        : LoadFailure::NotReadable;
        if (file.status == Status::OutOfMemory)
            *failure = LoadFailure::NotReadable;
    }
    if (!file.ok())
        return stopfile::withFullStop(stopfile::failureMessage(file));

    // From here on nothing allocates: the names are moved into the list.
    // Every entry from StopCount on must be empty: the following-stop line
    // and the forward terminus test read the entry after the last stop.
    for (tk::Text& name : Stops)
        name.clear();
    // The reader refuses longer files; the bound only guards the list.
    const size_t count = std::min(file.names.size(), size_t(MaxStops));
    for (size_t i = 0; i < count; ++i)
        Stops[i] = std::move(file.names[i]);
    StopCount = std::uint8_t(count);
    CurrentStop = 0;
    StopsLoaded = true;
    return {};
}
