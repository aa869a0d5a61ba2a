#pragma once
// For targets that read their input through a file, as the program does: one
// file in a folder of its own under $TMPDIR (or /tmp), made once when the
// run starts and removed at its normal end; a run stopped by a finding
// leaves it behind. A machine without a writable temporary folder still
// fuzzes what needs no file.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdlib>
#include <string>
#include <string_view>
#include <fcntl.h>
#include <unistd.h>

namespace scratchfile {

// The file's path, empty when no folder could be made.
inline QString path;

inline void remove()
{
    if (path.isEmpty())
        return;
    const QByteArray encoded = QFile::encodeName(path);
    ::unlink(encoded.constData());
    ::rmdir(encoded.left(encoded.lastIndexOf('/')).constData());
}

// In LLVMFuzzerInitialize: the folder "<target>.XXXXXX" and the file's name in it.
inline void make(const char* target, const char* fileName)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + target + ".XXXXXX";
    if (::mkdtemp(pattern.data())) {
        path = QFile::decodeName(QByteArray::fromStdString(pattern + "/" + fileName));
        std::atexit(remove);
    }
}

// The file with exactly these bytes; false when there is none or writing failed.
inline bool write(std::string_view bytes)
{
    if (path.isEmpty())
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        written += size_t(n);
    }
    return ::close(fd) == 0;
}

} // namespace scratchfile
