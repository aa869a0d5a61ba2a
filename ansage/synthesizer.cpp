#include "synthesizer.h"

#include <QStringList>

#include <espeak-ng/speak_lib.h>

namespace {
bool loaded = false;
// UTF-8, with espeak-ng's phonemes between "[[" and "]]": the pronunciation
// rules write a name so where no spelling makes espeak-ng say it rightly.
constexpr unsigned int inputFlags = espeakCHARS_UTF8 | espeakPHONEMES;
// Where the callback puts the samples of the synthesis under way. espeak-ng
// calls it from inside espeak_Synth on this thread (synchronous mode).
std::vector<std::int16_t>* collecting = nullptr;
const std::function<bool()>* goingOn = nullptr;
const Synthesizer::Piece* handing = nullptr;

int collect(short* samples, int count, espeak_EVENT*)
{
    if (samples && count > 0 && handing && *handing)
        (*handing)(samples, std::size_t(count));
    else if (samples && count > 0 && collecting)
        collecting->insert(collecting->end(), samples, samples + count);
    return goingOn && *goingOn && !(*goingOn)() ? 1 : 0; // 1: stop
}
} // namespace

std::unique_ptr<Synthesizer> Synthesizer::create(const QString& voice, int wordsPerMinute, QString* error)
{
    Q_ASSERT(!loaded);
    // DONT_EXIT: without it espeak-ng ends the whole process when its data
    // is missing.
    const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0) {
        *error = QStringLiteral("Die Sprachdaten von espeak-ng fehlen (Paket espeak-ng-data).");
        return nullptr;
    }
    loaded = true;
    std::unique_ptr<Synthesizer> synthesizer(new Synthesizer(rate, voice, wordsPerMinute));
    espeak_SetSynthCallback(collect);
    if (espeak_SetVoiceByName(voice.toUtf8().constData()) != EE_OK) {
        *error = QStringLiteral("espeak-ng kennt die Stimme „%1“ nicht (Liste: pendralumovista-ansage --list-voices).").arg(voice);
        return nullptr;
    }
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    // espeak-ng keeps the last synthesis's input mode for its phonemes():
    // an empty one sets it as every later synthesis has it.
    espeak_Synth("", 1, 0, POS_CHARACTER, 0, inputFlags, nullptr, nullptr);
    return synthesizer;
}

Synthesizer::~Synthesizer()
{
    espeak_Terminate();
    loaded = false;
}

bool Synthesizer::useLanguage(const QString& language)
{
    if (language == language_)
        return true;
    // espeak-ng keeps one voice for the whole process: the user's German one
    // is selected again by its name after a part in another language.
    const QString voice = language == QStringLiteral("de") ? voice_ : language;
    if (espeak_SetVoiceByName(voice.toUtf8().constData()) != EE_OK)
        return false;
    espeak_SetParameter(espeakRATE, wordsPerMinute_, 0);
    language_ = language;
    return true;
}

Speech Synthesizer::synthesize(const QString& text, const std::function<bool()>& goOn, const Piece& piece)
{
    Speech speech;
    speech.sampleRate = sampleRate_;
    const QByteArray utf8 = text.toUtf8();
    collecting = &speech.samples;
    goingOn = &goOn;
    handing = &piece;
    const espeak_ERROR result = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                                             inputFlags, nullptr, nullptr);
    collecting = nullptr;
    goingOn = nullptr;
    handing = nullptr;
    if (result != EE_OK || (goOn && !goOn()))
        speech.samples.clear();
    return speech;
}

QString Synthesizer::phonemes(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const void* rest = utf8.constData();
    QStringList clauses;
    constexpr int ipa = 0x02;
    while (rest)
        clauses << QString::fromUtf8(espeak_TextToPhonemes(&rest, espeakCHARS_UTF8, ipa));
    return clauses.join(QLatin1Char(' '));
}

QStringList Synthesizer::voices()
{
    QStringList lines;
    if (!loaded && espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) <= 0)
        return lines;
    for (const espeak_VOICE** voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
        // The languages (what --voice takes): a priority byte, then the name, each ending in a
        // zero byte; the first is the voice's own.
        const char* language = (*voice)->languages ? (*voice)->languages + 1 : "";
        lines << QStringLiteral("%1  %2").arg(QString::fromUtf8(language), -12).arg(QString::fromUtf8((*voice)->name));
    }
    if (!loaded)
        espeak_Terminate();
    return lines;
}
