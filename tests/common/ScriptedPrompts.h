#pragma once
// A Prompts answerer for tests: answers from a script and records every question asked.
// Install it for one test with ScopedPrompts.

#include "support/Prompts.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class ScriptedPrompts : public Prompts {
public:
    struct Asked {
        QString what; // "message", "check", "save", "program", "options"
        QString text; // message text, check caption, sample file ...
        DialogKind kind = DialogKind::Custom;
        Buttons buttons;
        SaveFileRequest save;
        QString caption; // options dialog caption
    };

    // Answers are taken in order; when the script runs dry, messages answer `fallback`.
    std::deque<int> messageAnswers;
    std::deque<bool> checkBoxTicks;
    std::deque<QString> saveAnswers;
    std::deque<QString> programAnswers;
    std::deque<bool> optionsAnswers;
    // Called when the options dialog is asked, before answering (to change options, say).
    std::function<void(const QString& sample)> onEditOptions;
    int fallback = mrCancel;

    QList<Asked> asked;

    int Message(const QString& text, DialogKind kind, Buttons buttons) override {
        asked.append({QStringLiteral("message"), text, kind, buttons, {}, {}});
        return next(messageAnswers, fallback);
    }
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons,
                            const QString& checkCaption, bool& ticked) override {
        asked.append({QStringLiteral("check"), text, kind, buttons, {}, checkCaption});
        ticked = next(checkBoxTicks, false);
        return next(messageAnswers, fallback);
    }
    QString SaveFileName(const SaveFileRequest& request) override {
        asked.append({QStringLiteral("save"), {}, DialogKind::Custom, {}, request, {}});
        return next(saveAnswers, QString());
    }
    QString ChooseProgram(const QString& forFile) override {
        asked.append({QStringLiteral("program"), forFile, DialogKind::Custom, {}, {}, {}});
        return next(programAnswers, QString());
    }
    bool EditTidyOptions(const QString& sampleFile, const QString& caption) override {
        asked.append({QStringLiteral("options"), sampleFile, DialogKind::Custom, {}, {}, caption});
        if (onEditOptions)
            onEditOptions(sampleFile);
        return next(optionsAnswers, false);
    }

    QStringList messages() const {
        QStringList out;
        for (const Asked& a : asked)
            if (a.what == QLatin1String("message") || a.what == QLatin1String("check"))
                out << a.text;
        return out;
    }

private:
    template <typename T> static T next(std::deque<T>& queue, T fallbackValue) {
        if (queue.empty())
            return fallbackValue;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

class ScopedPrompts {
public:
    explicit ScopedPrompts(Prompts& prompts) { SetPrompts(&prompts); }
    ~ScopedPrompts() { SetPrompts(nullptr); }
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;
};
