#include "recordings.h"

#include <QFile>
#include <QRegularExpression>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Rates and channels beyond any real recording are not audio worth
// decoding; they bound what a hostile header can make us allocate.
constexpr int lowestRate = 1000;
constexpr int highestRate = 192000;
constexpr int mostChannels = 16;

// libsndfile reads from memory through these: the file was read whole and
// bounded before, and the fuzzer hands its bytes the same way.
struct Memory {
    const char* data;
    sf_count_t size;
    sf_count_t at = 0;
};

sf_count_t memoryLength(void* user)
{
    return static_cast<Memory*>(user)->size;
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    Memory& memory = *static_cast<Memory*>(user);
    sf_count_t to = offset;
    if (whence == SEEK_CUR)
        to += memory.at;
    else if (whence == SEEK_END)
        to += memory.size;
    if (to < 0 || to > memory.size)
        return -1;
    memory.at = to;
    return to;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user)
{
    Memory& memory = *static_cast<Memory*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(memory.size - memory.at, 0, std::max<sf_count_t>(count, 0));
    std::memcpy(destination, memory.data + memory.at, std::size_t(n));
    memory.at += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t memoryTell(void* user)
{
    return static_cast<Memory*>(user)->at;
}

// To the synthesiser's rate with libsamplerate: a packaged resampler with
// a proper band limit, rather than code of ours that would alias. Its
// fastest sinc converter (flat to 80 % of the band, 97 dB) is ample for
// speech at 22 kHz and a third of the medium one's time, which counts for
// a recording decoded between two parts of an announcement.
std::vector<float> resampled(const std::vector<float>& samples, int from, int to, QString* why)
{
    if (from == to || samples.empty())
        return samples;
    const double ratio = double(to) / from;
    std::vector<float> out(std::size_t(std::ceil(double(samples.size()) * ratio)) + 64);
    SRC_DATA data{};
    data.data_in = samples.data();
    data.input_frames = long(samples.size());
    data.data_out = out.data();
    data.output_frames = long(out.size());
    data.src_ratio = ratio;
    if (const int error = src_simple(&data, SRC_SINC_FASTEST, 1); error != 0) {
        *why = QStringLiteral("lässt sich nicht umrechnen (%1)").arg(QString::fromUtf8(src_strerror(error)));
        return {};
    }
    out.resize(std::size_t(data.output_frames_gen));
    return out;
}
} // namespace

std::vector<float> decodeRecording(const QByteArray& bytes, int sampleRate, QString* why)
{
    Memory memory{bytes.constData(), bytes.size()};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (!file) {
        *why = QStringLiteral("keine Audiodatei, die libsndfile liest (%1)").arg(QString::fromUtf8(sf_strerror(nullptr)));
        return {};
    }
    const auto closing = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>(file, sf_close);
    if (info.channels < 1 || info.channels > mostChannels || info.samplerate < lowestRate
        || info.samplerate > highestRate) {
        *why = QStringLiteral("%1 Kanäle mit %2 Hz sind keine Aufnahme").arg(info.channels).arg(info.samplerate);
        return {};
    }
    const sf_count_t longest = sf_count_t(Recordings::longestSeconds * info.samplerate);
    const QString tooLong = QStringLiteral("länger als %1 s").arg(Recordings::longestSeconds);
    // The header's length where it has one; the decoding below holds to the
    // bound whatever the header says.
    if (info.frames > longest && info.frames != SF_COUNT_MAX) {
        *why = tooLong;
        return {};
    }
    std::vector<float> mono;
    std::vector<float> block(std::size_t(4096 * info.channels));
    for (;;) {
        const sf_count_t frames = sf_readf_float(file, block.data(), 4096);
        if (frames <= 0)
            break;
        for (sf_count_t frame = 0; frame < frames; ++frame) {
            float sum = 0;
            for (int channel = 0; channel < info.channels; ++channel)
                sum += block[std::size_t(frame * info.channels + channel)];
            // A float file may hold anything: what is no number is silence,
            // and what is far beyond full scale is held where the resampler
            // cannot overflow (levelling brings it down anyway).
            mono.push_back(std::isfinite(sum) ? std::clamp(sum / float(info.channels), -64.0f, 64.0f) : 0.0f);
        }
        if (sf_count_t(mono.size()) > longest) {
            *why = tooLong;
            return {};
        }
    }
    if (mono.empty()) {
        *why = QStringLiteral("ohne Ton");
        return {};
    }
    std::vector<float> result = resampled(mono, info.samplerate, sampleRate, why);
    // A few samples may come to none at the new rate.
    if (result.empty() && why->isEmpty())
        *why = QStringLiteral("zu kurz");
    return result;
}

