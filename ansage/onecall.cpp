#include "onecall.h"

OneCall::OneCall(QObject* parent) : QObject(parent)
{
    holding_.setSingleShot(true);
    holding_.setInterval(HoldMs);
    connect(&holding_, &QTimer::timeout, this, &OneCall::release);
}

bool OneCall::Recent::matches(const QString& other) const
{
    return since.isValid() && since.elapsed() < TwinMs && sentence == other;
}

void OneCall::fromBus(const QString& sentence)
{
    if (!held_.isNull() && held_ == sentence) {
        // The copy came first: the signal is the call.
        holding_.stop();
        held_.clear();
    } else if (spokenFromClipboard_.matches(sentence)) {
        // Spoken from its copy, which waited in vain: late, not again.
        spokenFromClipboard_.since.invalidate();
        return;
    }
    spokenFromBus_.sentence = sentence;
    spokenFromBus_.since.start();
    emit speak(sentence);
}

void OneCall::fromClipboard(const QString& sentence)
{
    if (spokenFromBus_.matches(sentence)) {
        spokenFromBus_.since.invalidate();
        return;
    }
    // A newer call than the one held: the held one would be cut off by it
    // at once anyway.
    held_ = sentence;
    holding_.start();
}

void OneCall::simulatorLeft()
{
    if (!held_.isNull()) {
        holding_.stop();
        release();
    }
}

void OneCall::release()
{
    const QString sentence = held_;
    held_.clear();
    spokenFromClipboard_.sentence = sentence;
    spokenFromClipboard_.since.start();
    emit speak(sentence);
}
