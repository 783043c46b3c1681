// SPDX-License-Identifier: MIT
#pragma once

#include "core/OperatorWindow.h"

#include <deque>
#include <string>
#include <vector>

// The operator's answers to the questions, in order (true = OK/Yes); with
// the queue empty the answer is `fallback`.
class AnswerQueue {
public:
    bool nextAnswer()
    {
        if (answers.empty())
            return fallback;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }

    std::deque<bool> answers;
    bool fallback = false;
};

// A scripted window: records what the core showed and answers the questions
// from its queue.
class FakeWindow : public OperatorWindow, public AnswerQueue {
public:
    struct Box {
        std::string kind; // "inform", "okcancel", "yesno"
        std::string title;
        std::string text;
    };

    void setPrinterErrorText(const std::string& text) override { printerText = text; }
    std::string printerErrorText() const override { return printerText; }
    void setProgramErrorText(const std::string& text) override { programText = text; }
    std::string programErrorText() const override { return programText; }
    void showOnTop() override
    {
        visible = true;
        topmost = true;
        ++shows;
    }
    void makeTopmost() override { topmost = true; }
    void hideToTray() override
    {
        visible = false;
        topmost = false;
        ++hides;
    }
    void fileDiscarded(const std::string& name) override { discarded.push_back(name); }
    void documentVoided(const std::string& reason) override { voids.push_back(reason); }
    void errorCleared() override { ++clears; }
    void inform(const std::string& title, const std::string& text) override
    {
        boxes.push_back({"inform", title, text});
    }
    bool askOkCancel(const std::string& title, const std::string& text) override
    {
        return ask("okcancel", title, text);
    }
    bool askYesNo(const std::string& title, const std::string& text) override { return ask("yesno", title, text); }

    std::string printerText, programText;
    bool visible = false, topmost = false;
    int shows = 0, hides = 0;
    std::vector<std::string> discarded, voids; // the status line's events
    int clears = 0;
    std::vector<Box> boxes;

private:
    bool ask(const char* kind, const std::string& title, const std::string& text)
    {
        boxes.push_back({kind, title, text});
        return nextAnswer();
    }
};