double speechLevel(const std::vector<float>& samples, int sampleRate)
{
    const std::size_t window = std::max<std::size_t>(1, std::size_t(sampleRate) / 50);
    std::vector<double> powers;
    for (std::size_t from = 0; from < samples.size(); from += window) {
        const std::size_t to = std::min(samples.size(), from + window);
        double sum = 0;
        for (std::size_t i = from; i < to; ++i)
            sum += double(samples[i]) * samples[i];
        powers.push_back(sum / double(to - from));
    }
    if (powers.empty())
        return 0;
    const double loudest = *std::max_element(powers.begin(), powers.end());
    double sum = 0;
    std::size_t counted = 0;
    for (const double power : powers)
        if (power >= loudest / 1000) { // 30 dB
            sum += power;
            ++counted;
        }
    return std::sqrt(sum / double(counted));
}

double speechLevel(const Speech& speech)
{
    std::vector<float> samples(speech.samples.size());
    std::transform(speech.samples.begin(), speech.samples.end(), samples.begin(),
                   [](std::int16_t sample) { return float(sample) / 32768.0f; });
    return speechLevel(samples, speech.sampleRate);
}

const QStringList Recordings::extensions = {QStringLiteral("wav"), QStringLiteral("flac"), QStringLiteral("ogg"),
                                            QStringLiteral("opus"), QStringLiteral("mp3")};

QString Recordings::checkFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("Den Tonordner „%1“ gibt es nicht.").arg(folder);
    if (!info.isDir())
        return QStringLiteral("Der Tonordner „%1“ ist kein Ordner.").arg(folder);
    if (!info.isReadable() || !info.isExecutable() || !QDir(folder).isReadable())
        return QStringLiteral("Der Tonordner „%1“ lässt sich nicht lesen.").arg(folder);
    return {};
}

Recordings::Recordings(const QString& folder, int sampleRate, double voiceLevel)
    : folder_(QDir(folder).absolutePath()), sampleRate_(sampleRate), voiceLevel_(voiceLevel)
{
}

Recordings::~Recordings()
{
    stopping_ = true;
    if (preloading_.joinable())
        preloading_.join();
}

void Recordings::startPreloading()
{
    if (!preloading_.joinable())
        preloading_ = std::thread([this] { preload(); });
}

QString Recordings::base(const AnnouncementPart& part) const
{
    const QString language = part.language == QStringLiteral("de") ? QString() : part.language + u'/';
    return folder_.filePath(language + part.fileStem);
}

Recordings::Found Recordings::find(const AnnouncementPart& part)
{
    // A language names a subfolder: never one outside the folder.
    static const QRegularExpression language(QStringLiteral("^[a-z]{2,3}(-[a-z0-9]{1,8})*$"));
    if (part.fileStem.isEmpty() || !language.match(part.language).hasMatch())
        return {};
    const QString base = this->base(part);
    for (const QString& extension : extensions)
        for (const QString& spelt : {extension, extension.toUpper()}) {
            const QString path = base + u'.' + spelt;
            if (QFileInfo::exists(path))
                return load(path, part);
        }
    Found found;
    if (firstTime(base)) {
        found.note = part.kind == AnnouncementPart::Kind::Gong
                         ? QStringLiteral("Keine Aufnahme %1.wav (oder .flac, .ogg, .opus, .mp3); es klingt der eigene Gong.").arg(base)
                         : QStringLiteral("Keine Aufnahme %1.wav (oder .flac, .ogg, .opus, .mp3); die Stimme spricht: %2")
                               .arg(base, part.text);
    }
    return found;
}

