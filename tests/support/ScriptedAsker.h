#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/SendAsker.h"

// Answers the upload questions from the test: each question is recorded and answered with the next
// scripted answer, or with `otherwise` once the script has run out.
class ScriptedAsker : public SendAsker {
public:
    explicit ScriptedAsker(bool otherwise = true) : otherwise_(otherwise) {}

    bool askToSend(const std::string& question) override {
        questions.push_back(question);
        // What happens in the world while the box is open.
        if (whileAsking) whileAsking();
        if (answers.empty()) return otherwise_;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::function<void()> whileAsking;

private:
    bool otherwise_;
};
