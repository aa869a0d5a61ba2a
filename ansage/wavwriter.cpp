#include "wavwriter.h"

#include <QSaveFile>
#include <QtEndian>

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
} // namespace

AudioOutput::Result WavWriter::play(const Speech& speech)
{
    // Numbered on from the last file of this run, past any file already
    // there: an earlier run's announcements are never overwritten.
    QString path;
    do
        path = folder_.filePath(QStringLiteral("ansage-%1.wav").arg(++number_, 4, 10, QLatin1Char('0')));
    while (QFile::exists(path));

    // Written under a temporary name and renamed when complete, so that
    // whoever watches the folder never sees half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(wav(speech)) < 0 || !file.commit())
        return {false, QStringLiteral("WAV-Datei %1 nicht geschrieben: %2").arg(path, file.errorString())};
    return {true, path};
}