Recordings::Held Recordings::decode(const QString& path) const
{
    const QFileInfo info(path);
    Held held;
    held.size = info.size();
    held.modified = info.lastModified();
    QFile file(path);
    if (!info.isFile())
        held.why = QStringLiteral("keine Datei");
    else if (info.size() > largestFile)
        held.why = QStringLiteral("größer als %1 MiB").arg(largestFile / (1024 * 1024));
    else if (!file.open(QIODevice::ReadOnly))
        held.why = QStringLiteral("lässt sich nicht lesen: %1").arg(file.errorString());
    else {
        // Read bounded: the file may have grown since it was looked at.
        const QByteArray bytes = file.read(largestFile + 1);
        if (bytes.size() > largestFile)
            held.why = QStringLiteral("größer als %1 MiB").arg(largestFile / (1024 * 1024));
        else if (std::vector<float> samples = decodeRecording(bytes, sampleRate_, &held.why); !samples.empty()) {
            const double level = speechLevel(samples, sampleRate_);
            float peak = 0;
            for (const float sample : samples)
                peak = std::max(peak, std::abs(sample));
            // To the voice's level, but never so loud that it clips.
            const double gain = level > 0 ? std::min(voiceLevel_ / level, 0.98 / peak) : 1.0;
            auto speech = std::make_shared<Speech>();
            speech->sampleRate = sampleRate_;
            speech->samples.resize(samples.size());
            std::transform(samples.begin(), samples.end(), speech->samples.begin(), [gain](float sample) {
                return std::int16_t(std::lround(std::clamp(sample * gain, -1.0, 1.0) * 32767));
            });
            held.speech = std::move(speech);
        }
    }
    return held;
}

std::optional<Recordings::Held> Recordings::heldAs(const QString& path, const QFileInfo& info)
{
    const std::lock_guard lock(mutex_);
    const auto at = held_.constFind(path);
    if (at == held_.constEnd() || at->size != info.size() || at->modified != info.lastModified())
        return std::nullopt;
    used_.remove(path);
    used_.push_front(path);
    return *at;
}

Recordings::Found Recordings::load(const QString& path, const AnnouncementPart& part)
{
    std::optional<Held> held = heldAs(path, QFileInfo(path));
    if (!held) {
        held = decode(path);
        keep(path, *held);
    }
    Found found;
    found.speech = held->speech;
    if (!held->speech) {
        // Once for this file as it is now: a file put right is looked at
        // again, and said about again if it is still refused.
        const QString key = QStringLiteral("%1 %2 %3").arg(path).arg(held->size).arg(held->modified.toMSecsSinceEpoch());
        if (firstTime(key)) {
            found.refused = true;
            found.note = part.kind == AnnouncementPart::Kind::Gong
                             ? QStringLiteral("Aufnahme %1 abgelehnt (%2); es klingt der eigene Gong.").arg(path, held->why)
                             : QStringLiteral("Aufnahme %1 abgelehnt (%2); die Stimme spricht: %3").arg(path, held->why, part.text);
        }
    }
    return found;
}

void Recordings::preload()
{
    // The folder and its language subfolders, as far as memory allows.
    QStringList filters;
    for (const QString& extension : extensions)
        filters << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    QStringList folders{folder_.path()};
    for (const QString& language : folder_.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << folder_.filePath(language);
    for (const QString& folder : folders)
        for (const QString& name : QDir(folder).entryList(filters, QDir::Files, QDir::Name)) {
            if (stopping_)
                return;
            const QString path = QDir(folder).filePath(name);
            const QFileInfo info(path);
            {
                const std::lock_guard lock(mutex_);
                if (held_.contains(path))
                    continue;
                if (heldSamples_ + std::size_t(longestSeconds * sampleRate_) > heldSamples)
                    return;
            }
            keep(path, decode(path));
        }
}

bool Recordings::firstTime(const QString& what)
{
    // Bounded: names from --alle-texte may come without end.
    if (said_.size() >= 10000)
        said_.clear();
    if (said_.contains(what))
        return false;
    said_.insert(what);
    return true;
}

void Recordings::keep(const QString& path, Held held)
{
    const std::lock_guard lock(mutex_);
    if (const auto at = held_.find(path); at != held_.end()) {
        if (at->speech)
            heldSamples_ -= at->speech->samples.size();
        held_.erase(at);
        used_.remove(path);
    }
    const std::size_t size = held.speech ? held.speech->samples.size() : 0;
    // The ones used longest ago make room; refusals take little, but are
    // bounded in number all the same.
    while (!used_.empty() && (heldSamples_ + size > heldSamples || held_.size() >= 4096)) {
        const auto oldest = held_.find(used_.back());
        if (oldest->speech)
            heldSamples_ -= oldest->speech->samples.size();
        held_.erase(oldest);
        used_.pop_back();
    }
    heldSamples_ += size;
    held_.insert(path, std::move(held));
    used_.push_front(path);
}
