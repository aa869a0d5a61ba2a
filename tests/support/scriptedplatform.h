#pragma once
// A platform for tests: dialogs answer from queues filled in advance and
// record what they were asked, the clock shows the time the test sets, the
// random source replays queued numbers (or a seeded generator), and the
// pause after a message does not sleep. Installed for its lifetime.

#include <platform.h>

#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <vector>

struct InputBoxCall {
    tk::Text title, prompt, defaultText;
};

class ScriptedPlatform : public tk::Platform {
public:
    ScriptedPlatform() { tk::setPlatform(this); }
    ~ScriptedPlatform() override { tk::setPlatform(nullptr); }
    ScriptedPlatform(const ScriptedPlatform&) = delete;
    ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

    // Input boxes: a queued answer, or nullopt for Cancel (default returned).
    std::deque<std::optional<tk::Text>> inputAnswers;
    std::vector<InputBoxCall> inputCalls;

    // File dialog: a queued path, or nullopt for Cancel.
    std::deque<std::optional<QString>> fileAnswers;
    std::vector<QString> fileDialogOffers; // the name offered each time

    std::vector<tk::Text> errors;

    QTime time{12, 0};

    int randomizeCalls = 0;
    std::deque<int> randomAnswers;  // used first, each taken modulo n
    std::vector<int> randomRequests; // the n of every request
    std::mt19937 generator{12345};

    std::vector<int> sleeps;
    // Runs inside processMessagesAndSleep, to look at what would be painted.
    std::function<void()> duringSleep;

    // Runs as each input box opens, to look at the world while it is open.
    std::function<void()> whileBoxOpen;

    tk::Text inputBox(const tk::Text& title, const tk::Text& prompt, const tk::Text& defaultText) override
    {
        if (whileBoxOpen)
            whileBoxOpen();
        inputCalls.push_back({title, prompt, defaultText});
        if (inputAnswers.empty())
            return defaultText;
        std::optional<tk::Text> answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer ? answer->substr(0, 255) : defaultText;
    }

    bool openFileDialog(QString& fileName) override
    {
        fileDialogOffers.push_back(fileName);
        if (fileAnswers.empty())
            return false;
        std::optional<QString> answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (!answer)
            return false;
        fileName = *answer;
        return true;
    }

    void errorBox(const tk::Text& message) override { errors.push_back(message); }

    QTime timeOfDay() override { return time; }

    void randomize() override { ++randomizeCalls; }

    int random(int n) override
    {
        randomRequests.push_back(n);
        if (n <= 0)
            return 0;
        if (!randomAnswers.empty()) {
            int value = randomAnswers.front();
            randomAnswers.pop_front();
            return value % n;
        }
        return std::uniform_int_distribution<int>(0, n - 1)(generator);
    }

    void processMessagesAndSleep(int milliseconds) override
    {
        sleeps.push_back(milliseconds);
        if (duringSleep)
            duringSleep();
    }
};
