#include "announcer.h"

#include "console.h"
#include "gong.h"
#include "synthesizer.h"

#include <QLocale>
#include <QThread>

namespace {
QString seconds(double value)
{
    return QLocale(QLocale::German).toString(value, 'f', 1);
}
} // namespace

Announcer::Announcer(Synthesizer& synthesizer, const Pronunciation& pronunciation, OutputMaker makeOutput,
                     Settings settings, const std::atomic<quint64>& latest)
    : synthesizer_(synthesizer), pronunciation_(pronunciation), makeOutput_(std::move(makeOutput)),
      settings_(settings), latest_(latest)
{
}

Announcer::~Announcer() = default;

void Announcer::announce(quint64 number, const QString& text)
{
    const auto current = [this, number] { return latest_.load() == number; };
    if (!output_)
        output_ = makeOutput_();
    // Synthesis keeps this thread busy, so what plays would starve meanwhile:
    // the new announcement cuts it off now.
    output_->stop(QStringLiteral("eine neue Ansage kam"));
    Speech speech = current() ? synthesizer_.synthesize(pronunciation_.spoken(text), current) : Speech{};
    if (!current()) {
        if (latest_.load() != Ending)
            say(stdout, QStringLiteral("Übersprungen (eine neuere Ansage kam): %1").arg(text));
        return;
    }
    if (speech.samples.empty()) {
        say(stderr, QStringLiteral("espeak-ng konnte nicht sprechen: %1").arg(text));
        return;
    }
    if (settings_.gong) {
        if (chime_.sampleRate != speech.sampleRate)
            chime_ = gong(speech.sampleRate);
        Speech chime = chime_;
        chime.samples.insert(chime.samples.end(), speech.samples.begin(), speech.samples.end());
        speech = std::move(chime);
    }
    if (settings_.volume != 100)
        for (std::int16_t& sample : speech.samples)
            sample = std::int16_t(sample * settings_.volume / 100);

    const double length = speech.seconds();
    output_->play(speech, [text, length](const AudioOutput::Outcome& outcome) {
        switch (outcome.kind) {
        case AudioOutput::Outcome::Done:
            if (outcome.detail.isEmpty())
                say(stdout, QStringLiteral("Ansage (%1 s): %2").arg(seconds(length), text));
            else
                say(stdout, QStringLiteral("Ansage (%1 s, %2): %3").arg(seconds(length), outcome.detail, text));
            break;
        case AudioOutput::Outcome::CutOff:
            say(stdout, QStringLiteral("Abgebrochen nach %1 von %2 s (%3): %4")
                            .arg(seconds(outcome.playedSeconds), seconds(length), outcome.detail, text));
            break;
        case AudioOutput::Outcome::Failed:
            if (outcome.playedSeconds <= 0)
                say(stderr, QStringLiteral("%1 Nicht gesprochen: %2").arg(outcome.detail, text));
            else
                say(stderr, QStringLiteral("%1 Nur %2 von %3 s gespielt, der Rest fehlt: %4")
                                .arg(outcome.detail, seconds(outcome.playedSeconds), seconds(length), text));
            break;
        }
    });
}

void Announcer::finish()
{
    if (output_)
        output_->stop(QStringLiteral("das Programm endet"));
    output_.reset();
    QThread::currentThread()->quit();
}
