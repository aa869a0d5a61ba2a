#include "stopfile.h"

#include <QFile>

#include <cerrno>
#include <new>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stopfile {

bool LineSplitter::feed(std::string_view bytes)
{
    for (const char byte : bytes) {
        if (ended_ || tooMany_)
            return false;
        if (pendingCR_) {
            pendingCR_ = false;
            if (byte == '\n') {
                endLine();
                continue;
            }
            // A lone CR is dropped; the byte after it continues the line.
        }
        if (atLineStart_) {
            if (byte == EndOfData) {
                ended_ = true;
                return false;
            }
            // A line begins, so it will be a stop: with MaxStops already
            // read, the file is too long, however the line turns out.
            if (names_.size() >= size_t(MaxStops)) {
                tooMany_ = true;
                return false;
            }
            atLineStart_ = false;
        }
        if (byte == '\r')
            pendingCR_ = true;
        else if (byte == '\n')
            endLine();
        else
            line_.push_back(byte);
    }
    return !ended_ && !tooMany_;
}

void LineSplitter::finish()
{
    if (ended_ || tooMany_)
        return;
    pendingCR_ = false;
    if (!atLineStart_)
        endLine();
}

void LineSplitter::endLine()
{
    names_.push_back(std::move(line_));
    line_.clear();
    atLineStart_ = true;
}

namespace {

Result failed(int errorNumber)
{
    Result result;
    result.status = Result::Status::Failed;
    // A failure without an error number still has to say something.
    result.errorNumber = errorNumber != 0 ? errorNumber : EIO;
    return result;
}

Result tooLarge(std::uint64_t limit)
{
    Result result;
    result.status = Result::Status::TooLarge;
    result.sizeLimit = limit;
    return result;
}

Result readFile(const QString& path, std::uint64_t maxBytes)
{
    // An empty name, or one the file system cannot even spell (a NUL inside
    // would silently cut it short), is no file name at all.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return failed(EINVAL);

    // Opened here rather than by QFile so that the platform's error number
    // of the failure is at hand for the message.
    const QByteArray nativePath = QFile::encodeName(path);
    // Non-blocking, so that a named pipe without a writer cannot hang the
    // program in the open call; such a thing is refused just below.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return failed(errno);
    // Only a regular file is a stop data set. A folder, a device or a pipe is
    // refused as access denied: /dev/zero, say, would otherwise be read as one
    // endless line until memory runs out.
    struct stat status {};
    const int statError = ::fstat(fd, &status) != 0 ? errno : 0;
    if (statError != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return failed(statError != 0 ? statError : EACCES);
    }
    // Refused from its size alone: nothing of a huge file is read.
    if (std::uint64_t(status.st_size) > maxBytes) {
        ::close(fd);
        return tooLarge(maxBytes);
    }

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }

    LineSplitter splitter;
    char buffer[65536];
    // The size measured above may not hold: a file can grow while it is
    // read, and some regular files report no size at all.
    std::uint64_t total = 0;
    for (;;) {
        errno = 0;
        const qint64 count = file.read(buffer, qint64(sizeof buffer));
        if (count < 0)
            return failed(errno);
        total += std::uint64_t(count);
        if (total > maxBytes)
            return tooLarge(maxBytes);
        if (count == 0) {
            splitter.finish();
            break;
        }
        if (!splitter.feed(std::string_view(buffer, size_t(count))))
            break;
    }

    Result result;
    if (splitter.tooManyLines()) {
        result.status = Result::Status::TooManyStops;
        return result;
    }
    result.status = Result::Status::Read;
    result.names = splitter.takeNames();
    return result;
}

} // namespace

Result read(const QString& path, std::uint64_t maxBytes)
{
    try {
        return readFile(path, maxBytes);
    } catch (const std::bad_alloc&) {
        Result result;
        result.status = Result::Status::OutOfMemory;
        return result;
    }
}

tk::Text failureMessage(const Result& result)
{
    if (result.status == Result::Status::TooManyStops)
        return "Der Haltestellensatz hat mehr als " + std::to_string(MaxStops)
               + " Haltestellen und kann nicht geladen werden.";
    if (result.status == Result::Status::TooLarge) {
        const std::uint64_t mib = std::uint64_t(1) << 20;
        const tk::Text limit = result.sizeLimit % mib == 0 ? std::to_string(result.sizeLimit / mib) + " MB"
                                                           : std::to_string(result.sizeLimit) + " Bytes";
        return tk::fromUtf8("Die Datei ist größer als " + limit
                            + " und damit kein Haltestellensatz. Sie wird nicht geladen.");
    }
    if (result.status == Result::Status::OutOfMemory)
        return tk::fromUtf8("Für diesen Haltestellensatz reicht der Arbeitsspeicher nicht. Er wird nicht geladen.");

    switch (result.errorNumber) {
    case ENOENT:
    case ENOTDIR:
        return "File not found";
    case ENAMETOOLONG:
    case EINVAL:
        return "Invalid filename";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
        return "File access denied";
    default:
        return "I/O error " + std::to_string(result.errorNumber);
    }
}

tk::Text withFullStop(tk::Text message)
{
    if (message.empty() || message.back() != '.')
        message.push_back('.');
    return message;
}

} // namespace stopfile
