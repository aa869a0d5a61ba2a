#include "wavwriter.h"

#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
void append32(QByteArray& bytes, quint32 value)
{
    char le[4];
    qToLittleEndian(value, le);
    bytes.append(le, 4);
}

void append16(QByteArray& bytes, quint16 value)
{
    char le[2];
    qToLittleEndian(value, le);
    bytes.append(le, 2);
}

QByteArray wav(const Speech& speech)
{
    const quint32 dataBytes = quint32(speech.samples.size() * 2);
    QByteArray bytes;
    bytes.reserve(int(44 + dataBytes));
    bytes.append("RIFF");
    append32(bytes, 36 + dataBytes);
    bytes.append("WAVEfmt ");
    append32(bytes, 16);           // size of the format chunk
    append16(bytes, 1);            // PCM
    append16(bytes, 1);            // mono
    append32(bytes, quint32(speech.sampleRate));
    append32(bytes, quint32(speech.sampleRate) * 2); // bytes per second
    append16(bytes, 2);            // bytes per frame
    append16(bytes, 16);           // bits per sample
    bytes.append("data");
    append32(bytes, dataBytes);
    for (const std::int16_t sample : speech.samples)
        append16(bytes, quint16(sample));
    return bytes;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Writes all the bytes into a new file of that name, or nothing: a short
// write (a full disk, a size limit) takes the file away again. Empty on
// success, else why not.
QString writeWhole(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return systemError();
    errno = 0;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    QString error;
    if (done < bytes.size())
        error = QStringLiteral("nur %1 von %2 Bytes geschrieben (%3)")
                    .arg(done)
                    .arg(bytes.size())
                    .arg(errno ? systemError() : QStringLiteral("Datenträger voll"));
    else if (::fsync(fd) != 0)
        error = systemError();
    if (::close(fd) != 0 && error.isEmpty())
        error = systemError();
    if (!error.isEmpty())
        ::unlink(path.constData());
    return error;
}
} // namespace

WavWriter::WavWriter(const QString& folder) : folder_(QDir(folder).absolutePath())
{
    static const QRegularExpression numbered(QStringLiteral("^ansage-(\\d{4,9})\\.wav$"));
    for (const QString& name : folder_.entryList({QStringLiteral("ansage-*.wav")}, QDir::Files | QDir::System))
        if (const QRegularExpressionMatch m = numbered.match(name); m.hasMatch())
            number_ = std::max(number_, m.captured(1).toInt());
}

QString WavWriter::checkFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return QStringLiteral("Der Ordner „%1“ lässt sich nicht anlegen.").arg(folder);
    const QByteArray probe = QDir(folder).filePath(QStringLiteral(".ansage-probe-%1").arg(::getpid())).toLocal8Bit();
    const QString error = writeWhole(probe, "RIFF");
    ::unlink(probe.constData());
    if (!error.isEmpty())
        return QStringLiteral("In den Ordner „%1“ lässt sich nicht schreiben (%2).").arg(folder, error);
    return {};
}

void WavWriter::play(const Speech& speech, Report report, More more)
{
    stop(QStringLiteral("eine neue Ansage kam"));
    if (more == More::No) {
        write(speech, report);
        return;
    }
    gathering_ = speech;
    report_ = std::move(report);
}

void WavWriter::append(const std::vector<std::int16_t>& samples, More more)
{
    if (!report_)
        return;
    gathering_.samples.insert(gathering_.samples.end(), samples.begin(), samples.end());
    if (more == More::No) {
        const Report report = std::exchange(report_, {});
        write(std::exchange(gathering_, {}), report);
    }
}

void WavWriter::stop(const QString& why)
{
    if (!report_)
        return;
    const Report report = std::exchange(report_, {});
    gathering_ = {};
    report({Outcome::CutOff, 0, why});
}

void WavWriter::write(const Speech& speech, const Report& report)
{
    const QByteArray bytes = wav(speech);
    // Written under a temporary name, then linked to its number: the link
    // fails rather than replace a file that is there, even one that came
    // after we looked, so no announcement ever overwrites another, and
    // whoever watches the folder never sees half a file.
    const QByteArray temporary =
        folder_.filePath(QStringLiteral(".ansage-%1-%2.tmp").arg(::getpid()).arg(number_ + 1)).toLocal8Bit();
    const QString error = writeWhole(temporary, bytes);
    if (!error.isEmpty()) {
        report({Outcome::Failed, 0,
                QStringLiteral("WAV-Datei in %1 nicht geschrieben: %2.").arg(folder_.path(), error)});
        return;
    }
    QString path;
    int linked = -1;
    do {
        path = folder_.filePath(QStringLiteral("ansage-%1.wav").arg(++number_, 4, 10, QLatin1Char('0')));
        linked = ::link(temporary.constData(), path.toLocal8Bit().constData());
    } while (linked != 0 && errno == EEXIST);
    const QString linkError = linked != 0 ? systemError() : QString();
    ::unlink(temporary.constData());
    if (linked != 0)
        report({Outcome::Failed, 0, QStringLiteral("WAV-Datei %1 nicht angelegt: %2.").arg(path, linkError)});
    else
        report({Outcome::Done, speech.seconds(), path});
}
