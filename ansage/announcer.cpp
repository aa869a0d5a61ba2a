#include "announcer.h"

#include "console.h"
#include "gong.h"
#include "recordings.h"
#include "synthesizer.h"

#include <QLocale>
#include <QRegularExpression>
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
    if (!output_)
        output_ = makeOutput_();
    // The one before is given up with its parts not yet made, and what of it
    // plays is cut off now.
    abandon();
    output_->stop(QStringLiteral("eine neue Ansage kam"));
    Job job;
    job.number = number;
    job.text = text;
    job.parts = announcementParts(text, settings_.gong, settings_.extras, settings_.secondLanguages);
    job_ = std::move(job);
    step();
}

void Announcer::abandon()
{
    if (!job_)
        return;
    if (!job_->started && latest_.load() != Ending)
        say(stdout, QStringLiteral("Übersprungen (eine neuere Ansage kam): %1").arg(job_->text));
    job_.reset();
}

std::shared_ptr<const Speech> Announcer::recorded(const AnnouncementPart& part)
{
    if (!settings_.recordings)
        return {};
    const Recordings::Found found = settings_.recordings->find(part);
    if (!found.note.isEmpty())
        say(found.refused ? stderr : stdout, found.note);
    return found.speech;
}

void Announcer::step()
{
    if (!job_)
        return;
    Job& job = *job_;
    const quint64 number = job.number;
    const auto current = [this, number] { return latest_.load() == number; };
    if (!current() || job.progress->ended || job.next >= job.parts.size()) {
        abandon();
        return;
    }
    const AnnouncementPart& part = job.parts[job.next];
    const int rate = synthesizer_.sampleRate();
    if (const std::shared_ptr<const Speech> recording = recorded(part)) {
        hand(recording->samples.data(), recording->samples.size());
        ++job.next;
    } else if (part.kind == AnnouncementPart::Kind::Gong) {
        if (chime_.sampleRate != rate)
            chime_ = gong(rate);
        hand(chime_.samples.data(), chime_.samples.size());
        ++job.next;
    } else {
        // The parts the voice says one after the other in one language are
        // one synthesis, so that the sentence keeps its melody and pauses;
        // joined as the simulator's sentence has them.
        QString text = part.text;
        qsizetype end = job.next + 1;
        for (; end < job.parts.size(); ++end) {
            const AnnouncementPart& following = job.parts[end];
            if (following.kind == AnnouncementPart::Kind::Gong || following.language != part.language
                || recorded(following))
                break;
            const AnnouncementPart& before = job.parts[end - 1];
            const bool ended = text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?');
            text += before.kind == AnnouncementPart::Kind::Opening                          ? QStringLiteral(": ")
                    : before.kind != AnnouncementPart::Kind::Name && ended ? QStringLiteral(" ")
                                                                            : QStringLiteral(". ");
            text += following.text;
        }
        job.next = end;
        speak(part.language, text);
    }
    // The job may have been given up meanwhile (a report, a newer call).
    if (!job_ || !current() || job_->progress->ended) {
        abandon();
        return;
    }
    if (job_->next < job_->parts.size()) {
        // For this announcement only: a newer one has its own turns.
        QMetaObject::invokeMethod(
            this,
            [this, number] {
                if (job_ && job_->number == number)
                    step();
            },
            Qt::QueuedConnection);
        return;
    }
    if (job_->started)
        output_->append({}, AudioOutput::More::No);
    job_.reset();
}

void Announcer::speak(const QString& language, const QString& text)
{
    const quint64 number = job_->number;
    // Given up when a newer call came or the output ended it (a device
    // that failed).
    const auto current = [this, number] { return latest_.load() == number && job_ && !job_->progress->ended; };
    if (!synthesizer_.useLanguage(language)) {
        say(stderr, QStringLiteral("espeak-ng hat keine Stimme „%1“; nicht gesprochen: %2").arg(language, text));
        return;
    }
    // German through the pronunciation rules, which are German; another
    // language as written, but for "[[" and "]]", which would make
    // espeak-ng read outside text as its phonemes. The samples go out as
    // espeak-ng makes them.
    static const QRegularExpression brackets(QStringLiteral("(\\[|\\])\\1+"));
    const QString spoken = language == QStringLiteral("de") ? pronunciation_.spoken(text)
                                                            : QString(text).replace(brackets, QStringLiteral("\\1"));
    bool made = false;
    synthesizer_.synthesize(spoken, current, [&](const std::int16_t* samples, std::size_t count) {
        made = true;
        if (current())
            hand(samples, count);
    });
    if (!made && latest_.load() == number)
        say(stderr, QStringLiteral("espeak-ng konnte nicht sprechen: %1").arg(text));
}

void Announcer::hand(const std::int16_t* samples, std::size_t count)
{
    Job& job = *job_;
    std::vector<std::int16_t> scaled(samples, samples + count);
    if (settings_.volume != 100)
        for (std::int16_t& sample : scaled)
            sample = std::int16_t(sample * settings_.volume / 100);
    const int rate = synthesizer_.sampleRate();
    job.progress->seconds += double(count) / rate;
    if (!job.started) {
        job.started = true;
        output_->play({rate, std::move(scaled)}, reportFor(job), AudioOutput::More::Yes);
    } else {
        output_->append(scaled, AudioOutput::More::Yes);
    }
}

AudioOutput::Report Announcer::reportFor(const Job& job) const
{
    return [text = job.text, progress = job.progress](const AudioOutput::Outcome& outcome) {
        progress->ended = true;
        const double length = progress->seconds;
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
    };
}

void Announcer::finish()
{
    job_.reset();
    if (output_)
        output_->stop(QStringLiteral("das Programm endet"));
    output_.reset();
    QThread::currentThread()->quit();
}
